// File system backend for Windows: the wide-character find, open and attribute calls, with
// UTF-8 texts converted at this boundary so names outside the ANSI code page survive.
#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/native_win32.h"
#include "platform/win32/text_win32.h"

namespace lumarel::platform {

namespace {

using win32::Utf8ToWide;
using win32::WideToUtf8;

HANDLE AsHandle(std::uintptr_t h) { return reinterpret_cast<HANDLE>(h); }

void Fill(const WIN32_FIND_DATAW& found, FindData& out) {
    // The name runs up to its NUL, never past the record's buffer.
    std::size_t length = 0;
    while (length < MAX_PATH && found.cFileName[length] != L'\0') ++length;
    out.name = WideToUtf8(std::wstring_view(found.cFileName, length));
    out.attributes = found.dwFileAttributes;
}

class Win32FileSystem final : public FileSystem {
public:
    FindHandle FindFirst(const std::string& pattern, FindData& out) override {
        WIN32_FIND_DATAW found{};
        const HANDLE h = FindFirstFileW(Utf8ToWide(pattern).c_str(), &found);
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return 0;
        Fill(found, out);
        return reinterpret_cast<FindHandle>(h);
    }

    bool FindNext(FindHandle h, FindData& out) override {
        if (h == 0) return false;
        WIN32_FIND_DATAW found{};
        if (!FindNextFileW(AsHandle(h), &found)) return false;
        Fill(found, out);
        return true;
    }

    void FindClose(FindHandle h) override {
        if (h != 0) ::FindClose(AsHandle(h));
    }

    // Others may read the file while it is open, nobody may write it; a file that is already
    // open for writing elsewhere fails with a sharing violation.
    FileHandle OpenShareRead(const std::string& path) override {
        const HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return 0;
        return reinterpret_cast<FileHandle>(h);
    }

    long Seek(FileHandle f, std::int64_t offset) override {
        if (f == 0 || offset < 0) return -1;
        LARGE_INTEGER to{}, now{};
        to.QuadPart = offset;
        if (!SetFilePointerEx(AsHandle(f), to, &now, FILE_BEGIN)) return -1;
        return now.QuadPart > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<long>(now.QuadPart);
    }

    long Read(FileHandle f, void* buffer, long count) override {
        if (f == 0 || count < 0) return -1;
        auto* p = static_cast<unsigned char*>(buffer);
        long total = 0;
        while (total < count) {
            DWORD got = 0;
            if (!ReadFile(AsHandle(f), p + total, static_cast<DWORD>(count - total), &got, nullptr))
                return total > 0 ? total : -1;
            if (got == 0) break;
            total += static_cast<long>(got);
        }
        return total;
    }

    void Close(FileHandle f) override {
        if (f != 0) CloseHandle(AsHandle(f));
    }

    bool FileExists(const std::string& path) override {
        const DWORD a = GetFileAttributesW(Utf8ToWide(path).c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
    }

    bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t maxBytes) override {
        out.clear();
        const HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
        LARGE_INTEGER size{};
        bool ok =
            GetFileSizeEx(h, &size) != 0 && size.QuadPart >= 0 && static_cast<std::uint64_t>(size.QuadPart) <= maxBytes;
        if (ok) {
            out.resize(static_cast<std::size_t>(size.QuadPart));
            std::size_t total = 0;
            while (ok && total < out.size()) {
                const std::size_t chunk = out.size() - total;
                const DWORD want = chunk > 0x10000000u ? 0x10000000u : static_cast<DWORD>(chunk);
                DWORD got = 0;
                ok = ReadFile(h, out.data() + total, want, &got, nullptr) != 0 && got != 0;
                total += got;
            }
        }
        CloseHandle(h);
        if (!ok) out.clear();
        return ok;
    }
};

}  // namespace

FileSystem& NativeFileSystem() {
    static Win32FileSystem files;
    return files;
}

}  // namespace lumarel::platform

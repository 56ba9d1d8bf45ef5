#include "saver/SwfFrameRect.h"

#include "platform/platform.h"

namespace lumarel::saver {

namespace {

namespace pf = lumarel::platform;

constexpr std::int64_t kRectOffset = 8;

class FileGuard {
public:
    FileGuard(pf::FileSystem& files, pf::FileHandle handle) : files_(files), handle_(handle) {}
    ~FileGuard() { files_.Close(handle_); }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;

private:
    pf::FileSystem& files_;
    pf::FileHandle handle_;
};

int FieldWidth(const SwfRectBytes& rect) { return rect[0] >> 3; }

// `count` bits (at most 31) from bit position `first`, most significant first; position p is
// bit 7 - p % 8 of byte p / 8.
std::uint32_t UnsignedBits(const SwfRectBytes& rect, int first, int count) {
    std::uint32_t value = 0;
    for (int p = first; p < first + count; ++p) {
        const unsigned bit = (rect[static_cast<std::size_t>(p / 8)] >> (7 - p % 8)) & 1u;
        value = (value << 1) | bit;
    }
    return value;
}

}  // namespace

FileOpenError::FileOpenError(const std::string& path)
    : FileError("ファイル " + path + " は開けません") {}

StreamReadError::StreamReadError() : FileError("ストリームからの読み込みエラー") {}

SwfRectBytes ReadSwfFrameRect(const std::string& path) {
    pf::FileSystem* files = pf::Current().files;
    const pf::FileHandle handle = files != nullptr ? files->OpenShareRead(path) : 0;
    if (handle == 0) throw FileOpenError(path);
    FileGuard guard(*files, handle);

    SwfRectBytes rect{};
    if (files->Seek(handle, kRectOffset) < 0) throw StreamReadError();
    long total = 0;
    const long wanted = static_cast<long>(rect.size());
    while (total < wanted) {
        const long got = files->Read(handle, rect.data() + total, wanted - total);
        if (got <= 0 || got > wanted - total) break;
        total += got;
    }
    if (total != wanted) throw StreamReadError();
    return rect;
}

int SwfFrameWidth(const SwfRectBytes& rect) {
    const int n = FieldWidth(rect);
    return static_cast<int>(UnsignedBits(rect, n + 5, n) / 20);
}

int SwfFrameHeight(const SwfRectBytes& rect) {
    const int n = FieldWidth(rect);
    return static_cast<int>(UnsignedBits(rect, 3 * n + 5, n) / 20);
}

}  // namespace lumarel::saver

#include "saver/MovieList.h"

#include "platform/platform.h"
#include "saver/Paths.h"

namespace lumarel::saver {

namespace {

namespace pf = lumarel::platform;

// Closes an enumeration when the scan leaves, however it leaves.
class FindGuard {
public:
    FindGuard(pf::FileSystem& files, pf::FindHandle handle) : files_(files), handle_(handle) {}
    ~FindGuard() {
        if (handle_ != 0) files_.FindClose(handle_);
    }
    FindGuard(const FindGuard&) = delete;
    FindGuard& operator=(const FindGuard&) = delete;

private:
    pf::FileSystem& files_;
    pf::FindHandle handle_;
};

// The name as far as its first NUL. Its length is bounded by the backend's find record
// (260 UTF-16 units on Windows); it is not cut here, since a UTF-8 name of 260 characters
// takes more bytes than that.
std::string EntryName(const std::string& found) { return found.substr(0, found.find('\0')); }

std::string WithoutExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool IsSwfExtension(const std::string& extension) {
    static constexpr char kSwf[] = ".SWF";
    if (extension.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = extension[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kSwf[i]) return false;
    }
    return true;
}

}  // namespace

std::string ExtensionOf(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool ListFolder(std::vector<std::string>& list, const std::string& pattern, bool keepExtension,
                const std::function<void()>& processPending) {
    list.clear();
    pf::FileSystem* files = pf::Current().files;
    if (files == nullptr) return false;

    pf::FindData entry;
    const pf::FindHandle handle = files->FindFirst(pattern, entry);
    FindGuard guard(*files, handle);
    if (handle != 0) {
        bool more = true;
        while (more) {
            if (processPending) processPending();
            if (entry.attributes != pf::attr::Directory) {
                std::string name = EntryName(entry.name);
                list.push_back(keepExtension ? std::move(name) : WithoutExtension(name));
            }
            entry = pf::FindData();
            more = files->FindNext(handle, entry);
        }
    }
    return !list.empty();
}

std::vector<std::string> BuildMovieList(const std::string& folder, const std::function<void()>& processPending) {
    std::vector<std::string> list;
    if (ListFolder(list, JoinPath(folder, "*.*"), true, processPending)) {
        for (std::size_t i = list.size(); i-- > 0;) {
            if (!IsSwfExtension(ExtensionOf(list[i]))) list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return list;
}

}  // namespace lumarel::saver

#include "tests/fake/fake_files.h"

#include <algorithm>
#include <cstring>

namespace lumarel::fake {

using platform::FileHandle;
using platform::FindData;
using platform::FindHandle;

void FakeFileSystem::SetEntries(const std::string& pattern, std::vector<FindData> entries) {
    entries_[pattern] = std::move(entries);
}

void FakeFileSystem::AddFile(const std::string& path, std::vector<std::uint8_t> bytes) {
    contents_[path] = std::move(bytes);
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& bytes) {
    AddFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void FakeFileSystem::AddDirectory(const std::string& path) { directories_.insert(path); }

void FakeFileSystem::FailOpen(const std::string& path) { failOpen_.insert(path); }

FindHandle FakeFileSystem::FindFirst(const std::string& pattern, FindData& out) {
    log.push_back("FindFirst " + pattern);
    const auto it = entries_.find(pattern);
    if (it == entries_.end() || it->second.empty()) return 0;
    const FindHandle h = nextHandle_++;
    finds_[h] = Find{pattern, 1};
    out = it->second.front();
    return h;
}

bool FakeFileSystem::FindNext(FindHandle h, FindData& out) {
    log.push_back("FindNext");
    const auto it = finds_.find(h);
    if (it == finds_.end()) {
        ++misuse;
        return false;
    }
    const auto& list = entries_[it->second.pattern];
    if (it->second.next >= list.size()) return false;
    out = list[it->second.next++];
    return true;
}

void FakeFileSystem::FindClose(FindHandle h) {
    log.push_back("FindClose");
    if (finds_.erase(h) == 0) ++misuse;
}

FileHandle FakeFileSystem::OpenShareRead(const std::string& path) {
    log.push_back("Open " + path);
    if (failOpen_.count(path) != 0 || contents_.count(path) == 0) return 0;
    const FileHandle h = nextHandle_++;
    files_[h] = Open{path, 0};
    return h;
}

long FakeFileSystem::Seek(FileHandle f, std::int64_t offset) {
    const auto it = files_.find(f);
    if (it == files_.end() || offset < 0) {
        if (it == files_.end()) ++misuse;
        return -1;
    }
    it->second.position = offset;
    return static_cast<long>(offset);
}

long FakeFileSystem::Read(FileHandle f, void* buffer, long count) {
    const auto it = files_.find(f);
    if (it == files_.end() || count < 0) {
        ++misuse;
        return -1;
    }
    const auto& bytes = contents_[it->second.path];
    const auto size = static_cast<std::int64_t>(bytes.size());
    const std::int64_t from = std::min(it->second.position, size);
    const long n = static_cast<long>(std::min<std::int64_t>(count, size - from));
    if (n > 0) std::memcpy(buffer, bytes.data() + from, static_cast<std::size_t>(n));
    it->second.position = from + n;
    return n;
}

void FakeFileSystem::Close(FileHandle f) {
    log.push_back("Close");
    if (files_.erase(f) == 0) ++misuse;
}

bool FakeFileSystem::FileExists(const std::string& path) {
    return contents_.count(path) != 0 && directories_.count(path) == 0;
}

bool FakeFileSystem::ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t maxBytes) {
    const auto it = contents_.find(path);
    if (it == contents_.end() || failOpen_.count(path) != 0 || it->second.size() > maxBytes) {
        out.clear();
        return false;
    }
    out = it->second;
    return true;
}

}  // namespace lumarel::fake

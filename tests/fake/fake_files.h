// A scripted file system for unit tests: enumerations return the entries a test listed, in the
// order and with the attribute words it chose; files hold the bytes a test gave them; opening can
// be made to fail. Every call is recorded so a test can check what was asked and that every
// handle was closed again.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::fake {

class FakeFileSystem : public platform::FileSystem {
public:
    // The entries FindFirst/FindNext return for exactly this pattern; any other pattern finds
    // nothing (as a missing folder does).
    void SetEntries(const std::string& pattern, std::vector<platform::FindData> entries);
    // A file with these contents (FileExists true, OpenShareRead succeeds).
    void AddFile(const std::string& path, std::vector<std::uint8_t> bytes);
    void AddFile(const std::string& path, const std::string& bytes);
    // A directory: FileExists false, opening fails.
    void AddDirectory(const std::string& path);
    // The file exists but cannot be opened (held by a writer, no access).
    void FailOpen(const std::string& path);

    // What happened, in order: "FindFirst <pattern>", "FindNext", "FindClose", "Open <path>",
    // "Close"; a test may append its own entries (e.g. from a pending-events callback).
    std::vector<std::string> log;
    int OpenFindHandles() const { return static_cast<int>(finds_.size()); }
    int OpenFiles() const { return static_cast<int>(files_.size()); }
    int misuse = 0;  // closes of invalid handles, reads of closed ones, ...

    platform::FindHandle FindFirst(const std::string& pattern, platform::FindData& out) override;
    bool FindNext(platform::FindHandle h, platform::FindData& out) override;
    void FindClose(platform::FindHandle h) override;
    platform::FileHandle OpenShareRead(const std::string& path) override;
    long Seek(platform::FileHandle f, std::int64_t offset) override;
    long Read(platform::FileHandle f, void* buffer, long count) override;
    void Close(platform::FileHandle f) override;
    bool FileExists(const std::string& path) override;
    bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t maxBytes) override;

private:
    struct Find {
        std::string pattern;
        std::size_t next = 0;
    };
    struct Open {
        std::string path;
        std::int64_t position = 0;
    };
    std::map<std::string, std::vector<platform::FindData>> entries_;
    std::map<std::string, std::vector<std::uint8_t>> contents_;
    std::set<std::string> directories_;
    std::set<std::string> failOpen_;
    std::map<std::uintptr_t, Find> finds_;
    std::map<std::uintptr_t, Open> files_;
    std::uintptr_t nextHandle_ = 100;
};

}  // namespace lumarel::fake

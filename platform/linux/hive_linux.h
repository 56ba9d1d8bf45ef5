// The per-user registry hive of the Linux build: HKEY_CURRENT_USER in one SQLite database.
//
// It behaves like the Windows registry in what the program relies on: key paths and value
// names compare without regard to ASCII case; value types are kept as the numbers they were
// written with; data and sizes are the bytes as written (UTF-8 text is the "ANSI" text here);
// CreateKey makes every missing key on the path, OpenKey never creates. Every write is one
// transaction with full synchronisation, so a crash or a kill loses nothing stored before it,
// and several processes may use one hive at once (a busy hive is waited for about 2 s). A hive
// that cannot be written fails the call: AccessDenied when the file or its folder is read-only,
// WriteFault when the disk is full, the hive is locked for too long, or the write fails.
//
// File: $LUMAREL_HIVE when set (tests use this), else $XDG_CONFIG_HOME/lumarel/registry.sqlite3,
// else ~/.config/lumarel/registry.sqlite3. The folder is made on the first write.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

struct sqlite3;

namespace lumarel::platform {

std::string DefaultHivePath();

class HiveRegistry final : public Registry {
public:
    explicit HiveRegistry(std::string path);
    ~HiveRegistry() override;
    HiveRegistry(const HiveRegistry&) = delete;
    HiveRegistry& operator=(const HiveRegistry&) = delete;

    const std::string& Path() const { return path_; }

    long CreateKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) override;
    long OpenKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) override;
    long QueryValue(KeyHandle key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                    std::uint32_t& size) override;
    long SetValue(KeyHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override;
    long DeleteValue(KeyHandle key, const std::string& name) override;
    long CloseKey(KeyHandle key) override;

    // For lumarel-reg and tests: what the key holds, and removal.
    struct ValueInfo {
        std::string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };
    long EnumSubKeys(KeyHandle key, std::vector<std::string>& names);
    long EnumValues(KeyHandle key, std::vector<ValueInfo>& values);
    // Removes the key `subKey` below `parent` with everything below it.
    long DeleteTree(KeyHandle parent, const std::string& subKey);

private:
    long Open(bool forWriting);  // Success, or why the hive cannot be used
    void DropIfReplaced();
    long KeyIdOf(KeyHandle h, std::int64_t& id, std::string& path);
    long Begin();
    long Commit();
    void Rollback();
    long Handle(std::int64_t id, std::string path, KeyHandle& out);

    std::string path_;
    sqlite3* db_ = nullptr;
    bool schemaReady_ = false;
    std::pair<std::uint64_t, std::uint64_t> fileId_;  // inode and device of the open file
    unsigned generation_ = 0;                         // counts the hive files opened
    std::mutex mutex_;
    struct OpenKeyRecord {
        std::int64_t id;
        std::string path;
        unsigned generation;  // of the hive file it was opened on
    };
    std::map<KeyHandle, OpenKeyRecord> handles_;
    KeyHandle nextHandle_ = 0x1000;
};

}  // namespace lumarel::platform

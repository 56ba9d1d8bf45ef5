// An in-memory registry for unit tests. Keys and value names compare without regard to ASCII
// case, as the Windows registry's do. A test can set up any value (odd types, no NUL, empty),
// make any operation fail, make a value grow between the size query and the read, and see
// every call made and every handle still open.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::fake {

class FakeRegistry : public platform::Registry {
public:
    enum class Op { CreateKey, OpenKey, QuerySize, QueryData, SetValue, DeleteValue, CloseKey };

    struct Value {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        bool operator==(const Value&) const = default;
    };

    // --- test side. Paths are full key paths below HKEY_CURRENT_USER, "\"-separated.
    void SetValueAt(const std::string& keyPath, const std::string& name, std::uint32_t type,
                    const std::vector<std::uint8_t>& data);
    void SetTextAt(const std::string& keyPath, const std::string& name, std::uint32_t type,
                   const std::string& bytes);  // the bytes exactly, add "\0" yourself
    std::optional<Value> ValueAt(const std::string& keyPath, const std::string& name) const;
    bool KeyExists(const std::string& keyPath) const;
    std::vector<std::string> SubKeys(const std::string& keyPath) const;     // names as created
    std::vector<std::string> ValueNames(const std::string& keyPath) const;  // names as set
    // Every call of `op` whose key or value name equals `name` (any case; "" = every call)
    // returns `code` from now on.
    void Fail(Op op, const std::string& name, long code);
    void ClearFailures() { failures_.clear(); }
    // After each size query of `name`, the value's data grows by `extraBytes` bytes.
    void GrowAfterSizeQuery(const std::string& name, std::uint32_t extraBytes);
    std::size_t OpenHandles() const { return handles_.size(); }
    // One line per call, e.g. "OpenKey OPTION 0xf003f -> 0", "QueryValue Expansion size -> 2".
    std::vector<std::string> calls;
    std::set<std::uint32_t> accessRequested;  // every access mask asked for
    int badCloses = 0;                        // CloseKey of a handle that was not open

    // --- Registry
    long CreateKey(platform::KeyHandle parent, const std::string& subKey, std::uint32_t access,
                   platform::KeyHandle& out) override;
    long OpenKey(platform::KeyHandle parent, const std::string& subKey, std::uint32_t access,
                 platform::KeyHandle& out) override;
    long QueryValue(platform::KeyHandle key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                    std::uint32_t& size) override;
    long SetValue(platform::KeyHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) override;
    long DeleteValue(platform::KeyHandle key, const std::string& name) override;
    long CloseKey(platform::KeyHandle key) override;

private:
    struct Key {
        std::string path;                                             // as first created
        std::map<std::string, std::pair<std::string, Value>> values;  // folded name -> (name, value)
    };
    Key* FindKey(const std::string& path);
    const Key* FindKey(const std::string& path) const;
    Key& MakeKey(const std::string& path);
    std::optional<std::string> PathOf(platform::KeyHandle h) const;
    std::optional<long> Injected(Op op, const std::string& name) const;
    long OpenOrCreate(bool create, platform::KeyHandle parent, const std::string& subKey, std::uint32_t access,
                      platform::KeyHandle& out);

    std::map<std::string, Key> keys_;  // folded path -> key
    std::map<platform::KeyHandle, std::string> handles_;
    platform::KeyHandle nextHandle_ = 0x100;
    std::map<std::pair<Op, std::string>, long> failures_;
    std::map<std::string, std::uint32_t> growth_;
};

}  // namespace lumarel::fake

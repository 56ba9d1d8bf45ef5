#include "tests/fake/fake_registry.h"

#include <cstdio>
#include <cstring>

namespace lumarel::fake {

namespace reg = platform::reg;
using platform::KeyHandle;

namespace {

std::string Fold(const std::string& s) {
    std::string out = s;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Joins a parent path and a "\"-separated relative path, dropping empty components.
std::string Join(const std::string& parent, const std::string& sub) {
    std::string out = parent;
    std::size_t start = 0;
    while (start <= sub.size()) {
        std::size_t end = sub.find('\\', start);
        if (end == std::string::npos) end = sub.size();
        if (end > start) {
            if (!out.empty()) out += '\\';
            out += sub.substr(start, end - start);
        }
        start = end + 1;
    }
    return out;
}

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
}

}  // namespace

FakeRegistry::Key* FakeRegistry::FindKey(const std::string& path) {
    auto it = keys_.find(Fold(path));
    return it == keys_.end() ? nullptr : &it->second;
}

const FakeRegistry::Key* FakeRegistry::FindKey(const std::string& path) const {
    auto it = keys_.find(Fold(path));
    return it == keys_.end() ? nullptr : &it->second;
}

FakeRegistry::Key& FakeRegistry::MakeKey(const std::string& path) {
    // Every key above it too.
    std::string sofar;
    Key* key = nullptr;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        sofar = Join(sofar, path.substr(start, end - start));
        auto [it, added] = keys_.try_emplace(Fold(sofar));
        if (added) it->second.path = sofar;
        key = &it->second;
        start = end + 1;
    }
    if (key == nullptr) {
        auto [it, added] = keys_.try_emplace(std::string());
        key = &it->second;
    }
    return *key;
}

std::optional<std::string> FakeRegistry::PathOf(KeyHandle h) const {
    if (h == platform::kCurrentUser) return std::string();
    auto it = handles_.find(h);
    if (it == handles_.end()) return std::nullopt;
    return it->second;
}

std::optional<long> FakeRegistry::Injected(Op op, const std::string& name) const {
    auto it = failures_.find({op, Fold(name)});
    if (it != failures_.end()) return it->second;
    it = failures_.find({op, std::string()});
    if (it != failures_.end()) return it->second;
    return std::nullopt;
}

void FakeRegistry::SetValueAt(const std::string& keyPath, const std::string& name, std::uint32_t type,
                              const std::vector<std::uint8_t>& data) {
    Key& key = MakeKey(keyPath);
    key.values[Fold(name)] = {name, Value{type, data}};
}

void FakeRegistry::SetTextAt(const std::string& keyPath, const std::string& name, std::uint32_t type,
                             const std::string& bytes) {
    SetValueAt(keyPath, name, type, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

std::optional<FakeRegistry::Value> FakeRegistry::ValueAt(const std::string& keyPath, const std::string& name) const {
    const Key* key = FindKey(keyPath);
    if (key == nullptr) return std::nullopt;
    auto it = key->values.find(Fold(name));
    if (it == key->values.end()) return std::nullopt;
    return it->second.second;
}

bool FakeRegistry::KeyExists(const std::string& keyPath) const { return FindKey(keyPath) != nullptr; }

std::vector<std::string> FakeRegistry::SubKeys(const std::string& keyPath) const {
    std::vector<std::string> out;
    const std::string prefix = keyPath.empty() ? std::string() : Fold(keyPath) + "\\";
    for (const auto& [folded, key] : keys_) {
        if (folded.size() <= prefix.size() || folded.compare(0, prefix.size(), prefix) != 0) continue;
        if (folded.find('\\', prefix.size()) != std::string::npos) continue;
        out.push_back(key.path.substr(prefix.size()));
    }
    return out;
}

std::vector<std::string> FakeRegistry::ValueNames(const std::string& keyPath) const {
    std::vector<std::string> out;
    if (const Key* key = FindKey(keyPath)) {
        for (const auto& [folded, entry] : key->values) out.push_back(entry.first);
    }
    return out;
}

void FakeRegistry::Fail(Op op, const std::string& name, long code) { failures_[{op, Fold(name)}] = code; }

void FakeRegistry::GrowAfterSizeQuery(const std::string& name, std::uint32_t extraBytes) {
    growth_[Fold(name)] = extraBytes;
}

long FakeRegistry::OpenOrCreate(bool create, KeyHandle parent, const std::string& subKey, std::uint32_t access,
                                KeyHandle& out) {
    accessRequested.insert(access);
    const char* what = create ? "CreateKey " : "OpenKey ";
    auto result = [&](long code) {
        calls.push_back(what + subKey + " " + Hex(access) + " -> " + std::to_string(code));
        return code;
    };
    if (auto code = Injected(create ? Op::CreateKey : Op::OpenKey, subKey)) return result(*code);
    std::optional<std::string> parentPath = PathOf(parent);
    if (!parentPath) return result(reg::InvalidHandle);
    std::string path = Join(*parentPath, subKey);
    if (create) {
        MakeKey(path);
    } else if (FindKey(path) == nullptr) {
        return result(reg::FileNotFound);
    }
    out = nextHandle_++;
    handles_[out] = FindKey(path) ? FindKey(path)->path : path;
    return result(reg::Success);
}

long FakeRegistry::CreateKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) {
    return OpenOrCreate(true, parent, subKey, access, out);
}

long FakeRegistry::OpenKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) {
    return OpenOrCreate(false, parent, subKey, access, out);
}

long FakeRegistry::QueryValue(KeyHandle key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                              std::uint32_t& size) {
    const std::string what = "QueryValue " + name + (data ? " data" : " size") + " -> ";
    auto result = [&](long code) {
        calls.push_back(what + std::to_string(code));
        return code;
    };
    if (auto code = Injected(data ? Op::QueryData : Op::QuerySize, name)) return result(*code);
    std::optional<std::string> path = PathOf(key);
    if (!path) return result(reg::InvalidHandle);
    Key* k = FindKey(*path);
    if (k == nullptr) return result(reg::FileNotFound);
    auto it = k->values.find(Fold(name));
    if (it == k->values.end()) return result(reg::FileNotFound);
    Value& v = it->second.second;
    type = v.type;
    const auto stored = static_cast<std::uint32_t>(v.data.size());
    if (data == nullptr) {
        size = stored;
        auto grow = growth_.find(Fold(name));
        if (grow != growth_.end()) v.data.resize(v.data.size() + grow->second, 'x');
        return result(reg::Success);
    }
    if (size < stored) {
        size = stored;
        return result(reg::MoreData);
    }
    if (stored > 0) std::memcpy(data, v.data.data(), stored);
    size = stored;
    return result(reg::Success);
}

long FakeRegistry::SetValue(KeyHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t size) {
    const std::string what = "SetValue " + name + " " + std::to_string(type) + " " + std::to_string(size) + " -> ";
    auto result = [&](long code) {
        calls.push_back(what + std::to_string(code));
        return code;
    };
    if (auto code = Injected(Op::SetValue, name)) return result(*code);
    std::optional<std::string> path = PathOf(key);
    if (!path) return result(reg::InvalidHandle);
    Key* k = FindKey(*path);
    if (k == nullptr) return result(reg::FileNotFound);
    std::vector<std::uint8_t> bytes;
    if (size > 0) bytes.assign(data, data + size);
    k->values[Fold(name)] = {name, Value{type, std::move(bytes)}};
    return result(reg::Success);
}

long FakeRegistry::DeleteValue(KeyHandle key, const std::string& name) {
    auto result = [&](long code) {
        calls.push_back("DeleteValue " + name + " -> " + std::to_string(code));
        return code;
    };
    if (auto code = Injected(Op::DeleteValue, name)) return result(*code);
    std::optional<std::string> path = PathOf(key);
    if (!path) return result(reg::InvalidHandle);
    Key* k = FindKey(*path);
    if (k == nullptr || k->values.erase(Fold(name)) == 0) return result(reg::FileNotFound);
    return result(reg::Success);
}

long FakeRegistry::CloseKey(KeyHandle key) {
    if (key == platform::kCurrentUser) return reg::Success;
    if (auto code = Injected(Op::CloseKey, "")) {
        // The handle is gone all the same, as with a real close that reports an error.
        handles_.erase(key);
        return *code;
    }
    if (handles_.erase(key) == 0) {
        ++badCloses;
        return reg::InvalidHandle;
    }
    return reg::Success;
}

}  // namespace lumarel::fake

#include "player/shared_objects.h"

#include "platform/platform.h"

namespace lumarel::player {

namespace reg = platform::reg;
using platform::KeyHandle;
using platform::Registry;

namespace {

// The subkey opened (or made) for one call, closed on every way out.
class Key {
public:
    Key(Registry& r, const std::string& path, bool create) : registry_(r) {
        result_ = create ? r.CreateKey(platform::kCurrentUser, path, reg::AllAccess, handle_)
                         : r.OpenKey(platform::kCurrentUser, path, reg::AllAccess, handle_);
        if (result_ != reg::Success) handle_ = 0;
    }
    ~Key() {
        if (handle_) registry_.CloseKey(handle_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    KeyHandle Handle() const { return handle_; }
    long Result() const { return result_; }

private:
    Registry& registry_;
    KeyHandle handle_ = 0;
    long result_ = reg::Success;
};

}  // namespace

bool SharedObjectStore::UsableName(const std::string& name) {
    if (name.empty() || name.size() > kMaxSharedNameBytes) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '\\') return false;
    return true;
}

bool SharedObjectStore::Load(const std::string& name, std::vector<std::uint8_t>& out) const {
    Registry* registry = platform::Current().registry;
    if (!registry || !UsableName(name)) return false;
    Key key(*registry, key_, false);
    std::uint32_t type = 0, size = 0;
    if (!key.Handle() || registry->QueryValue(key.Handle(), name, type, nullptr, size) != reg::Success ||
        type != reg::Binary || size > kMaxSharedRecordBytes)
        return false;
    std::vector<std::uint8_t> bytes(size);
    // A value that grew since its size was asked for is not read (MoreData).
    if (registry->QueryValue(key.Handle(), name, type, bytes.data(), size) != reg::Success || type != reg::Binary ||
        size > bytes.size())
        return false;
    bytes.resize(size);
    out = std::move(bytes);
    return true;
}

bool SharedObjectStore::Save(const std::string& name, std::span<const std::uint8_t> bytes) const {
    Registry* registry = platform::Current().registry;
    if (!registry || !UsableName(name) || bytes.size() > kMaxSharedRecordBytes) return false;
    if (bytes.empty()) {
        Key key(*registry, key_, false);
        if (!key.Handle()) return key.Result() == reg::FileNotFound;  // no records at all: nothing to remove
        const long rc = registry->DeleteValue(key.Handle(), name);
        return rc == reg::Success || rc == reg::FileNotFound;
    }
    Key key(*registry, key_, true);
    return key.Handle() && registry->SetValue(key.Handle(), name, reg::Binary, bytes.data(),
                                              static_cast<std::uint32_t>(bytes.size())) == reg::Success;
}

}  // namespace lumarel::player

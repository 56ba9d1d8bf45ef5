#include "tests/fake/fake_services.h"

namespace lumarel::fake {

LibraryHandle FakeServices::LoadLibrary(const std::string& pathOrName) {
    loadAttempts.push_back(pathOrName);
    if (!loadable.count(pathOrName)) return 0;
    LibraryHandle h = next_++;
    names_[h] = pathOrName;
    loaded.insert(h);
    return h;
}

PasswordEntry FakeServices::FindPasswordEntry(LibraryHandle lib, const std::string& name) {
    auto it = names_.find(lib);
    if (it == names_.end() || name != "PwdChangePasswordA" || !withPasswordEntry.count(it->second)) {
        return {};
    }
    return [this](const std::string& provider, std::uintptr_t parent, std::uint32_t a, std::uint32_t b) {
        passwordCalls.push_back(PasswordCall{provider, parent, a, b});
        return 0L;
    };
}

long FakeServices::CreateNamedLock(const std::string& name, LockHandle& out) {
    lockOrder.push_back("create " + name);
    out = next_++;
    lockNames_[out] = name;
    if (locksHeldElsewhere.count(name)) return 183;  // already exists
    ++locksHeld[name];
    return 0;
}

void FakeServices::ReleaseLock(LockHandle lock) {
    auto it = lockNames_.find(lock);
    if (it == lockNames_.end()) return;
    lockOrder.push_back("release " + it->second);
    if (locksHeld[it->second] > 0) --locksHeld[it->second];
}

}  // namespace lumarel::fake

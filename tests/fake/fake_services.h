// Services that a test scripts: arguments, paths, libraries, the named lock, the clock.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace lumarel::fake {

using namespace lumarel::platform;

struct PasswordCall {
    std::string provider;
    std::uintptr_t parent;
    std::uint32_t a, b;
};

class FakeServices : public Services {
public:
    // --- test side
    std::vector<std::string> arguments;
    std::string exePath = "C:\\Windows\\Lumarel.scr";
    std::string systemDirectory = "C:\\Windows\\system32";
    // Libraries that load, by the exact text passed; and which of them have the entry.
    std::set<std::string> loadable;
    std::set<std::string> withPasswordEntry;
    std::vector<std::string> loadAttempts;
    std::vector<PasswordCall> passwordCalls;
    std::set<LibraryHandle> loaded;  // still loaded
    std::set<std::string> locksHeldElsewhere;
    std::map<std::string, int> locksHeld;  // by this process: name -> count
    std::vector<std::string> lockOrder;    // "create <name>", "release <name>"
    std::vector<int> sleeps;
    std::uint64_t ticks = 0;
    bool componentsInitialized = false;

    // --- Services
    std::vector<std::string> CommandLineArguments() override { return arguments; }
    std::string ExecutablePath() override { return exePath; }
    std::string SystemDirectory() override { return systemDirectory; }
    LibraryHandle LoadLibrary(const std::string& pathOrName) override;
    PasswordEntry FindPasswordEntry(LibraryHandle lib, const std::string& name) override;
    void FreeLibrary(LibraryHandle lib) override { loaded.erase(lib); }
    long CreateNamedLock(const std::string& name, LockHandle& out) override;
    void ReleaseLock(LockHandle lock) override;
    void Sleep(int ms) override {
        sleeps.push_back(ms);
        ticks += static_cast<std::uint64_t>(ms);
    }
    std::uint64_t TickMilliseconds() override { return ticks; }
    void InitializeComponents() override { componentsInitialized = true; }

private:
    std::map<LibraryHandle, std::string> names_;
    std::map<LockHandle, std::string> lockNames_;
    std::uintptr_t next_ = 0x1000;
};

}  // namespace lumarel::fake

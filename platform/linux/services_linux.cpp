// Process services of the Linux build: arguments, the executable's path, the single-instance
// lock (flock on a lock file), sleeping and the monotonic clock. Linux has no screen-saver
// password-change facility, so loading a library always fails and the caller skips that step,
// exactly as when the library is missing.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "platform/linux/native_linux.h"

namespace lumarel::platform {

namespace {

constexpr long kAlreadyExists = 183;  // the Windows code for "the object exists already"

// Lock handles are the file descriptor plus one, so that 0 stays "none" even for fd 0.
LockHandle HandleFromFd(int fd) { return static_cast<LockHandle>(fd) + 1; }
int FdFromHandle(LockHandle h) { return static_cast<int>(h - 1); }

bool IsDirectory(const char* path) {
    struct stat st {};
    return path && *path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

class LinuxServices final : public Services {
public:
    std::vector<std::string> CommandLineArguments() override { return linux_backend::ProcessArguments(); }

    std::string ExecutablePath() override {
        std::vector<char> buf(512);
        for (;;) {
            ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
            if (n < 0) return {};
            if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
            if (buf.size() >= 65536) return {};
            buf.resize(buf.size() * 2);
        }
    }

    std::string SystemDirectory() override { return {}; }

    LibraryHandle LoadLibrary(const std::string& /*pathOrName*/) override { return 0; }

    PasswordEntry FindPasswordEntry(LibraryHandle /*lib*/, const std::string& /*name*/) override { return {}; }

    void FreeLibrary(LibraryHandle /*lib*/) override {}

    long CreateNamedLock(const std::string& name, LockHandle& out) override {
        out = 0;
        std::string path = LockFilePath(name);
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return errno != 0 ? errno : EIO;
        out = HandleFromFd(fd);
        for (;;) {
            if (flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
            if (errno == EINTR) continue;
            if (errno == EWOULDBLOCK) return kAlreadyExists;
            return errno != 0 ? errno : EIO;
        }
    }

    void ReleaseLock(LockHandle lock) override {
        if (lock == 0) return;
        int fd = FdFromHandle(lock);
        flock(fd, LOCK_UN);
        close(fd);
    }

    void Sleep(int milliseconds) override {
        if (milliseconds <= 0) return;
        timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }

    std::uint64_t TickMilliseconds() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    }

    void InitializeComponents() override { linux_backend::EnsureGtk(); }

private:
    // The lock file lives in the user's runtime folder; without one, in /tmp with the user id
    // in the name so that two users' instances never share (or block on) one file.
    static std::string LockFilePath(const std::string& name) {
        std::string safe;
        for (unsigned char c : name) {
            bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '.' || c >= 0x80;
            safe += keep ? static_cast<char>(c) : '_';
        }
        if (safe.empty() || safe[0] == '.') safe.insert(safe.begin(), '_');
        if (safe.size() > 200) safe.resize(200);
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (IsDirectory(runtime)) return std::string(runtime) + "/" + safe + ".lock";
        return "/tmp/" + safe + "." + std::to_string(static_cast<unsigned long>(getuid())) + ".lock";
    }
};

}  // namespace

Services& NativeServices() {
    static LinuxServices services;
    return services;
}

namespace linux_backend {

std::vector<std::string>& ProcessArguments() {
    static std::vector<std::string> args;
    return args;
}

}  // namespace linux_backend

void SetProcessArguments(int argc, char** argv) {
    auto& args = linux_backend::ProcessArguments();
    args.clear();
    for (int i = 1; i < argc; ++i) {
        if (argv && argv[i]) args.emplace_back(argv[i]);
    }
}

}  // namespace lumarel::platform

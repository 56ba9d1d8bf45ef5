// The process services of the Linux build: the single-instance lock across processes, the
// arguments, the executable's path, the clocks and the missing password facility.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/native_linux.h"

using namespace lumarel::platform;

namespace {

std::string Self() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

// Runs the lock helper in a new process; its output is "<code> <handle valid>".
std::string LockInOtherProcess(const std::string& name) {
    std::string cmd = "'" + Self() + "' --lock-helper '" + name + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "popen failed";
    char line[64] = {};
    std::string out = std::fgets(line, sizeof line, p) ? line : "";
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

class LinuxServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A private runtime folder, so the test never meets a real instance's lock.
        char tmpl[] = "/tmp/lumarel-lock-test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        if (hadOld_) {
            setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        std::string cmd = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    Services& s = NativeServices();
    std::string dir_, old_;
    bool hadOld_ = false;
};

TEST_F(LinuxServicesTest, NamedLockIsExclusiveAcrossProcessesUntilReleased) {
    const std::string name = "vbkLumarel for velbrookworks";
    LockHandle h = 0;
    ASSERT_EQ(s.CreateNamedLock(name, h), 0);
    EXPECT_NE(h, 0u);
    // The lock file is named after the lock, blanks made safe, private to the user.
    std::string file = dir_ + "/vbkLumarel_for_velbrookworks.lock";
    EXPECT_EQ(access(file.c_str(), F_OK), 0) << file;

    EXPECT_EQ(LockInOtherProcess(name), "183 1");
    // A second take in the same process counts as another instance, too.
    LockHandle again = 0;
    EXPECT_EQ(s.CreateNamedLock(name, again), 183);
    EXPECT_NE(again, 0u);
    s.ReleaseLock(again);
    // Another name is another lock.
    EXPECT_EQ(LockInOtherProcess("other lock"), "0 1");

    s.ReleaseLock(h);
    EXPECT_EQ(LockInOtherProcess(name), "0 1");
    ASSERT_EQ(s.CreateNamedLock(name, h), 0);
    s.ReleaseLock(h);
}

TEST_F(LinuxServicesTest, NamedLockWithPathCharactersStaysInItsFolderAndFailsCleanly) {
    LockHandle h = 0;
    ASSERT_EQ(s.CreateNamedLock("../a/b c", h), 0);
    EXPECT_EQ(access((dir_ + "/_.._a_b_c.lock").c_str(), F_OK), 0);
    s.ReleaseLock(h);

    // A runtime folder that cannot be written: an error code, no handle, no crash.
    setenv("XDG_RUNTIME_DIR", "/proc", 1);
    LockHandle bad = 123;
    long code = s.CreateNamedLock("x", bad);
    if (geteuid() != 0 || code != 0) {
        EXPECT_NE(code, 0);
        EXPECT_NE(code, 183);
        EXPECT_EQ(bad, 0u);
    }
    s.ReleaseLock(bad);
    s.ReleaseLock(0);
}

TEST(LinuxServices, ArgumentsPathClockAndNoPasswordFacility) {
    char a0[] = "prog", a1[] = "/c:1234", a2[] = "two words";
    char* argv[] = {a0, a1, a2, nullptr};
    SetProcessArguments(3, argv);
    Services& s = NativeServices();
    EXPECT_EQ(s.CommandLineArguments(), (std::vector<std::string>{"/c:1234", "two words"}));
    SetProcessArguments(0, nullptr);
    EXPECT_TRUE(s.CommandLineArguments().empty());

    std::string exe = s.ExecutablePath();
    EXPECT_EQ(exe, Self());
    EXPECT_NE(exe.find("linux_ui_tests"), std::string::npos);
    EXPECT_EQ(s.SystemDirectory(), "");

    EXPECT_EQ(s.LoadLibrary("MPR.DLL"), 0u);
    EXPECT_FALSE(static_cast<bool>(s.FindPasswordEntry(0, "PwdChangePasswordA")));
    s.FreeLibrary(0);

    std::uint64_t t0 = s.TickMilliseconds();
    s.Sleep(30);
    std::uint64_t t1 = s.TickMilliseconds();
    EXPECT_GE(t1 - t0, 30u);
    s.Sleep(-5);  // nothing to wait for
}

}  // namespace

// The Linux hive's own promises: where it lives, failing loudly when it cannot be written,
// surviving a killed writer, two writers at once, and the lumarel-reg tool over it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "settings/SettingsStore.h"
#include "tests/settings/hive_backend.h"
#include "tools/reg/reg_tool.h"

namespace lumarel::test {
namespace {

using platform::HiveRegistry;
using platform::kCurrentUser;
using platform::KeyHandle;
using settings::RegistryError;
using settings::SettingsStore;
namespace reg = platform::reg;
using namespace std::string_literals;

constexpr uid_t kNobody = 65534;

// Runs `body` in a child process (as an unprivileged user when `unprivileged`, since root may
// write anything) and returns the text it reported.
std::string InChild(bool unprivileged, const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string result;
        if (unprivileged && ::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            result = "cannot drop privileges";
        } else {
            result = body();
        }
        ssize_t ignored = ::write(fds[1], result.data(), result.size());
        (void)ignored;
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RegistryError& e) {
        return e.what();
    }
    return "no error";
}

void InstallRegistry(platform::Registry& r) {
    platform::Platform p;
    p.registry = &r;
    platform::Install(p);
}

const std::string kKey = "Software\\velbrook\\Movies";

// A hive holding the settings key with OPTION and Expansion "1", owned by nobody.
void MakeHive(const std::string& path) {
    HiveRegistry hive(path);
    InstallRegistry(hive);
    {
        SettingsStore store(kKey);
        store.WriteFlag("OPTION", "Expansion", true);
        store.WriteText("OPTION", "Folder", "C:\\f");
    }
    platform::Install(platform::Platform{});
}

// What a store sees in a child process: both reads, then the two writes.
std::string ReadAndWrite(const std::string& hivePath) {
    HiveRegistry hive(hivePath);
    InstallRegistry(hive);
    SettingsStore store(kKey);
    std::string out = store.ReadFlag("OPTION", "Expansion", false) ? "true|" : "false|";
    out += ErrorOf([&] { out += store.ReadText("OPTION", "Folder", "-") + "|"; }) + "|";
    out += ErrorOf([&] { store.WriteFlag("OPTION", "Expansion", false); }) + "|";
    out += ErrorOf([&] { store.WriteText("NEW", "Folder", "x"); });
    return out;
}

TEST(Hive, ReadOnlyFileCanBeReadAndFailsEveryWrite) {
    TempDir dir;
    const std::string path = dir.Path() + "/registry.sqlite3";
    MakeHive(path);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    EXPECT_EQ(InChild(true, [&] { return ReadAndWrite(path); }),
              "true|C:\\f|no error|'Expansion' の設定に失敗しました|キー NEW の作成に失敗しました");
    // The low-level code is "access denied".
    EXPECT_EQ(InChild(true,
                      [&] {
                          HiveRegistry hive(path);
                          KeyHandle key = 0;
                          long open = hive.OpenKey(kCurrentUser, kKey + "\\OPTION", reg::AllAccess, key);
                          long set =
                              hive.SetValue(key, "Expansion", reg::Sz, reinterpret_cast<const std::uint8_t*>("0"), 2);
                          return std::to_string(open) + " " + std::to_string(set);
                      }),
              "0 5");
    HiveRegistry check(path);
    InstallRegistry(check);
    {
        SettingsStore store(kKey);
        EXPECT_TRUE(store.ReadFlag("OPTION", "Expansion", false));
    }
    platform::Install(platform::Platform{});
}

TEST(Hive, ReadOnlyFolderFailsWrites) {
    TempDir dir;
    const std::string folder = dir.Path() + "/ro";
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/registry.sqlite3";
    MakeHive(path);
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    const std::string seen = InChild(true, [&] { return ReadAndWrite(path); });
    EXPECT_EQ(seen.substr(0, 19), "true|C:\\f|no error|") << seen;
    EXPECT_NE(seen.find("'Expansion' の設定に失敗しました"), std::string::npos) << seen;
    EXPECT_NE(seen.find("キー NEW の作成に失敗しました"), std::string::npos) << seen;
    // No hive yet in a folder that cannot be written: defaults, and the write fails.
    const std::string missing = folder + "/sub/registry.sqlite3";
    EXPECT_EQ(InChild(true, [&] { return ReadAndWrite(missing); }),
              "false|-|no error|キー OPTION の作成に失敗しました|キー NEW の作成に失敗しました");
}

TEST(Hive, FullDiskFailsTheWriteAndKeepsTheOldValue) {
    TempDir dir;
    const std::string path = dir.Path() + "/registry.sqlite3";
    MakeHive(path);
    const std::string seen = InChild(false, [&] {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 0;  // no file may grow: the journal cannot be written
        ::setrlimit(RLIMIT_FSIZE, &limit);
        HiveRegistry hive(path);
        KeyHandle key = 0;
        hive.OpenKey(kCurrentUser, kKey + "\\OPTION", reg::AllAccess, key);
        const std::string big(100000, 'x');
        return std::to_string(hive.SetValue(key, "Folder", reg::Sz, reinterpret_cast<const std::uint8_t*>(big.c_str()),
                                            static_cast<std::uint32_t>(big.size() + 1)));
    });
    EXPECT_EQ(seen, std::to_string(reg::WriteFault));
    HiveRegistry hive(path);
    InstallRegistry(hive);
    {
        SettingsStore store(kKey);
        EXPECT_EQ(store.ReadText("OPTION", "Folder", ""), "C:\\f");
    }
    platform::Install(platform::Platform{});
}

TEST(Hive, LockedHiveFailsAfterTheBusyTimeout) {
    TempDir dir;
    const std::string path = dir.Path() + "/registry.sqlite3";
    MakeHive(path);
    HiveRegistry hive(path);
    KeyHandle key = 0;
    ASSERT_EQ(hive.OpenKey(kCurrentUser, kKey, reg::AllAccess, key), 0);
    hive.CloseKey(key);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(hive.CreateKey(kCurrentUser, kKey + "\\NEW", reg::AllAccess, key), reg::WriteFault);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(hive.CreateKey(kCurrentUser, kKey + "\\NEW", reg::AllAccess, key), reg::Success);
    hive.CloseKey(key);
}

TEST(Hive, DamagedFileIsAFailureNotACrash) {
    TempDir dir;
    const std::string path = dir.Path() + "/registry.sqlite3";
    std::ofstream(path) << std::string(4096, 'z');
    HiveRegistry hive(path);
    InstallRegistry(hive);
    {
        SettingsStore store(kKey);
        EXPECT_TRUE(store.ReadFlag("OPTION", "Expansion", true));
        EXPECT_EQ(ErrorOf([&] { store.WriteFlag("OPTION", "Expansion", true); }), "キー OPTION の作成に失敗しました");
    }
    platform::Install(platform::Platform{});
}

TEST(Hive, HandleOfADeletedKey) {
    TempDir dir;
    HiveRegistry hive(dir.Path() + "/registry.sqlite3");
    KeyHandle key = 0;
    ASSERT_EQ(hive.CreateKey(kCurrentUser, "A\\B\\C", reg::AllAccess, key), 0);
    ASSERT_EQ(hive.DeleteTree(kCurrentUser, "a\\b"), 0);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(hive.QueryValue(key, "x", type, nullptr, size), reg::FileNotFound);
    EXPECT_NE(hive.SetValue(key, "x", reg::Sz, reinterpret_cast<const std::uint8_t*>(""), 1), 0);
    KeyHandle sub = 0;
    EXPECT_NE(hive.CreateKey(key, "D", reg::AllAccess, sub), 0);
    EXPECT_EQ(hive.CloseKey(key), 0);
    EXPECT_EQ(hive.CloseKey(key), reg::InvalidHandle);
    EXPECT_EQ(hive.OpenKey(kCurrentUser, "A\\B", reg::AllAccess, sub), reg::FileNotFound);
    EXPECT_EQ(hive.OpenKey(kCurrentUser, "A", reg::AllAccess, sub), 0);
    hive.CloseKey(sub);
}

// A writer that reports each committed write on `fd` and never stops by itself.
[[noreturn]] void WriteForever(const std::string& path, int fd) {
    HiveRegistry hive(path);
    KeyHandle key = 0;
    if (hive.CreateKey(kCurrentUser, "Software\\velbrook\\Kill", reg::AllAccess, key) != 0) ::_exit(2);
    for (std::uint32_t i = 0;; ++i) {
        const std::string name = "v" + std::to_string(i);
        const std::string data = std::string(1000, 'a' + static_cast<char>(i % 26)) + name;
        if (hive.SetValue(key, name, reg::Sz, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                          static_cast<std::uint32_t>(data.size() + 1)) != 0) {
            ::_exit(3);
        }
        KeyHandle sub = 0;
        if (hive.CreateKey(key, "k" + std::to_string(i) + "\\a\\b", reg::AllAccess, sub) != 0) ::_exit(4);
        hive.CloseKey(sub);
        if (::write(fd, &i, sizeof i) != sizeof i) ::_exit(5);
    }
}

TEST(Hive, KilledWriterLosesNothingCommittedBefore) {
    TempDir dir;
    const std::string path = dir.Path() + "/registry.sqlite3";
    for (int round = 0; round < 3; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            WriteForever(path, fds[1]);
        }
        ::close(fds[1]);
        std::uint32_t last = 0, i = 0;
        bool any = false;
        // Let it commit a few writes (more each round), then kill it wherever it is.
        while (::read(fds[0], &i, sizeof i) == sizeof i) {
            last = i;
            any = true;
            if (i >= static_cast<std::uint32_t>(10 + 17 * round)) {
                ::kill(pid, SIGKILL);
                break;
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        while (::read(fds[0], &i, sizeof i) == sizeof i) last = i;  // reported before the kill
        ::close(fds[0]);
        ASSERT_TRUE(any);
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer ended by itself, status " << status;

        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
        sqlite3_finalize(st);
        sqlite3_close(db);

        HiveRegistry hive(path);
        KeyHandle key = 0;
        ASSERT_EQ(hive.OpenKey(kCurrentUser, "Software\\velbrook\\Kill", reg::AllAccess, key), 0);
        for (std::uint32_t v = 0; v <= last; ++v) {
            const std::string name = "v" + std::to_string(v);
            std::uint32_t type = 0, size = 0;
            ASSERT_EQ(hive.QueryValue(key, name, type, nullptr, size), 0) << name << " lost";
            EXPECT_EQ(size, 1000 + name.size() + 1);
            KeyHandle sub = 0;
            ASSERT_EQ(hive.OpenKey(key, "k" + std::to_string(v) + "\\a\\b", reg::AllAccess, sub), 0);
            hive.CloseKey(sub);
        }
        hive.CloseKey(key);
    }
}

TEST(Hive, TwoProcessesWritingAtOnce) {
    TempDir dir;
    const std::string path = dir.Path() + "/registry.sqlite3";
    constexpr int kWrites = 60;
    pid_t pids[2];
    for (int p = 0; p < 2; ++p) {
        pids[p] = ::fork();
        if (pids[p] == 0) {
            HiveRegistry hive(path);
            InstallRegistry(hive);
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                try {
                    SettingsStore store(kKey);
                    store.WriteText("OPTION", "p" + std::to_string(p) + "-" + std::to_string(i), "x");
                    store.WriteFlag("OPTION", "Expansion", (i % 2) != 0);
                    store.ReadText("OPTION", "Folder", "");
                } catch (const RegistryError&) {
                    ++failures;
                }
            }
            ::_exit(failures);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed writes";
    }
    HiveRegistry hive(path);
    KeyHandle key = 0;
    ASSERT_EQ(hive.OpenKey(kCurrentUser, kKey + "\\OPTION", reg::AllAccess, key), 0);
    std::vector<HiveRegistry::ValueInfo> values;
    ASSERT_EQ(hive.EnumValues(key, values), 0);
    EXPECT_EQ(values.size(), 2u * kWrites + 1);
    hive.CloseKey(key);
}

TEST(Hive, WhereTheHiveLives) {
    auto saved = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto hive = saved("LUMAREL_HIVE"), xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");
    ::setenv("HOME", "/home/u", 1);
    ::unsetenv("LUMAREL_HIVE");
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(platform::DefaultHivePath(), "/cfg/lumarel/registry.sqlite3");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(platform::DefaultHivePath(), "/home/u/.config/lumarel/registry.sqlite3");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(platform::DefaultHivePath(), "/home/u/.config/lumarel/registry.sqlite3");
    ::setenv("LUMAREL_HIVE", "/t/h.db", 1);
    EXPECT_EQ(platform::DefaultHivePath(), "/t/h.db");
    auto restore = [](const char* name, const std::optional<std::string>& v) {
        if (v) {
            ::setenv(name, v->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    };
    restore("LUMAREL_HIVE", hive);
    restore("XDG_CONFIG_HOME", xdg);
    restore("HOME", home);
}

TEST(Hive, HiveRemovedWhileOpenIsMadeAgain) {
    TempDir dir;
    const std::string path = dir.Path() + "/lumarel/registry.sqlite3";
    HiveRegistry hive(path);
    KeyHandle key = 0;
    ASSERT_EQ(hive.CreateKey(kCurrentUser, "Software\\velbrook", reg::AllAccess, key), 0);
    KeyHandle old = 0;  // open on the removed file
    ASSERT_EQ(hive.CreateKey(kCurrentUser, "Software\\old", reg::AllAccess, old), 0);
    hive.CloseKey(key);
    std::filesystem::remove_all(dir.Path() + "/lumarel");
    ASSERT_EQ(hive.CreateKey(kCurrentUser, "Other\\a\\b", reg::AllAccess, key), 0);
    hive.CloseKey(key);
    ASSERT_EQ(hive.CreateKey(kCurrentUser, "Software\\velbrook\\x", reg::AllAccess, key), 0);
    hive.CloseKey(key);
    // The old handle's key is not in the new file: its writes fail instead of landing elsewhere.
    EXPECT_NE(hive.SetValue(old, "v", reg::Sz, reinterpret_cast<const std::uint8_t*>(""), 1), 0);
    std::uint32_t type = 0, size = 0;
    EXPECT_NE(hive.QueryValue(old, "v", type, nullptr, size), 0);
    hive.CloseKey(old);
    HiveRegistry fresh(path);
    EXPECT_EQ(fresh.OpenKey(kCurrentUser, "Software\\velbrook\\x", reg::AllAccess, key), 0);
    fresh.CloseKey(key);
}

TEST(Hive, FirstWriteMakesTheFolders) {
    TempDir dir;
    const std::string path = dir.Path() + "/a/b/lumarel/registry.sqlite3";
    HiveRegistry hive(path);
    KeyHandle key = 0;
    EXPECT_EQ(hive.OpenKey(kCurrentUser, "Software", reg::AllAccess, key), reg::FileNotFound);
    struct stat st {};
    EXPECT_NE(::stat(path.c_str(), &st), 0) << "a read must not create the hive";
    ASSERT_EQ(hive.CreateKey(kCurrentUser, "Software", reg::AllAccess, key), 0);
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    hive.CloseKey(key);
}

std::string Tool(HiveRegistry& hive, const std::vector<std::string>& args, int expectedCode = 0) {
    std::ostringstream out, err;
    EXPECT_EQ(lumarel::tools::RunRegTool(hive, args, out, err), expectedCode) << err.str();
    return expectedCode == 0 ? out.str() : err.str();
}

TEST(RegTool, AddQueryDelete) {
    TempDir dir;
    HiveRegistry hive(dir.Path() + "/registry.sqlite3");
    const std::string key = "HKCU\\Software\\velbrook\\Movies\\OPTION";
    Tool(hive, {"add", key, "/v", "Expansion", "/t", "REG_DWORD", "/d", "0x10"});
    Tool(hive, {"add", key, "/v", "One", "/d", "1", "/nonul"});
    Tool(hive, {"add", "HKEY_CURRENT_USER\\Software\\velbrook\\movies\\option", "/v", "Folder", "/t", "REG_EXPAND_SZ",
                "/d", "%TEMP%\\swf"});
    Tool(hive, {"add", key, "/v", "Bin", "/t", "REG_BINARY", "/d", "01ff"});
    Tool(hive, {"add", key, "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "a\\0b"});
    Tool(hive, {"add", key, "/v", "Odd", "/t", "77", "/d", "0a0b"});
    Tool(hive, {"add", key, "/v", "Empty", "/d", "", "/nonul"});
    EXPECT_EQ(Tool(hive, {"query", key}),
              "HKEY_CURRENT_USER\\Software\\velbrook\\Movies\\OPTION\n"
              "    Bin    REG_BINARY    2    01FF\n"
              "    Empty    REG_SZ    0    \n"
              "    Expansion    REG_DWORD    4    0x10\n"
              "    Folder    REG_EXPAND_SZ    11    %TEMP%\\swf\n"
              "    Multi    REG_MULTI_SZ    5    a\\0b\n"
              "    Odd    REG_77    2    0A0B\n"
              "    One    REG_SZ    1    1    (no NUL)\n");
    EXPECT_EQ(Tool(hive, {"query", "Software\\velbrook"}),
              "HKEY_CURRENT_USER\\Software\\velbrook\n\nHKEY_CURRENT_USER\\Software\\velbrook\\Movies\n");
    // What the store then reads.
    InstallRegistry(hive);
    {
        SettingsStore store("Software\\velbrook\\Movies");
        EXPECT_EQ(ErrorOf([&] { store.ReadFlag("OPTION", "Expansion", false); }), "'Expansion' のデータ型が不正です");
        EXPECT_TRUE(store.ReadFlag("OPTION", "One", false));
        EXPECT_EQ(store.ReadText("OPTION", "Folder", ""), "%TEMP%\\swf");
    }
    platform::Install(platform::Platform{});
    Tool(hive, {"delete", key, "/v", "expansion"});
    Tool(hive, {"query", key, "/v", "Expansion"}, 1);
    Tool(hive, {"delete", "HKCU\\Software\\velbrook"});
    EXPECT_NE(Tool(hive, {"query", key}, 1).find("not found"), std::string::npos);
    EXPECT_NE(Tool(hive, {"add", key, "/v", "x", "/t", "REG_DWORD", "/d", "12z"}, 1).find("DWORD"), std::string::npos);
    Tool(hive, {"add", key, "/v", "x", "/t", "REG_NOPE"}, 1);
    Tool(hive, {"frobnicate", key}, 1);
    Tool(hive, {"query"}, 1);
    // Other roots are refused, not taken for keys of that name under HKCU.
    for (const char* other : {"HKLM\\Software\\x", "HKEY_LOCAL_MACHINE\\Software", "hku", "HKEY_USERS\\S-1"}) {
        EXPECT_NE(Tool(hive, {"add", other, "/v", "x", "/d", "1"}, 1).find("only HKCU"), std::string::npos) << other;
    }
    EXPECT_NE(Tool(hive, {"query", "HKCU\\HKLM"}, 1).find("not found"), std::string::npos) << "nothing was created";
    for (const char* help : {"/?", "--help"}) EXPECT_NE(Tool(hive, {help}).find("/nonul"), std::string::npos);
}

}  // namespace
}  // namespace lumarel::test

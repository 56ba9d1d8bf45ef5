// The movie list and the frame-size reader over this build's real file system: readdir on
// Linux, FindFirstFileW and share modes on Windows (run under Wine in the cross build).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/native.h"
#include "saver/MovieList.h"
#include "saver/Paths.h"
#include "saver/SwfFrameRect.h"
#include "tests/movielist/swf_bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace pf = lumarel::platform;
using lumarel::saver::BuildMovieList;
using lumarel::saver::FileOpenError;
using lumarel::saver::JoinPath;
using lumarel::saver::kPathSeparator;
using lumarel::saver::ListFolder;
using lumarel::saver::ReadSwfFrameRect;
using lumarel::saver::StreamReadError;
using lumarel::saver::SwfFrameHeight;
using lumarel::saver::SwfFrameWidth;
using lumarel::testing::SwfHeader;
using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

// ---------------------------------------------------------------------------------------
// Small system helpers for building test folders

#ifdef _WIN32
std::wstring Wide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}
std::string Narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}
std::string MakeTempDir() {
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, base);
    for (unsigned i = 0;; ++i) {
        std::wstring dir = std::wstring(base) + L"lumarel-movielist-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                           std::to_wstring(i);
        if (CreateDirectoryW(dir.c_str(), nullptr)) return Narrow(dir);
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
}
bool WriteFile(const std::string& path, const Bytes& bytes) {
    HANDLE h =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    const BOOL ok = bytes.empty() || ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(h);
    return ok && done == bytes.size();
}
bool MakeDir(const std::string& path) { return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0; }
void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(Wide(path + "\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = Narrow(d.cFileName);
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            SetFileAttributesW(Wide(child).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(Wide(child).c_str());
        } while (FindNextFileW(h, &d));
        ::FindClose(h);
    }
    RemoveDirectoryW(Wide(path).c_str());
}
// The system's own enumeration order of a folder, without "." and "..".
Names RawOrder(const std::string& folder) {
    Names names;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(Wide(folder + "\\*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = Narrow(d.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(h, &d));
    ::FindClose(h);
    return names;
}
#else
std::string MakeTempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lumarel-movielist-XXXXXX";
    return mkdtemp(templ.data()) != nullptr ? templ : std::string();
}
bool WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
bool MakeDir(const std::string& path) { return mkdir(path.c_str(), 0755) == 0; }
void RemoveTree(const std::string& path) {
    if (DIR* d = opendir(path.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            const std::string child = path + "/" + name;
            struct stat st {};
            if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                chmod(child.c_str(), 0755);
                RemoveTree(child);
            } else {
                unlink(child.c_str());
            }
        }
        closedir(d);
    }
    rmdir(path.c_str());
}
Names RawOrder(const std::string& folder) {
    Names names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    return names;
}
#endif

bool IsSwfName(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4) return false;
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return ext == ".SWF";
}

class NativeFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Only the file system backend is linked.
        pf::Install(pf::Platform{nullptr, nullptr, &pf::NativeFileSystem(), nullptr});
        dir = MakeTempDir();
        ASSERT_FALSE(dir.empty()) << "no temporary folder";
    }
    void TearDown() override {
        if (!dir.empty()) RemoveTree(dir);
    }
    std::string In(const std::string& name) const { return JoinPath(dir, name); }
    void Write(const std::string& name, const Bytes& bytes) { ASSERT_TRUE(WriteFile(In(name), bytes)) << name; }
    std::string dir;
};

const Bytes kMovie = SwfHeader(15, 0, 11000, 0, 8000);

// ---------------------------------------------------------------------------------------
// Enumeration

TEST_F(NativeFilesTest, ListsTheSwfFilesInTheSystemsOwnOrder) {
    // Created in a scrambled order; the list must follow the system, not the names.
    const Names created = {"q.swf", "b.SWF", "zz.swf", "a.swf", "m.Swf",
                           "k.swf", "c.swf", "y.swf",  "d.swf", "x.swf",
                           "e.swf", "w.swf", "f.swf",  "g.swf", "\xe5\x8b\x95\xe7\x94\xbb.swf" /* 動画.swf */};
    for (const auto& n : created) Write(n, kMovie);
    for (const auto& n : {"notes.txt", "noext", "movie.swf.bak", "movie.swfx"}) Write(n, {1, 2});
    ASSERT_TRUE(MakeDir(In("folder.swf")));

    Names expected;
    for (const auto& n : RawOrder(dir))
        if (IsSwfName(n) && n != "folder.swf") expected.push_back(n);
    int pending = 0;
    const Names list = BuildMovieList(dir, [&] { ++pending; });
    EXPECT_EQ(list, expected);
    EXPECT_EQ(std::set<std::string>(list.begin(), list.end()), std::set<std::string>(created.begin(), created.end()));
    EXPECT_EQ(pending, static_cast<int>(created.size()) + 4 + 1 + 2) << "once per entry, . and .. included";
    Names sorted = list;
    std::sort(sorted.begin(), sorted.end());
    if (sorted == list) std::printf("note: this file system enumerates in name order\n");

    // Every listed path opens as a movie.
    for (const auto& n : list) EXPECT_EQ(SwfFrameWidth(ReadSwfFrameRect(In(n))), 550) << n;
}

TEST_F(NativeFilesTest, FolderWithTrailingSeparatorGivesDoubledSeparatorsThatStillWork) {
    Write("a.swf", kMovie);
    const std::string withSep = dir + kPathSeparator;
    EXPECT_EQ(BuildMovieList(withSep), Names{"a.swf"});
    const std::string path = JoinPath(withSep, "a.swf");
    EXPECT_NE(path.find(std::string(2, kPathSeparator)), std::string::npos);
    EXPECT_EQ(SwfFrameHeight(ReadSwfFrameRect(path)), 400);
    EXPECT_TRUE(pf::Current().files->FileExists(path));
}

TEST_F(NativeFilesTest, DotEntriesAndBareDirectoriesAreNotListed) {
    ASSERT_TRUE(MakeDir(In("clips.swf")));
    Write("real.swf", kMovie);
    Names all;
    EXPECT_TRUE(ListFolder(all, JoinPath(dir, "*.*"), true));
    EXPECT_EQ(all, Names{"real.swf"});
    EXPECT_EQ(BuildMovieList(dir), Names{"real.swf"});
    EXPECT_FALSE(pf::Current().files->FileExists(In("clips.swf"))) << "a directory is no file";
}

TEST_F(NativeFilesTest, MissingOrEmptyFolderGivesAnEmptyList) {
    EXPECT_TRUE(BuildMovieList(In("no such folder")).empty());
    Names list{"old"};
    EXPECT_FALSE(ListFolder(list, JoinPath(In("no such folder"), "*.*"), true));
    EXPECT_TRUE(list.empty());
    ASSERT_TRUE(MakeDir(In("empty")));
    EXPECT_TRUE(BuildMovieList(In("empty")).empty());
    Write("file", {1});
    EXPECT_TRUE(BuildMovieList(In("file")).empty()) << "a file given as the folder";
}

TEST_F(NativeFilesTest, MasksMatchLikeTheWindowsOnes) {
    for (const auto& n : {"ab.swf", "abc.swf", "A1.SWF", "noext", "x.txt"}) Write(n, {0});
    const auto names = [&](const std::string& mask) {
        Names list;
        ListFolder(list, JoinPath(dir, mask), true);
        std::sort(list.begin(), list.end());
        return list;
    };
    EXPECT_EQ(names("*.*"), (Names{"A1.SWF", "ab.swf", "abc.swf", "noext", "x.txt"}))
        << "\"*.*\" matches names without a dot too";
    EXPECT_EQ(names("*"), (Names{"A1.SWF", "ab.swf", "abc.swf", "noext", "x.txt"}));
    EXPECT_EQ(names("*.swf"), (Names{"A1.SWF", "ab.swf", "abc.swf"}));
    EXPECT_EQ(names("a?.SWF"), (Names{"A1.SWF", "ab.swf"}));
    EXPECT_EQ(names("none*.swf"), Names{});
}

#ifdef _WIN32
// What `attrib +a` / `attrib +h` do to a directory. Wine keeps the hidden bit of a directory but
// not its archive bit; the archive case is checked wherever the file system keeps it.
TEST_F(NativeFilesTest, DirectoryWithFurtherAttributeBitsIsListed) {
    ASSERT_TRUE(MakeDir(In("clips.swf")));
    ASSERT_TRUE(MakeDir(In("hidden.swf")));
    ASSERT_TRUE(MakeDir(In("bare.swf")));
    ASSERT_TRUE(SetFileAttributesW(Wide(In("clips.swf")).c_str(), FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileAttributesW(Wide(In("hidden.swf")).c_str(), FILE_ATTRIBUTE_HIDDEN));
    const DWORD archive = GetFileAttributesW(Wide(In("clips.swf")).c_str());
    const DWORD hidden = GetFileAttributesW(Wide(In("hidden.swf")).c_str());
    ASSERT_EQ(hidden, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    Names expected;
    for (const auto& n : RawOrder(dir)) {
        if (n == "clips.swf" && (archive & FILE_ATTRIBUTE_ARCHIVE) == 0) continue;
        if (n != "bare.swf") expected.push_back(n);
    }
    if ((archive & FILE_ATTRIBUTE_ARCHIVE) == 0)
        std::printf("note: this file system keeps no archive bit on directories\n");
    EXPECT_EQ(BuildMovieList(dir), expected);
    EXPECT_NE(std::find(expected.begin(), expected.end(), "hidden.swf"), expected.end());
    EXPECT_THROW(ReadSwfFrameRect(In("hidden.swf")), FileOpenError) << "a directory is no movie";
}

// A second process holding the file open for writing (sharing read) until told to let go.
struct Holder {
    PROCESS_INFORMATION process{};
    HANDLE ready = nullptr, release = nullptr;
};

constexpr wchar_t kHoldPathVar[] = L"LUMAREL_TEST_HOLD_FOR_WRITE";

bool StartHolder(const std::string& path, Holder& h) {
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    h.ready = CreateEventW(nullptr, TRUE, FALSE, (L"lumarel-ready-" + tag).c_str());
    h.release = CreateEventW(nullptr, TRUE, FALSE, (L"lumarel-release-" + tag).c_str());
    SetEnvironmentVariableW(kHoldPathVar, (Wide(path) + L"|" + tag).c_str());
    wchar_t exe[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = L"\"" + std::wstring(exe) + L"\"";
    const BOOL ok = CreateProcessW(exe, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &h.process);
    SetEnvironmentVariableW(kHoldPathVar, nullptr);
    return ok && WaitForSingleObject(h.ready, 30000) == WAIT_OBJECT_0;
}

void StopHolder(Holder& h) {
    SetEvent(h.release);
    if (h.process.hProcess != nullptr) {
        WaitForSingleObject(h.process.hProcess, 30000);
        CloseHandle(h.process.hProcess);
        CloseHandle(h.process.hThread);
    }
    CloseHandle(h.ready);
    CloseHandle(h.release);
}

// Child side: returns true when this process was started as a holder.
bool RunAsHolder() {
    wchar_t value[2048] = {};
    if (GetEnvironmentVariableW(kHoldPathVar, value, 2048) == 0) return false;
    const std::wstring v = value;
    const auto bar = v.rfind(L'|');
    const std::wstring path = v.substr(0, bar), tag = v.substr(bar + 1);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"lumarel-ready-" + tag).c_str());
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, (L"lumarel-release-" + tag).c_str());
    if (f != INVALID_HANDLE_VALUE && ready != nullptr) SetEvent(ready);
    if (release != nullptr) WaitForSingleObject(release, 30000);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return true;
}

TEST_F(NativeFilesTest, FileOpenForWritingElsewhereCannotBeOpened) {
    Write("busy.swf", kMovie);
    const std::string path = In("busy.swf");
    Holder holder;
    ASSERT_TRUE(StartHolder(path, holder)) << "the holder process did not start";
    try {
        ReadSwfFrameRect(path);
        ADD_FAILURE() << "read a file another process holds open for writing";
    } catch (const FileOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + path + " は開けません");
    }
    StopHolder(holder);
    EXPECT_EQ(SwfFrameWidth(ReadSwfFrameRect(path)), 550) << "readable once the writer is gone";
}

TEST_F(NativeFilesTest, OpenMovieSharesReadingButDeniesWriting) {
    Write("m.swf", kMovie);
    pf::FileSystem& files = *pf::Current().files;
    const pf::FileHandle f = files.OpenShareRead(In("m.swf"));
    ASSERT_NE(f, 0u);
    HANDLE writer = CreateFileW(Wide(In("m.swf")).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    const pf::FileHandle second = files.OpenShareRead(In("m.swf"));
    EXPECT_NE(second, 0u) << "another reader is welcome";
    files.Close(second);
    files.Close(f);
}
#else
std::uint32_t AttributesOf(const std::string& folder, const std::string& name) {
    pf::FileSystem& files = *pf::Current().files;
    pf::FindData d;
    const pf::FindHandle h = files.FindFirst(folder + "/*.*", d);
    std::uint32_t found = 0xFFFFFFFFu;
    for (bool more = h != 0; more; more = files.FindNext(h, d))
        if (d.name == name) found = d.attributes;
    if (h != 0) files.FindClose(h);
    return found;
}

TEST_F(NativeFilesTest, AttributeWordsFollowTheWindowsBits) {
    Write("file.swf", kMovie);
    Write(".hidden.swf", kMovie);
    ASSERT_TRUE(MakeDir(In("clips.swf")));
    ASSERT_TRUE(MakeDir(In(".clips.swf")));
    EXPECT_EQ(AttributesOf(dir, "."), 16u);
    EXPECT_EQ(AttributesOf(dir, ".."), 16u);
    EXPECT_EQ(AttributesOf(dir, "file.swf"), 32u);
    EXPECT_EQ(AttributesOf(dir, ".hidden.swf"), 34u);
    EXPECT_EQ(AttributesOf(dir, "clips.swf"), 16u);
    EXPECT_EQ(AttributesOf(dir, ".clips.swf"), 18u);
    // A hidden directory carries more than the bare directory bit, so it is listed.
    EXPECT_EQ(BuildMovieList(dir).size(), 3u);
    if (geteuid() != 0) {
        Write("ro.swf", kMovie);
        ASSERT_EQ(chmod(In("ro.swf").c_str(), 0444), 0);
        EXPECT_EQ(AttributesOf(dir, "ro.swf"), 33u);
    }
}

TEST_F(NativeFilesTest, FifoIsListedButNeverBlocksTheReader) {
    ASSERT_EQ(mkfifo(In("pipe.swf").c_str(), 0600), 0);
    EXPECT_EQ(BuildMovieList(dir), Names{"pipe.swf"});
    EXPECT_FALSE(pf::Current().files->FileExists(In("pipe.swf")));
    EXPECT_THROW(ReadSwfFrameRect(In("pipe.swf")), FileOpenError);
    ASSERT_TRUE(MakeDir(In("d.swf")));
    EXPECT_THROW(ReadSwfFrameRect(In("d.swf")), FileOpenError) << "a directory is no movie";
}

// Runs `hold` in a child process, which keeps what it took until the parent has checked.
template <class Hold>
void WithChildHolding(Hold hold, const std::function<void()>& check) {
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const char ok = hold() ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 'n';
    EXPECT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y') << "the child could not take its lock";
    check();
    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(NativeFilesTest, FileLockedByAWriterElsewhereCannotBeOpened) {
    Write("busy.swf", kMovie);
    const std::string path = In("busy.swf");
    const auto refused = [&] {
        try {
            ReadSwfFrameRect(path);
            ADD_FAILURE() << "read a file a writer holds locked";
        } catch (const FileOpenError& e) {
            EXPECT_EQ(std::string(e.what()), "ファイル " + path + " は開けません");
        }
    };
    WithChildHolding(
        [&] {
            const int fd = open(path.c_str(), O_RDWR);
            return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        },
        refused);
    WithChildHolding(
        [&] {
            const int fd = open(path.c_str(), O_RDWR);
            struct flock l {};
            l.l_type = F_WRLCK;
            l.l_whence = SEEK_SET;
            return fd >= 0 && fcntl(fd, F_SETLK, &l) == 0;
        },
        refused);
    EXPECT_EQ(SwfFrameWidth(ReadSwfFrameRect(path)), 550) << "readable once the writers are gone";
}

TEST_F(NativeFilesTest, OpenMovieSharesReadingButRefusesLockingWriters) {
    Write("m.swf", kMovie);
    const std::string path = In("m.swf");
    pf::FileSystem& files = *pf::Current().files;
    const pf::FileHandle f = files.OpenShareRead(path);
    ASSERT_NE(f, 0u);
    const int writer = open(path.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    EXPECT_NE(flock(writer, LOCK_EX | LOCK_NB), 0);
    struct flock l {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    EXPECT_NE(fcntl(writer, F_OFD_SETLK, &l), 0);
    const pf::FileHandle second = files.OpenShareRead(path);
    EXPECT_NE(second, 0u) << "another reader is welcome";
    files.Close(second);
    files.Close(f);
    EXPECT_EQ(flock(writer, LOCK_EX | LOCK_NB), 0) << "closing released the lock";
    close(writer);
}
#endif

// ---------------------------------------------------------------------------------------
// Frame size from real files

TEST_F(NativeFilesTest, FrameSizesFromRealHeaders) {
    Write("550x400.swf", kMovie);
    Write("wide.swf", SwfHeader(31, 0, 0x7FFFFFFF, 0, 0x7FFFFFFF));
    Write("offset.swf", SwfHeader(15, 20, 11020, 20, 8020));
    auto r = ReadSwfFrameRect(In("550x400.swf"));
    EXPECT_EQ(SwfFrameWidth(r), 550);
    EXPECT_EQ(SwfFrameHeight(r), 400);
    EXPECT_EQ(SwfFrameWidth(ReadSwfFrameRect(In("wide.swf"))), 107374182);
    EXPECT_EQ(SwfFrameWidth(ReadSwfFrameRect(In("offset.swf"))), 551);
    EXPECT_EQ(SwfFrameHeight(ReadSwfFrameRect(In("offset.swf"))), 401);
}

TEST_F(NativeFilesTest, TwentyFourBytesFailAndTwentyFiveAreRead) {
    Bytes bytes = kMovie;
    bytes.resize(24);
    Write("24.swf", bytes);
    try {
        ReadSwfFrameRect(In("24.swf"));
        ADD_FAILURE() << "no error";
    } catch (const StreamReadError& e) {
        EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
    }
    bytes = kMovie;
    bytes.resize(25);
    Write("25.swf", bytes);
    const auto r = ReadSwfFrameRect(In("25.swf"));
    EXPECT_EQ(SwfFrameWidth(r), 550);
    Write("0.swf", {});
    EXPECT_THROW(ReadSwfFrameRect(In("0.swf")), StreamReadError);
    // The file was closed after the failure: it can be replaced at once.
    EXPECT_TRUE(WriteFile(In("24.swf"), kMovie));
}

TEST_F(NativeFilesTest, CompressedMovieGivesTheRectangleOfItsStream) {
    // "CWS": a 550 x 400 movie whose header is zlib data from offset 8 on.
    const Bytes cws = {0x43, 0x57, 0x53, 0x0A, 0x19, 0x00, 0x00, 0x00, 0x78, 0xDA, 0xAB,
                       0x60, 0x60, 0x8D, 0x67, 0x60, 0xE0, 0x5F, 0xC0, 0xC0, 0x20, 0xC1,
                       0xC8, 0xE0, 0xC0, 0xC0, 0xC0, 0x00, 0x00, 0x16, 0x19, 0x01, 0xE5};
    Write("packed.swf", cws);
    lumarel::saver::SwfRectBytes r{};
    ASSERT_NO_THROW(r = ReadSwfFrameRect(In("packed.swf")));
    EXPECT_EQ(SwfFrameWidth(r), 550);
    EXPECT_EQ(SwfFrameHeight(r), 400);
}

TEST_F(NativeFilesTest, MissingFileRaisesTheOpenErrorNamingThePath) {
    const std::string path = In("gone.swf");
    try {
        ReadSwfFrameRect(path);
        ADD_FAILURE() << "no error";
    } catch (const FileOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "ファイル " + path + " は開けません");
    }
    EXPECT_FALSE(pf::Current().files->FileExists(path));
}

TEST_F(NativeFilesTest, ReadWholeFileIsBounded) {
    Write("m.swf", kMovie);
    pf::FileSystem& files = *pf::Current().files;
    std::vector<std::uint8_t> out{9};
    EXPECT_TRUE(files.ReadWholeFile(In("m.swf"), out, kMovie.size()));
    EXPECT_EQ(out, kMovie);
    EXPECT_FALSE(files.ReadWholeFile(In("m.swf"), out, kMovie.size() - 1));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(files.ReadWholeFile(In("none.swf"), out, 1000));
    Write("empty.swf", {});
    EXPECT_TRUE(files.ReadWholeFile(In("empty.swf"), out, 0));
    EXPECT_TRUE(out.empty());
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    if (RunAsHolder()) return 0;
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

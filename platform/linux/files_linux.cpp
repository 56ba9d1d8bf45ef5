// File system backend for Linux: directory enumeration with Windows-style wildcard patterns and
// attribute words, and reading files while keeping cooperating writers out.
//
// Enumeration: the pattern is split at its last '/' into folder and mask. "*.*" and "*" match
// every name, with or without a dot, as they do on Windows; other masks match '*' and '?' with
// ASCII letters compared case-insensitively. Entries come in readdir order, never sorted; "." and
// ".." come out as bare directories (16), as Windows reports them. Attribute words: directory 16,
// read-only 1 (the user may not write it), hidden 2 (a name starting with '.'), archive 32
// (a regular file).
//
// Deny-write sharing: Linux has no mandatory share modes, so a movie is opened with advisory
// locks that cooperating writers honour. The open takes a shared flock() and a shared
// open-file-description record lock over the whole file, both without waiting, and keeps them
// until the file is closed. The open fails when another open file holds an exclusive flock() or
// a write record lock (POSIX or OFD) on it; while it is open, a writer asking for either lock is
// refused. A writer that takes no lock at all is not noticed. Only regular files open, and a
// FIFO never blocks the open (O_NONBLOCK during the open).
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <string>

#include "platform/platform.h"

#if __has_include("platform/linux/native_linux.h")
#include "platform/linux/native_linux.h"
#endif

namespace lumarel::platform {

FileSystem& NativeFileSystem();

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// '*' any run, '?' one character; ASCII letters in any case.
bool WildcardMatch(const std::string& mask, const std::string& name) {
    std::size_t m = 0, n = 0, starM = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

struct Enumeration {
    DIR* dir = nullptr;
    std::string mask;
    bool matchAll = false;
    ~Enumeration() {
        if (dir != nullptr) closedir(dir);
    }
};

std::uint32_t AttributesOf(DIR* dir, const char* name) {
    const std::string n(name);
    if (n == "." || n == "..") return attr::Directory;
    const int dfd = dirfd(dir);
    std::uint32_t a = 0;
    struct stat st {};
    if (fstatat(dfd, name, &st, 0) == 0) {
        if (S_ISDIR(st.st_mode)) a |= attr::Directory;
        if (S_ISREG(st.st_mode)) a |= attr::Archive;
        if (faccessat(dfd, name, W_OK, 0) != 0) a |= attr::ReadOnly;
    } else {
        // A dangling link: listed like a file; opening it fails later.
        a |= attr::Archive;
    }
    if (n[0] == '.') a |= attr::Hidden;
    return a;
}

// The next entry matching the mask, or false at the end.
bool NextMatch(Enumeration& e, FindData& out) {
    for (;;) {
        errno = 0;
        const dirent* d = readdir(e.dir);
        if (d == nullptr) return false;
        if (e.matchAll || WildcardMatch(e.mask, d->d_name)) {
            out.name = d->d_name;
            out.attributes = AttributesOf(e.dir, d->d_name);
            return true;
        }
    }
}

struct OpenFile {
    int fd = -1;
};

class LinuxFileSystem final : public FileSystem {
public:
    FindHandle FindFirst(const std::string& pattern, FindData& out) override {
        const auto slash = pattern.rfind('/');
        std::string folder, mask;
        if (slash == std::string::npos) {
            folder = ".";
            mask = pattern;
        } else {
            folder = slash == 0 ? std::string("/") : pattern.substr(0, slash);
            mask = pattern.substr(slash + 1);
        }
        if (mask.empty()) return 0;
        auto e = std::make_unique<Enumeration>();
        e->dir = opendir(folder.c_str());
        if (e->dir == nullptr) return 0;
        e->mask = mask;
        e->matchAll = mask == "*" || mask == "*.*";
        if (!NextMatch(*e, out)) return 0;
        return reinterpret_cast<FindHandle>(e.release());
    }

    bool FindNext(FindHandle h, FindData& out) override {
        if (h == 0) return false;
        return NextMatch(*reinterpret_cast<Enumeration*>(h), out);
    }

    void FindClose(FindHandle h) override { delete reinterpret_cast<Enumeration*>(h); }

    FileHandle OpenShareRead(const std::string& path) override {
        const int fd = OpenRegular(path);
        if (fd < 0) return 0;
        if (!LockShared(fd)) {
            close(fd);
            return 0;
        }
        return reinterpret_cast<FileHandle>(new OpenFile{fd});
    }

    long Seek(FileHandle f, std::int64_t offset) override {
        if (f == 0 || offset < 0) return -1;
        const off_t pos = lseek(reinterpret_cast<OpenFile*>(f)->fd, static_cast<off_t>(offset), SEEK_SET);
        if (pos < 0) return -1;
        return pos > LONG_MAX ? LONG_MAX : static_cast<long>(pos);
    }

    long Read(FileHandle f, void* buffer, long count) override {
        if (f == 0 || count < 0) return -1;
        bool failed = false;
        const long got = ReadFully(reinterpret_cast<OpenFile*>(f)->fd, buffer, static_cast<std::size_t>(count), failed);
        return failed && got == 0 ? -1 : got;
    }

    void Close(FileHandle f) override {
        if (f == 0) return;
        auto* file = reinterpret_cast<OpenFile*>(f);
        close(file->fd);  // releases both locks
        delete file;
    }

    bool FileExists(const std::string& path) override {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t maxBytes) override {
        out.clear();
        const int fd = OpenRegular(path);
        if (fd < 0) return false;
        struct stat st {};
        bool ok = fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) <= maxBytes;
        if (ok) {
            // One byte more than allowed shows a file that grew since fstat.
            out.resize(static_cast<std::size_t>(st.st_size) + 1);
            bool failed = false;
            const long got = ReadFully(fd, out.data(), out.size(), failed);
            ok = !failed && static_cast<std::size_t>(got) <= maxBytes;
            if (ok && static_cast<std::size_t>(got) == out.size()) ok = false;  // still growing
            if (ok) out.resize(static_cast<std::size_t>(got));
        }
        close(fd);
        if (!ok) out.clear();
        return ok;
    }

private:
    // Opens a regular file for reading; a FIFO or device never blocks and is refused, as is a
    // directory (Windows cannot open one as a file either).
    static int OpenRegular(const std::string& path) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return -1;
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(fd);
            return -1;
        }
        const int flags = fcntl(fd, F_GETFL);
        if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return fd;
    }

    // Takes the shared locks; false when a writer holds a conflicting one. A file system that
    // offers no locking at all is read without them.
    static bool LockShared(int fd) {
        while (flock(fd, LOCK_SH | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno == EWOULDBLOCK) return false;
            break;  // ENOLCK, EOPNOTSUPP, ...: no flock here
        }
        struct flock lock {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 0;  // the whole file, however long it grows
#ifdef F_OFD_SETLK
        while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EACCES) return false;
            break;  // EINVAL (old kernel), ENOLCK: no record locks here
        }
#else
        struct flock probe = lock;
        if (fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) return false;
#endif
        return true;
    }

    // Reads until `count` bytes, the end of the file or an error (then `failed` is set); returns
    // the bytes read.
    static long ReadFully(int fd, void* buffer, std::size_t count, bool& failed) {
        auto* p = static_cast<unsigned char*>(buffer);
        std::size_t total = 0;
        while (total < count) {
            const ssize_t got = read(fd, p + total, count - total);
            if (got < 0) {
                if (errno == EINTR) continue;
                failed = true;
                break;
            }
            if (got == 0) break;
            total += static_cast<std::size_t>(got);
        }
        return static_cast<long>(total);
    }
};

}  // namespace

FileSystem& NativeFileSystem() {
    static LinuxFileSystem files;
    return files;
}

}  // namespace lumarel::platform

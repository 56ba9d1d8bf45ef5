#include "platform/linux/hive_linux.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace lumarel::platform {

namespace {

constexpr long kKeyDeleted = 1018;  // ERROR_KEY_DELETED: the handle's key was removed
constexpr int kBusyTimeoutMs = 2000;
constexpr std::int64_t kRootId = 0;  // HKEY_CURRENT_USER itself has no row

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY,"
    " parent INTEGER NOT NULL,"  // 0 for a key right below HKEY_CURRENT_USER
    " path TEXT NOT NULL UNIQUE COLLATE NOCASE);"
    "CREATE INDEX IF NOT EXISTS keys_parent ON keys(parent);"
    "CREATE TABLE IF NOT EXISTS \"values\"("
    " key INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key, name));";

// The registry's answer for an SQLite failure: a hive we may not write is "access denied",
// every other failure (disk full, I/O error, locked too long, damaged file) a write fault.
long MapError(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return reg::Success;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
        case SQLITE_AUTH:
            return reg::AccessDenied;
        default:
            return reg::WriteFault;
    }
}

long MapErrno(int e) { return (e == EACCES || e == EPERM || e == EROFS) ? reg::AccessDenied : reg::WriteFault; }

// A prepared statement, finalised (and its read lock released) on every way out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return rc_ == SQLITE_OK; }
    int PrepareResult() const { return rc_; }
    Statement& Bind(int i, std::int64_t v) {
        if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement& Bind(int i, const std::string& text) {
        if (rc_ == SQLITE_OK) {
            rc_ = sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        }
        return *this;
    }
    Statement& BindBlob(int i, const std::uint8_t* data, std::uint32_t size) {
        if (rc_ != SQLITE_OK) return *this;
        // A zero-length blob, not NULL, for an empty value.
        if (size == 0 || data == nullptr) {
            rc_ = sqlite3_bind_zeroblob(stmt_, i, 0);
        } else {
            rc_ = sqlite3_bind_blob64(stmt_, i, data, size, SQLITE_TRANSIENT);
        }
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE, or the failure.
    int Step() {
        if (rc_ != SQLITE_OK) return rc_;
        return sqlite3_step(stmt_);
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
    }
    std::vector<std::uint8_t> Blob(int col) const {
        const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, col));
        const int n = sqlite3_column_bytes(stmt_, col);
        return p ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

// The "\"-separated components of a key path, empty ones dropped.
std::vector<std::string> SplitKeyPath(const std::string& subKey) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= subKey.size()) {
        std::size_t end = subKey.find('\\', start);
        if (end == std::string::npos) end = subKey.size();
        if (end > start) parts.push_back(subKey.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string JoinKeyPath(const std::string& parent, const std::string& child) {
    return parent.empty() ? child : parent + "\\" + child;
}

// mkdir -p for the folders above `file`.
long MakeParentFolders(const std::string& file) {
    for (std::size_t pos = file.find('/', 1); pos != std::string::npos; pos = file.find('/', pos + 1)) {
        std::string dir = file.substr(0, pos);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return MapErrno(errno);
    }
    return reg::Success;
}

}  // namespace

std::string DefaultHivePath() {
    if (const char* hive = std::getenv("LUMAREL_HIVE"); hive != nullptr && *hive != '\0') {
        return hive;
    }
    // XDG base directories: a relative XDG_CONFIG_HOME is to be ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/lumarel/registry.sqlite3";
    }
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        home = pw->pw_dir;
    }
    return home + "/.config/lumarel/registry.sqlite3";
}

HiveRegistry::HiveRegistry(std::string path) : path_(std::move(path)) {}

HiveRegistry::~HiveRegistry() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
}

void HiveRegistry::DropIfReplaced() {
    if (db_ == nullptr) return;
    // A hive file removed or replaced since it was opened: writes to the old file would be
    // lost without a word, so start again on whatever is at the path now. Handles opened on
    // the old file are looked up again by their path (KeyIdOf).
    struct stat now {};
    if (::stat(path_.c_str(), &now) != 0 || now.st_ino != fileId_.first || now.st_dev != fileId_.second) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
        schemaReady_ = false;
        ++generation_;
    }
}

long HiveRegistry::Open(bool forWriting) {
    if (db_ == nullptr) {
        struct stat st {};
        if (!forWriting && ::stat(path_.c_str(), &st) != 0) {
            // No hive yet: HKEY_CURRENT_USER is there and empty.
            return reg::FileNotFound;
        }
        if (forWriting) {
            if (long rc = MakeParentFolders(path_); rc != reg::Success) return rc;
        }
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            sqlite3_close_v2(db);
            return MapError(rc);
        }
        struct stat opened {};
        if (::stat(path_.c_str(), &opened) == 0) fileId_ = {opened.st_ino, opened.st_dev};
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // Rollback journal, flushed to disk at every commit.
        sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        db_ = db;
    }
    if (!schemaReady_) {
        std::int64_t tables = 0;
        int rc;
        {
            Statement probe(db_,
                            "SELECT count(*) FROM sqlite_master WHERE type='table' AND "
                            "name IN ('keys','values')");
            rc = probe.Step();
            if (rc == SQLITE_ROW) tables = probe.Int(0);
        }
        if (rc != SQLITE_ROW) return MapError(rc);
        if (tables == 2) {
            schemaReady_ = true;
        } else if (!forWriting) {
            return reg::FileNotFound;
        } else {
            if (long b = Begin(); b != reg::Success) return b;
            rc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) {
                Rollback();
                return MapError(rc);
            }
            if (long c = Commit(); c != reg::Success) return c;
            schemaReady_ = true;
        }
    }
    return reg::Success;
}

long HiveRegistry::Begin() {
    // IMMEDIATE: take the write lock now (waiting up to the busy timeout), so a write never
    // has to upgrade a read lock that another writer is waiting on.
    return MapError(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
}

long HiveRegistry::Commit() {
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        Rollback();
        return MapError(rc);
    }
    return reg::Success;
}

void HiveRegistry::Rollback() {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

long HiveRegistry::KeyIdOf(KeyHandle h, std::int64_t& id, std::string& path) {
    DropIfReplaced();
    if (h == kCurrentUser) {
        id = kRootId;
        path.clear();
        return reg::Success;
    }
    auto it = handles_.find(h);
    if (it == handles_.end()) return reg::InvalidHandle;
    if (it->second.generation != generation_) {
        // Opened on a hive file that has since been replaced: the same path in the new one.
        if (Open(false) != reg::Success) return kKeyDeleted;
        Statement find(db_, "SELECT id FROM keys WHERE path=?");
        if (find.Bind(1, it->second.path).Step() != SQLITE_ROW) return kKeyDeleted;
        it->second.id = find.Int(0);
        it->second.generation = generation_;
    }
    id = it->second.id;
    path = it->second.path;
    return reg::Success;
}

long HiveRegistry::Handle(std::int64_t id, std::string path, KeyHandle& out) {
    out = nextHandle_++;
    handles_[out] = OpenKeyRecord{id, std::move(path), generation_};
    return reg::Success;
}

long HiveRegistry::CreateKey(KeyHandle parent, const std::string& subKey, std::uint32_t, KeyHandle& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(parent, id, path); rc != reg::Success) return rc;
    // A key that exists is opened without writing, so a read-only hive can still be read.
    std::vector<std::string> parts = SplitKeyPath(subKey);
    if (parts.empty()) return Handle(id, path, out);
    if (Open(false) == reg::Success) {
        std::string full = path;
        for (const std::string& part : parts) full = JoinKeyPath(full, part);
        Statement find(db_, "SELECT id, path FROM keys WHERE path=?");
        if (find.Bind(1, full).Step() == SQLITE_ROW) return Handle(find.Int(0), find.Text(1), out);
    }
    if (long rc = Open(true); rc != reg::Success) return rc;
    if (long rc = Begin(); rc != reg::Success) return rc;
    auto fail = [&](int rc) {
        Rollback();
        return MapError(rc);
    };
    if (id != kRootId) {
        Statement exists(db_, "SELECT 1 FROM keys WHERE id=?");
        int rc = exists.Bind(1, id).Step();
        if (rc == SQLITE_DONE) {
            Rollback();
            return kKeyDeleted;
        }
        if (rc != SQLITE_ROW) return fail(rc);
    }
    for (const std::string& part : parts) {
        std::string next = JoinKeyPath(path, part);
        Statement find(db_, "SELECT id, path FROM keys WHERE path=?");
        int rc = find.Bind(1, next).Step();
        if (rc == SQLITE_ROW) {
            id = find.Int(0);
            path = find.Text(1);
            continue;
        }
        if (rc != SQLITE_DONE) return fail(rc);
        Statement insert(db_, "INSERT INTO keys(parent, path) VALUES(?, ?)");
        rc = insert.Bind(1, id).Bind(2, next).Step();
        if (rc != SQLITE_DONE) return fail(rc);
        id = sqlite3_last_insert_rowid(db_);
        path = next;
    }
    if (long rc = Commit(); rc != reg::Success) return rc;
    return Handle(id, path, out);
}

long HiveRegistry::OpenKey(KeyHandle parent, const std::string& subKey, std::uint32_t, KeyHandle& out) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(parent, id, path); rc != reg::Success) return rc;
    std::vector<std::string> parts = SplitKeyPath(subKey);
    if (parts.empty()) return Handle(id, path, out);
    if (long rc = Open(false); rc != reg::Success) return rc;
    std::string full = path;
    for (const std::string& part : parts) full = JoinKeyPath(full, part);
    Statement find(db_, "SELECT id, path FROM keys WHERE path=?");
    int rc = find.Bind(1, full).Step();
    if (rc == SQLITE_DONE) return reg::FileNotFound;
    if (rc != SQLITE_ROW) return MapError(rc);
    return Handle(find.Int(0), find.Text(1), out);
}

long HiveRegistry::QueryValue(KeyHandle key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                              std::uint32_t& size) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(key, id, path); rc != reg::Success) return rc;
    if (long rc = Open(false); rc != reg::Success) return rc;
    Statement find(db_, "SELECT type, data FROM \"values\" WHERE key=? AND name=?");
    int rc = find.Bind(1, id).Bind(2, name).Step();
    if (rc == SQLITE_DONE) return reg::FileNotFound;
    if (rc != SQLITE_ROW) return MapError(rc);
    std::vector<std::uint8_t> bytes = find.Blob(1);
    type = static_cast<std::uint32_t>(find.Int(0));
    const auto stored = static_cast<std::uint32_t>(bytes.size());
    if (data != nullptr) {
        if (size < stored) {
            size = stored;
            return reg::MoreData;
        }
        if (stored > 0) std::memcpy(data, bytes.data(), stored);
    }
    size = stored;
    return reg::Success;
}

long HiveRegistry::SetValue(KeyHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(key, id, path); rc != reg::Success) return rc;
    if (long rc = Open(true); rc != reg::Success) return rc;
    if (long rc = Begin(); rc != reg::Success) return rc;
    if (id != kRootId) {
        Statement exists(db_, "SELECT 1 FROM keys WHERE id=?");
        int rc = exists.Bind(1, id).Step();
        if (rc != SQLITE_ROW) {
            Rollback();
            return rc == SQLITE_DONE ? kKeyDeleted : MapError(rc);
        }
    }
    // Replaces any earlier value of that name, whatever its type; the name keeps its case.
    int rc;
    {
        Statement upsert(db_,
                         "INSERT INTO \"values\"(key, name, type, data) VALUES(?, ?, ?, ?) "
                         "ON CONFLICT(key, name) DO UPDATE SET type=excluded.type, "
                         "data=excluded.data");
        rc = upsert.Bind(1, id).Bind(2, name).Bind(3, static_cast<std::int64_t>(type)).BindBlob(4, data, size).Step();
    }
    if (rc != SQLITE_DONE) {
        Rollback();
        return MapError(rc);
    }
    return Commit();
}

long HiveRegistry::CloseKey(KeyHandle key) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (key == kCurrentUser) return reg::Success;
    return handles_.erase(key) != 0 ? reg::Success : reg::InvalidHandle;
}

long HiveRegistry::EnumSubKeys(KeyHandle key, std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lock(mutex_);
    names.clear();
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(key, id, path); rc != reg::Success) return rc;
    if (long rc = Open(false); rc != reg::Success) return rc == reg::FileNotFound ? reg::Success : rc;
    Statement list(db_, "SELECT path FROM keys WHERE parent=? ORDER BY path");
    list.Bind(1, id);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW) {
        std::string child = list.Text(0);
        std::size_t sep = child.rfind('\\');
        names.push_back(sep == std::string::npos ? child : child.substr(sep + 1));
    }
    return rc == SQLITE_DONE ? reg::Success : MapError(rc);
}

long HiveRegistry::EnumValues(KeyHandle key, std::vector<ValueInfo>& values) {
    std::lock_guard<std::mutex> lock(mutex_);
    values.clear();
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(key, id, path); rc != reg::Success) return rc;
    if (long rc = Open(false); rc != reg::Success) return rc == reg::FileNotFound ? reg::Success : rc;
    Statement list(db_, "SELECT name, type, data FROM \"values\" WHERE key=? ORDER BY name");
    list.Bind(1, id);
    int rc;
    while ((rc = list.Step()) == SQLITE_ROW) {
        values.push_back(ValueInfo{list.Text(0), static_cast<std::uint32_t>(list.Int(1)), list.Blob(2)});
    }
    return rc == SQLITE_DONE ? reg::Success : MapError(rc);
}

long HiveRegistry::DeleteValue(KeyHandle key, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(key, id, path); rc != reg::Success) return rc;
    if (long rc = Open(true); rc != reg::Success) return rc;
    if (long rc = Begin(); rc != reg::Success) return rc;
    int rc;
    {
        Statement del(db_, "DELETE FROM \"values\" WHERE key=? AND name=?");
        rc = del.Bind(1, id).Bind(2, name).Step();
    }
    if (rc != SQLITE_DONE) {
        Rollback();
        return MapError(rc);
    }
    if (sqlite3_changes(db_) == 0) {
        Rollback();
        return reg::FileNotFound;
    }
    return Commit();
}

long HiveRegistry::DeleteTree(KeyHandle parent, const std::string& subKey) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t id = 0;
    std::string path;
    if (long rc = KeyIdOf(parent, id, path); rc != reg::Success) return rc;
    std::vector<std::string> parts = SplitKeyPath(subKey);
    if (parts.empty()) return reg::AccessDenied;  // a key does not delete itself this way
    for (const std::string& part : parts) path = JoinKeyPath(path, part);
    if (long rc = Open(true); rc != reg::Success) return rc;
    if (long rc = Begin(); rc != reg::Success) return rc;
    std::int64_t top = 0;
    int rc;
    {
        Statement find(db_, "SELECT id FROM keys WHERE path=?");
        rc = find.Bind(1, path).Step();
        if (rc == SQLITE_ROW) top = find.Int(0);
    }
    if (rc != SQLITE_ROW) {
        Rollback();
        return rc == SQLITE_DONE ? reg::FileNotFound : MapError(rc);
    }
    const char* const tree =
        "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL "
        "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) ";
    {
        Statement delValues(db_,
                            (std::string(tree) + "DELETE FROM \"values\" WHERE key IN (SELECT id FROM tree)").c_str());
        rc = delValues.Bind(1, top).Step();
    }
    if (rc == SQLITE_DONE) {
        Statement delKeys(db_, (std::string(tree) + "DELETE FROM keys WHERE id IN (SELECT id FROM tree)").c_str());
        rc = delKeys.Bind(1, top).Step();
    }
    if (rc != SQLITE_DONE) {
        Rollback();
        return MapError(rc);
    }
    return Commit();
}

}  // namespace lumarel::platform

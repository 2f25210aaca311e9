#include "platform/registry/registry.h"

#include <pthread.h>
#include <sqlite3.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/base/textcase.h"

namespace tolver {
namespace {

// Rows 1 to 3 of the key table are the three roots.
constexpr std::int64_t kNoKey = 0;

std::int64_t RootId(HKEY root) {
    switch (root) {
        case HKEY_CLASSES_ROOT: return 1;
        case HKEY_CURRENT_USER: return 2;
        case HKEY_LOCAL_MACHINE: return 3;
        default: return kNoKey;
    }
}

// Bumped whenever key rows may have vanished without the accessor's doing (a rolled
// back transaction, a store opened anew): accessors then find their key again by path.
std::atomic<std::uint64_t> g_generation{1};
// Bumped in a forked child: a connection must never cross fork().
std::atomic<std::uint64_t> g_forks{0};

void OnFork() { ++g_forks; }

[[noreturn]] void Fail(const std::string& what) { throw ERegistryException(what); }

enum Query {
    kFindKey,
    kInsertKey,
    kDeleteKey,
    kSubKeys,
    kHasSubKeys,
    kFindValue,
    kUpsertValue,
    kDeleteValue,
    kValueNames,
    kQueryCount
};

constexpr std::array<const char*, kQueryCount> kSql = {
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)",
    "DELETE FROM keys WHERE id = ?1",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name FROM vals WHERE key = ?1 ORDER BY id",
};

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    fold TEXT NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent, fold);
CREATE TABLE IF NOT EXISTS vals(
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS vals_by_name ON vals(key, fold);
INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),
    (2, NULL, 'HKEY_CURRENT_USER', 'hkey_current_user'),
    (3, NULL, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');
PRAGMA user_version = 1;
)";

// One connection per thread, so that a transaction on one thread never takes in
// another thread's writes.
class Store {
public:
    explicit Store(std::string path) : path_(std::move(path)), forks_(g_forks) {
        std::error_code ec;
        const auto dir = std::filesystem::path(path_).parent_path();
        if (!dir.empty()) std::filesystem::create_directories(dir, ec);
        const int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                       nullptr);
        if (rc != SQLITE_OK) {
            const std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            Fail("Cannot open the registry store " + path_ + ": " + msg);
        }
        try {
            sqlite3_busy_timeout(db_, kBusyTimeoutMs);
            Exec("PRAGMA journal_mode = WAL");
            Exec("PRAGMA synchronous = NORMAL");
            Exec("PRAGMA foreign_keys = ON");
            Exec("BEGIN IMMEDIATE");
            try {
                Exec(kSchema);
                Exec("COMMIT");
            } catch (...) {
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
                throw;
            }
        } catch (...) {
            sqlite3_close(db_);
            db_ = nullptr;
            throw;
        }
        ++g_generation;
    }

    ~Store() {
        if (!db_) return;
        for (auto* s : stmts_) sqlite3_finalize(s);
        sqlite3_close(db_);
    }

    // Gives up the connection without closing it (after fork(), closing would touch
    // the parent's locks and files).
    void Abandon() { db_ = nullptr; }

    const std::string& path() const { return path_; }
    std::uint64_t forks() const { return forks_; }
    int depth = 0;  // open transactions and snapshots

    void Exec(const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : sqlite3_errmsg(db_);
            sqlite3_free(err);
            Fail("Registry store: " + msg);
        }
    }

    sqlite3_stmt* Prepare(Query q) {
        if (!stmts_[q] && sqlite3_prepare_v3(db_, kSql[q], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[q], nullptr) != SQLITE_OK)
            Fail(std::string("Registry store: ") + sqlite3_errmsg(db_));
        return stmts_[q];
    }

    std::string Error() const { return sqlite3_errmsg(db_); }
    sqlite3* db() const { return db_; }

private:
    static constexpr int kBusyTimeoutMs = 10000;
    std::string path_;
    std::uint64_t forks_;
    sqlite3* db_ = nullptr;
    std::array<sqlite3_stmt*, kQueryCount> stmts_{};
};

thread_local std::unique_ptr<Store> t_store;

Store& Db() {
    static const bool atfork = [] { return pthread_atfork(nullptr, nullptr, OnFork) == 0; }();
    (void)atfork;
    if (t_store && t_store->forks() != g_forks) {
        t_store->Abandon();
        t_store.reset();
    }
    // Outside a transaction a changed TOLVER_REGISTRY takes effect at once.
    if (t_store && t_store->depth == 0 && t_store->path() != RegistryPath()) t_store.reset();
    if (!t_store) t_store = std::make_unique<Store>(RegistryPath());
    return *t_store;
}

// A prepared statement, reset and unbound when the step is done.
class Stmt {
public:
    explicit Stmt(Query q) : store_(Db()), s_(store_.Prepare(q)) {}
    ~Stmt() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    Stmt& Bind(int i, std::int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Stmt& Bind(int i, std::string_view v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& BindBlob(int i, const void* data, std::size_t size) {
        // A zero-length blob must not bind as NULL.
        sqlite3_bind_blob(s_, i, size ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
        return *this;
    }
    // True while there is a row.
    bool Step() {
        const int rc = sqlite3_step(s_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        if (rc == SQLITE_BUSY) Fail("The registry store is busy");
        Fail("Registry store: " + store_.Error());
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(s_, col); }
    std::string Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s_, col))) : std::string();
    }
    std::vector<std::uint8_t> Blob(int col) const {
        const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(s_, col));
        return p ? std::vector<std::uint8_t>(p, p + sqlite3_column_bytes(s_, col)) : std::vector<std::uint8_t>();
    }
    int Changes() const { return sqlite3_changes(store_.db()); }
    std::int64_t LastId() const { return sqlite3_last_insert_rowid(store_.db()); }

private:
    Store& store_;
    sqlite3_stmt* s_;
};

// The components of a "\"-separated path; empty components are skipped.
std::vector<std::string_view> Split(std::string_view path) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < path.size()) {
        const std::size_t j = path.find('\\', i);
        const std::size_t end = j == std::string_view::npos ? path.size() : j;
        if (end > i) out.push_back(path.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

std::string Join(std::string base, const std::vector<std::string_view>& parts) {
    for (const auto p : parts) {
        if (!base.empty()) base += '\\';
        base += p;
    }
    return base;
}

std::int64_t FindChild(std::int64_t parent, std::string_view name) {
    Stmt s(kFindKey);
    s.Bind(1, parent).Bind(2, CaseFold(name));
    return s.Step() ? s.Int(0) : kNoKey;
}

std::int64_t Resolve(std::int64_t id, const std::vector<std::string_view>& parts, bool create) {
    std::size_t i = 0;
    for (; i < parts.size() && id != kNoKey; ++i) {
        const std::int64_t child = FindChild(id, parts[i]);
        if (child == kNoKey) break;
        id = child;
    }
    if (i == parts.size() || id == kNoKey) return i == parts.size() ? id : kNoKey;
    if (!create) return kNoKey;
    RegistryTransaction tx;
    for (; i < parts.size(); ++i) {
        Stmt s(kInsertKey);
        s.Bind(1, id).Bind(2, parts[i]).Bind(3, CaseFold(parts[i]));
        s.Step();
        id = s.LastId();
    }
    tx.Commit();
    return id;
}

struct StoredValue {
    RegDataType type = RegDataType::None;
    std::int64_t number = 0;
    std::string text;
    std::vector<std::uint8_t> bytes;
};

StoredValue Lookup(std::int64_t key, std::string_view name) {
    StoredValue v;
    if (key == kNoKey) return v;
    Stmt s(kFindValue);
    s.Bind(1, key).Bind(2, CaseFold(name));
    if (!s.Step()) return v;
    v.type = static_cast<RegDataType>(s.Int(0));
    switch (v.type) {
        case RegDataType::DWord: v.number = s.Int(1); break;
        case RegDataType::String: v.text = s.Text(1); break;
        default: v.bytes = s.Blob(1); break;
    }
    return v;
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

}  // namespace

std::string RegistryPath() {
    if (const char* forced = std::getenv("TOLVER_REGISTRY"); forced && *forced) return forced;
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.local/share";
    }
    if (base.back() != '/') base += '/';
    return base + "tolver/registry.db";
}

// ---- transactions -------------------------------------------------------------

RegistryTransaction::RegistryTransaction() : RegistryTransaction(true) {}

RegistryTransaction::RegistryTransaction(bool write) {
    Store& s = Db();
    level_ = s.depth + 1;
    if (level_ == 1)
        s.Exec(write ? "BEGIN IMMEDIATE" : "BEGIN DEFERRED");
    else
        s.Exec(("SAVEPOINT t" + std::to_string(level_)).c_str());
    s.depth = level_;
}

RegistryTransaction::~RegistryTransaction() {
    if (done_) return;
    try {
        Store& s = Db();
        if (level_ == 1) {
            s.Exec("ROLLBACK");
        } else {
            const std::string name = "t" + std::to_string(level_);
            s.Exec(("ROLLBACK TO " + name).c_str());
            s.Exec(("RELEASE " + name).c_str());
        }
        s.depth = level_ - 1;
    } catch (...) {
        // A rollback that fails leaves nothing to do: SQLite has rolled back already.
        if (t_store) t_store->depth = level_ - 1;
    }
    ++g_generation;
}

void RegistryTransaction::Commit() {
    if (done_) Fail("The registry transaction is already finished");
    Store& s = Db();
    if (s.depth != level_) Fail("A registry transaction is committed before the one inside it");
    if (level_ == 1)
        s.Exec("COMMIT");
    else
        s.Exec(("RELEASE t" + std::to_string(level_)).c_str());
    s.depth = level_ - 1;
    done_ = true;
}

RegistrySnapshot::RegistrySnapshot() : tx_(false) {}
RegistrySnapshot::~RegistrySnapshot() {
    try {
        tx_.Commit();
    } catch (...) {
        // Nothing was written; the destructor of tx_ ends the read.
    }
}

// ---- the accessor -------------------------------------------------------------

TRegistry::TRegistry(HKEY root) : root_(root), keyId_(RootId(root)), generation_(g_generation) {}
TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(HKEY root) {
    root_ = root;
    CloseKey();
}

void TRegistry::CloseKey() {
    path_.clear();
    keyId_ = RootId(root_);
    generation_ = g_generation;
}

std::int64_t TRegistry::CurrentId() const {
    if (generation_ != g_generation) {
        generation_ = g_generation;
        keyId_ = RootId(root_) == kNoKey ? kNoKey : Resolve(RootId(root_), Split(path_), false);
    }
    return keyId_;
}

std::int64_t TRegistry::Find(const std::string& key, bool canCreate, std::string* path) const {
    const bool absolute = !key.empty() && key[0] == '\\';
    const auto parts = Split(key);
    const std::int64_t start = absolute ? RootId(root_) : CurrentId();
    if (start == kNoKey) return kNoKey;
    if (path) *path = Join(absolute ? std::string() : path_, parts);
    return Resolve(start, parts, canCreate);
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    std::string path;
    std::int64_t id = kNoKey;
    try {
        id = Find(key, canCreate, &path);
    } catch (const ERegistryException&) {
        if (canCreate) return false;
        throw;
    }
    if (id == kNoKey) return false;
    keyId_ = id;
    path_ = std::move(path);
    generation_ = g_generation;
    return true;
}

bool TRegistry::KeyExists(const std::string& key) const { return Find(key, false, nullptr) != kNoKey; }

bool TRegistry::HasSubKeys() const {
    const std::int64_t id = CurrentId();
    if (id == kNoKey) return false;
    Stmt s(kHasSubKeys);
    s.Bind(1, id);
    return s.Step();
}

bool TRegistry::DeleteKey(const std::string& key) {
    if (Split(key).empty()) return false;  // never a root, never the current key by ""
    const std::int64_t id = Find(key, false, nullptr);
    if (id == kNoKey) return false;
    Stmt s(kDeleteKey);
    s.Bind(1, id);
    s.Step();
    return s.Changes() > 0;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    std::vector<std::string> out;
    const std::int64_t id = CurrentId();
    if (id == kNoKey) return out;
    Stmt s(kSubKeys);
    s.Bind(1, id);
    while (s.Step()) out.push_back(s.Text(0));
    return out;
}

std::vector<std::string> TRegistry::GetValueNames() const {
    std::vector<std::string> out;
    const std::int64_t id = CurrentId();
    if (id == kNoKey) return out;
    Stmt s(kValueNames);
    s.Bind(1, id);
    while (s.Step()) out.push_back(s.Text(0));
    return out;
}

bool TRegistry::ValueExists(const std::string& name) const { return GetDataType(name) != RegDataType::None; }

bool TRegistry::DeleteValue(const std::string& name) {
    const std::int64_t id = CurrentId();
    if (id == kNoKey) return false;
    Stmt s(kDeleteValue);
    s.Bind(1, id).Bind(2, CaseFold(name));
    s.Step();
    return s.Changes() > 0;
}

RegDataType TRegistry::GetDataType(const std::string& name) const { return Lookup(CurrentId(), name).type; }

int TRegistry::GetDataSize(const std::string& name) const {
    const StoredValue v = Lookup(CurrentId(), name);
    switch (v.type) {
        case RegDataType::None: return -1;
        case RegDataType::String: return static_cast<int>(v.text.size() + 1);
        case RegDataType::DWord: return 4;
        case RegDataType::Binary: return static_cast<int>(v.bytes.size());
    }
    return -1;
}

void TRegistry::Put(const std::string& name, RegDataType type, std::int64_t number, const void* data, std::size_t size) {
    const std::int64_t id = CurrentId();
    if (id == kNoKey) Fail("Failed to set data for " + Quoted(name));
    Stmt s(kUpsertValue);
    s.Bind(1, id).Bind(2, name).Bind(3, CaseFold(name)).Bind(4, static_cast<std::int64_t>(type));
    if (type == RegDataType::DWord)
        s.Bind(5, number);
    else if (type == RegDataType::String)
        s.Bind(5, std::string_view(static_cast<const char*>(data), size));
    else
        s.BindBlob(5, data, size);
    try {
        s.Step();
    } catch (const ERegistryException& e) {
        Fail("Failed to set data for " + Quoted(name) + ": " + e.what());
    }
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    Put(name, RegDataType::String, 0, value.data(), value.size());
}

std::string TRegistry::ReadString(const std::string& name) const {
    const StoredValue v = Lookup(CurrentId(), name);
    if (v.type == RegDataType::None) return {};
    if (v.type != RegDataType::String) Fail("Invalid data type for " + Quoted(name));
    return v.text;
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    Put(name, RegDataType::DWord, value, nullptr, 0);
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
    const StoredValue v = Lookup(CurrentId(), name);
    if (v.type == RegDataType::None) Fail("Failed to get data for " + Quoted(name));
    if (v.type != RegDataType::DWord) Fail("Invalid data type for " + Quoted(name));
    return static_cast<std::int32_t>(v.number);
}

void TRegistry::WriteBinaryData(const std::string& name, const std::vector<std::uint8_t>& data) {
    Put(name, RegDataType::Binary, 0, data.data(), data.size());
}

std::vector<std::uint8_t> TRegistry::ReadBinaryData(const std::string& name) const {
    StoredValue v = Lookup(CurrentId(), name);
    if (v.type == RegDataType::None) Fail("Failed to get data for " + Quoted(name));
    if (v.type != RegDataType::Binary) Fail("Invalid data type for " + Quoted(name));
    return std::move(v.bytes);
}

void TRegistry::WriteFloat(const std::string& name, double value) {
    std::uint8_t bytes[8];
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Put(name, RegDataType::Binary, 0, bytes, 8);
}

double TRegistry::ReadFloat(const std::string& name) const {
    const std::vector<std::uint8_t> bytes = ReadBinaryData(name);
    if (bytes.size() != 8) Fail("Invalid data type for " + Quoted(name));
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

bool TRegistry::ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }

}  // namespace tolver

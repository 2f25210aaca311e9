#include "platform/registry/registry.h"

#include <pthread.h>
#include <sqlite3.h>

#include <array>
#include <atomic>
#include <map>
#include <unordered_map>
#include <optional>
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
    kDeleteKeyValues,
    kDeleteKey,
    kSubKeys,
    kHasSubKeys,
    kFindValue,
    kUpsertValue,
    kUpsertValueAt,
    kKeyState,
    kDeleteValue,
    kValueNames,
    kNextKey,
    kSetNextKey,
    kQueryCount
};

constexpr std::array<const char*, kQueryCount> kSql = {
    "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2",
    "INSERT INTO keys(id, parent, name, fold) VALUES(?4, ?1, ?2, ?3)",
    // A key with every key below it and all their values.
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) "
    "DELETE FROM vals WHERE key IN sub",
    "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent = sub.id) "
    "DELETE FROM keys WHERE id IN sub",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2",
    // seq keeps the order of creation; it is NULL, which the table refuses, when the
    // key is gone, so that nothing is written under a deleted key.
    "INSERT INTO vals(key, name, fold, type, data, seq) VALUES(?1, ?2, ?3, ?4, ?5, "
    "CASE WHEN EXISTS(SELECT 1 FROM keys WHERE id = ?1) "
    "THEN (SELECT ifnull(max(seq), 0) + 1 FROM vals WHERE key = ?1) END) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    // The same at a known position, for a key known to exist.
    "INSERT INTO vals(key, name, fold, type, data, seq) VALUES(?1, ?2, ?3, ?4, ?5, ?6) "
    "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data",
    "SELECT EXISTS(SELECT 1 FROM keys WHERE id = ?1), (SELECT ifnull(max(seq), 0) FROM vals WHERE key = ?1)",
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name FROM vals WHERE key = ?1 ORDER BY seq",
    "SELECT max((SELECT value FROM meta WHERE name = 'nextkey'), (SELECT ifnull(max(id), 0) + 1 FROM keys))",
    "UPDATE meta SET value = ?1 WHERE name = 'nextkey'",
};

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY,  -- never used twice: see meta
    parent INTEGER,
    name TEXT NOT NULL,
    fold TEXT NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS keys_by_name ON keys(parent, fold);
CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL,
    fold TEXT NOT NULL,
    seq INTEGER NOT NULL,
    name TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, fold)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES
    (1, NULL, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),
    (2, NULL, 'HKEY_CURRENT_USER', 'hkey_current_user'),
    (3, NULL, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');
-- The next key id to hand out. Ids are never used again, so that an accessor whose
-- key was deleted cannot write into a newer one.
CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value INTEGER NOT NULL);
INSERT OR IGNORE INTO meta(name, value) VALUES('nextkey', 4);
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
            Exec("PRAGMA cache_size = -32768");  // 32 MiB: a large save stays in memory until it commits
            Exec("PRAGMA temp_store = MEMORY");
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
        for (auto& level : txStmts_)
            for (auto* s : level) sqlite3_finalize(s);
        sqlite3_close(db_);
    }

    // Gives up the connection without closing it (after fork(), closing would touch
    // the parent's locks and files).
    void Abandon() { db_ = nullptr; }

    const std::string& path() const { return path_; }
    std::uint64_t forks() const { return forks_; }
    int depth = 0;  // open transactions and snapshots

    // Key ids by root and folded path ("3\\software\\norvale"), kNoKey for a key known
    // to be absent. Only used while a transaction or snapshot is open: then no other
    // connection's change is seen, and every change of this one passes through here.
    std::map<std::string, std::int64_t, std::less<>> paths;

    // The next value position of keys known to exist, kept like paths.
    std::unordered_map<std::int64_t, std::int64_t> nextSeq;

    // The next key id while a transaction is open (0: not read yet); written back
    // when the outermost transaction commits.
    std::int64_t nextKey = 0;
    bool nextKeyUsed = false;

    // After a savepoint is rolled back the key ids it used stay used: nextKey is kept.
    void ClearCaches(bool keepNextKey = false) {
        paths.clear();
        nextSeq.clear();
        if (keepNextKey) return;
        nextKey = 0;
        nextKeyUsed = false;
    }

    void Forget(const std::string& prefix) {
        nextSeq.clear();
        auto it = paths.lower_bound(prefix);
        while (it != paths.end() && it->first.compare(0, prefix.size(), prefix) == 0 &&
               (it->first.size() == prefix.size() || it->first[prefix.size()] == '\\'))
            it = paths.erase(it);
    }

    // BEGIN / COMMIT / ROLLBACK at level 1, SAVEPOINT / RELEASE / ROLLBACK TO deeper.
    enum TxOp { kOpen, kOpenRead, kClose, kUndo };
    void Tx(int level, TxOp op) {
        if (static_cast<std::size_t>(level) >= txStmts_.size()) txStmts_.resize(static_cast<std::size_t>(level) + 1);
        auto& slot = txStmts_[static_cast<std::size_t>(level)][op];
        if (!slot) {
            std::string n(1, 't');
            n += std::to_string(level);
            const std::string sql = level == 1 ? (op == kOpen       ? "BEGIN IMMEDIATE"
                                                  : op == kOpenRead ? "BEGIN DEFERRED"
                                                  : op == kClose    ? "COMMIT"
                                                                    : "ROLLBACK")
                                               : (op == kClose ? "RELEASE " + n
                                                  : op == kUndo ? "ROLLBACK TO " + n
                                                                : "SAVEPOINT " + n);
            if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &slot, nullptr) != SQLITE_OK)
                Fail("Registry store: " + Error());
        }
        const int rc = sqlite3_step(slot);
        sqlite3_reset(slot);
        if (rc == SQLITE_BUSY) Fail("The registry store is busy");
        if (rc != SQLITE_DONE && rc != SQLITE_ROW) Fail("Registry store: " + Error());
        if (level > 1 && op == kUndo) Tx(level, kClose);
    }

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
    std::vector<std::array<sqlite3_stmt*, 4>> txStmts_;
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

// A prepared statement, reset when the step is done.
class Stmt {
public:
    explicit Stmt(Query q) : store_(Db()), s_(store_.Prepare(q)) {}
    ~Stmt() { sqlite3_reset(s_); }  // every use binds all its parameters
    Stmt& Bind(int i, std::int64_t v) {
        sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    // Texts and blobs are bound without a copy: they must outlive the step.
    Stmt& Bind(int i, std::string_view v) {
        sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
        return *this;
    }
    Stmt& BindBlob(int i, const void* data, std::size_t size) {
        // A zero-length blob must not bind as NULL.
        sqlite3_bind_blob(s_, i, size ? data : "", static_cast<int>(size), SQLITE_STATIC);
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

std::int64_t FindChild(std::int64_t parent, const std::string& fold) {
    Stmt s(kFindKey);
    s.Bind(1, parent).Bind(2, fold);
    return s.Step() ? s.Int(0) : kNoKey;
}

// The cache keys of a root and each prefix of a path: the root's row, then "\" and
// each folded part; keys[n] stands for the first n parts.
std::vector<std::string> PathKeys(std::int64_t rootId, const std::vector<std::string_view>& parts) {
    std::vector<std::string> keys(parts.size() + 1);
    keys[0] = std::to_string(rootId);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        keys[i + 1].reserve(keys[i].size() + parts[i].size() + 1);
        keys[i + 1] = keys[i];
        keys[i + 1] += '\\';
        keys[i + 1] += CaseFold(parts[i]);
    }
    return keys;
}

// Makes several statements one change when no transaction is open; inside one they
// are part of it already.
class WriteScope {
public:
    WriteScope() {
        if (Db().depth == 0) tx_.emplace();
    }
    void Commit() {
        if (tx_) tx_->Commit();
    }

private:
    std::optional<RegistryTransaction> tx_;
};

// The key at parts under the root, made on the way with create; kNoKey when missing.
std::int64_t Resolve(HKEY root, const std::vector<std::string_view>& parts, bool create) {
    const std::int64_t rootId = RootId(root);
    if (rootId == kNoKey) return kNoKey;
    Store& store = Db();
    const bool cached = store.depth > 0;
    const std::vector<std::string> keys = PathKeys(rootId, parts);
    std::int64_t id = rootId;
    std::size_t i = 0;
    std::size_t missing = parts.size() + 1;  // the shortest prefix known to be absent
    if (cached) {
        for (std::size_t n = parts.size(); n > 0; --n) {
            const auto it = store.paths.find(keys[n]);
            if (it == store.paths.end()) continue;
            if (it->second == kNoKey) {
                missing = n;
                continue;
            }
            id = it->second;
            i = n;
            break;
        }
    }
    for (; i < parts.size() && i + 1 != missing; ++i) {
        const std::string_view fold = std::string_view(keys[i + 1]).substr(keys[i].size() + 1);
        const std::int64_t child = FindChild(id, std::string(fold));
        if (cached) store.paths[keys[i + 1]] = child;
        if (child == kNoKey) break;
        id = child;
    }
    if (i == parts.size()) return id;
    if (!create) return kNoKey;
    WriteScope tx;  // from here on a transaction is open, and with it the caches
    for (; i < parts.size(); ++i) {
        if (store.nextKey == 0) {
            Stmt next(kNextKey);
            next.Step();
            store.nextKey = next.Int(0);
        }
        Stmt s(kInsertKey);
        s.Bind(1, id).Bind(2, parts[i]).Bind(3, std::string_view(keys[i + 1]).substr(keys[i].size() + 1)).Bind(4, store.nextKey);
        s.Step();
        id = store.nextKey++;
        store.nextKeyUsed = true;
        store.paths[keys[i + 1]] = id;
        store.nextSeq[id] = 1;  // a new key has no values
    }
    tx.Commit();
    return id;
}

RegValue Lookup(std::int64_t key, std::string_view name) {
    RegValue v;
    if (key == kNoKey) return v;
    Stmt s(kFindValue);
    const std::string fold = CaseFold(name);
    s.Bind(1, key).Bind(2, fold);
    if (!s.Step()) return v;
    v.type = static_cast<RegDataType>(s.Int(0));
    switch (v.type) {
        case RegDataType::DWord: v.number = static_cast<std::int32_t>(s.Int(1)); break;
        case RegDataType::String: v.text = s.Text(1); break;
        default: v.bytes = s.Blob(1); break;
    }
    return v;
}

// The names that query q lists for a key (its subkeys or its values).
std::vector<std::string> Names(std::int64_t key, Query q) {
    std::vector<std::string> out;
    if (key == kNoKey) return out;
    Stmt s(q);
    s.Bind(1, key);
    while (s.Step()) out.push_back(s.Text(0));
    return out;
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
    s.Tx(level_, level_ == 1 && !write ? Store::kOpenRead : Store::kOpen);
    s.depth = level_;
}

RegistryTransaction::~RegistryTransaction() {
    if (done_) return;
    if (t_store) {
        t_store->ClearCaches(level_ > 1);
        try {
            t_store->Tx(level_, Store::kUndo);
        } catch (...) {
            // A rollback that fails leaves nothing to do: SQLite has rolled back already.
        }
        t_store->depth = level_ - 1;
    }
    ++g_generation;
}

void RegistryTransaction::Commit() {
    if (done_) Fail("The registry transaction is already finished");
    Store& s = Db();
    if (s.depth != level_) Fail("A registry transaction is committed before the one inside it");
    if (level_ == 1 && s.nextKeyUsed) {
        Stmt next(kSetNextKey);
        next.Bind(1, s.nextKey);
        next.Step();
    }
    s.Tx(level_, Store::kClose);
    s.depth = level_ - 1;
    if (s.depth == 0) s.ClearCaches();
    done_ = true;
}

// Inside a transaction or another snapshot the view is consistent already.
RegistrySnapshot::RegistrySnapshot() {
    if (Db().depth == 0) tx_.reset(new RegistryTransaction(false));
}

RegistrySnapshot::~RegistrySnapshot() {
    if (!tx_) return;
    try {
        tx_->Commit();
    } catch (...) {
        // Nothing was written; the transaction's destructor ends the read.
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
        keyId_ = Resolve(root_, Split(path_), false);
    }
    return keyId_;
}

std::int64_t TRegistry::Find(const std::string& key, bool canCreate, std::string* path) const {
    const bool absolute = !key.empty() && key[0] == '\\';
    std::vector<std::string_view> parts = absolute ? std::vector<std::string_view>() : Split(path_);
    const auto rel = Split(key);
    parts.insert(parts.end(), rel.begin(), rel.end());
    if (path) *path = Join(std::string(), parts);
    return Resolve(root_, parts, canCreate);
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
    std::string path;
    const std::int64_t id = Find(key, false, &path);
    if (id == kNoKey) return false;
    WriteScope tx;
    {
        Stmt values(kDeleteKeyValues);
        values.Bind(1, id);
        values.Step();
    }
    Stmt keys(kDeleteKey);
    keys.Bind(1, id);
    keys.Step();
    const bool deleted = keys.Changes() > 0;
    tx.Commit();
    Store& store = Db();
    const std::string gone = PathKeys(RootId(root_), Split(path)).back();
    store.Forget(gone);
    if (store.depth > 0) store.paths[gone] = kNoKey;
    return deleted;
}

std::vector<std::string> TRegistry::GetKeyNames() const { return Names(CurrentId(), kSubKeys); }

std::vector<std::string> TRegistry::GetValueNames() const { return Names(CurrentId(), kValueNames); }

bool TRegistry::ValueExists(const std::string& name) const { return GetDataType(name) != RegDataType::None; }

bool TRegistry::DeleteValue(const std::string& name) {
    const std::int64_t id = CurrentId();
    if (id == kNoKey) return false;
    Stmt s(kDeleteValue);
    const std::string fold = CaseFold(name);
    s.Bind(1, id).Bind(2, fold);
    s.Step();
    return s.Changes() > 0;
}

RegDataType TRegistry::GetDataType(const std::string& name) const { return Lookup(CurrentId(), name).type; }

RegValue TRegistry::ReadValue(const std::string& name) const { return Lookup(CurrentId(), name); }

int TRegistry::GetDataSize(const std::string& name) const {
    const RegValue v = Lookup(CurrentId(), name);
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
    const auto failed = [&](const std::string& why) { Fail("Failed to set data for " + Quoted(name) + why); };
    if (id == kNoKey) failed("");
    // Inside a transaction the key's next position is kept, so that a write is one
    // plain insert; outside, one statement checks the key and places the value.
    Store& store = Db();
    std::int64_t seq = 0;
    if (store.depth > 0) {
        auto it = store.nextSeq.find(id);
        if (it == store.nextSeq.end()) {
            Stmt state(kKeyState);
            state.Bind(1, id);
            state.Step();
            if (state.Int(0) == 0) failed(": the key was deleted");
            it = store.nextSeq.emplace(id, state.Int(1) + 1).first;
        }
        seq = it->second++;
    }
    Stmt s(seq ? kUpsertValueAt : kUpsertValue);
    const std::string fold = CaseFold(name);
    s.Bind(1, id).Bind(2, name).Bind(3, fold).Bind(4, static_cast<std::int64_t>(type));
    if (type == RegDataType::DWord)
        s.Bind(5, number);
    else if (type == RegDataType::String)
        s.Bind(5, std::string_view(static_cast<const char*>(data), size));
    else
        s.BindBlob(5, data, size);
    if (seq) s.Bind(6, seq);
    try {
        s.Step();
    } catch (const ERegistryException& e) {
        failed(std::string(": ") + e.what());
    }
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    Put(name, RegDataType::String, 0, value.data(), value.size());
}

std::string TRegistry::ReadString(const std::string& name) const {
    const RegValue v = Lookup(CurrentId(), name);
    if (v.type == RegDataType::None) return {};
    if (v.type != RegDataType::String) Fail("Invalid data type for " + Quoted(name));
    return v.text;
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    Put(name, RegDataType::DWord, value, nullptr, 0);
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
    const RegValue v = Lookup(CurrentId(), name);
    if (v.type == RegDataType::None) Fail("Failed to get data for " + Quoted(name));
    if (v.type != RegDataType::DWord) Fail("Invalid data type for " + Quoted(name));
    return v.number;
}

void TRegistry::WriteBinaryData(const std::string& name, const std::vector<std::uint8_t>& data) {
    Put(name, RegDataType::Binary, 0, data.data(), data.size());
}

std::vector<std::uint8_t> TRegistry::ReadBinaryData(const std::string& name) const {
    RegValue v = Lookup(CurrentId(), name);
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

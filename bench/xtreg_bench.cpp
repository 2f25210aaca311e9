// Saving and loading 10 000 keys of six published properties each (one collection's
// worth: one transaction to save, one snapshot to load), beside a bare SQLite insert
// of the same rows.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

#include "common/xtreg.h"
#include "platform/registry/temp_registry.h"

using namespace tolver;

namespace {

constexpr int kKeys = 10000;

class TRow : public TProperties {
public:
    std::int32_t N = 0;
    std::string Description;
    std::int32_t NDep = 0;
    std::int32_t NTax = 0;
    Currency Price;
    bool Return = false;

    std::unique_ptr<TProperties> Create() const override { return std::make_unique<TRow>(); }
    const PropertyTable& Properties() const override {
        using C = TRow;
        static const PropertyTable table(TProperties::Properties(), {
            Published("N", &C::N),
            Published("Description", &C::Description),
            Published("NDep", &C::NDep),
            Published("NTax", &C::NTax),
            Published("Price", &C::Price),
            Published("Return", &C::Return),
        });
        return table;
    }
};

std::vector<TRow> Rows() {
    std::vector<TRow> rows(kKeys);
    for (int i = 0; i < kKeys; ++i) {
        rows[i].N = i + 1;
        rows[i].Description = "Артикул " + std::to_string(i + 1);
        rows[i].NDep = i % 16 + 1;
        rows[i].NTax = i % 8 + 1;
        rows[i].Price = Currency::FromRaw(12345 + i);
        rows[i].Return = i % 7 == 0;
    }
    return rows;
}

void SaveAll(const std::vector<TRow>& rows) {
    RegistryTransaction tx;
    TRegistry(HKEY_LOCAL_MACHINE).DeleteKey("\\Bench\\ArtList");
    for (const auto& r : rows) SaveObjectToRegistry(r, HKEY_LOCAL_MACHINE, "\\Bench\\ArtList\\" + std::to_string(r.N));
    tx.Commit();
}

void BM_SaveObjects(benchmark::State& state) {
    TempRegistry temp;
    const auto rows = Rows();
    SaveAll(rows);  // the old content a save replaces
    for (auto _ : state) SaveAll(rows);
    state.SetItemsProcessed(state.iterations() * kKeys);
}

void BM_LoadObjects(benchmark::State& state) {
    TempRegistry temp;
    const auto rows = Rows();
    SaveAll(rows);
    std::vector<TRow> back(kKeys);
    for (auto _ : state) {
        RegistrySnapshot snap;
        for (int i = 0; i < kKeys; ++i)
            LoadObjectFromRegistry(back[i], HKEY_LOCAL_MACHINE, "\\Bench\\ArtList\\" + std::to_string(i + 1));
    }
    if (back[kKeys - 1].Description != rows[kKeys - 1].Description) state.SkipWithError("load failed");
    state.SetItemsProcessed(state.iterations() * kKeys);
}

// The same 10 000 key rows and 60 000 value rows straight into a table pair of the
// same shape, with prepared statements in one transaction.
void BM_BareSqliteInsert(benchmark::State& state) {
    TempRegistry temp;
    sqlite3* db = nullptr;
    sqlite3_open(temp.path().c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT, fold TEXT);"
                 "CREATE UNIQUE INDEX k ON keys(parent, fold);"
                 "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER, name TEXT, fold TEXT, type INTEGER, data BLOB);"
                 "CREATE UNIQUE INDEX v ON vals(key, fold);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt *insKey = nullptr, *insVal = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO keys(parent, name, fold) VALUES(1, ?1, ?1)", -1, &insKey, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?2, 4, ?3)", -1, &insVal, nullptr);
    static const char* names[] = {"n", "description", "ndep", "ntax", "price", "return"};
    for (auto _ : state) {
        sqlite3_exec(db, "BEGIN IMMEDIATE; DELETE FROM vals; DELETE FROM keys;", nullptr, nullptr, nullptr);
        for (int i = 0; i < kKeys; ++i) {
            const std::string name = std::to_string(i + 1);
            sqlite3_bind_text(insKey, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insKey);
            sqlite3_reset(insKey);
            const sqlite3_int64 id = sqlite3_last_insert_rowid(db);
            for (const char* v : names) {
                sqlite3_bind_int64(insVal, 1, id);
                sqlite3_bind_text(insVal, 2, v, -1, SQLITE_STATIC);
                sqlite3_bind_int(insVal, 3, i);
                sqlite3_step(insVal);
                sqlite3_reset(insVal);
            }
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_finalize(insKey);
    sqlite3_finalize(insVal);
    sqlite3_close(db);
    state.SetItemsProcessed(state.iterations() * kKeys);
}

}  // namespace

BENCHMARK(BM_SaveObjects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadObjects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareSqliteInsert)->Unit(benchmark::kMillisecond);

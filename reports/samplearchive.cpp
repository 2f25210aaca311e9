#include "reports/samplearchive.h"

#include <sqlite3.h>

#include <algorithm>
#include <random>

#include "platform/base/exception.h"

namespace tolver {

TArchiveWriter::TArchiveWriter(const std::string& fileName) {
    if (sqlite3_open_v2(fileName.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw Exception("Cannot open the archive " + fileName + ": " + why);
    }
    sqlite3_busy_timeout(db_, 5000);
}

TArchiveWriter::~TArchiveWriter() { sqlite3_close(db_); }

void TArchiveWriter::Exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string why = error ? error : "unknown error";
        sqlite3_free(error);
        throw Exception("Archive: " + why);
    }
}

void TArchiveWriter::WriteDay(double day, const std::vector<ArchiveRow>& rows) {
    const std::string name = TPaymentArchive::TableName(day);
    const std::string table = '"' + name + '"';
    const std::string date = name.substr(0, 10);
    Exec("BEGIN");
    try {
        Exec("DROP TABLE IF EXISTS " + table);
        Exec("CREATE TABLE " + table +
             " (Data TEXT, Tim INTEGER, Description TEXT, Info TEXT, PCount REAL, Summa INTEGER, "
             "SummaWithoutNDS INTEGER, NArt INTEGER, NDep INTEGER)");
        sqlite3_stmt* st = nullptr;
        const std::string sql = "INSERT INTO " + table + " VALUES (?,?,?,?,?,?,?,?,?)";
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw Exception(std::string("Archive: ") + sqlite3_errmsg(db_));
        for (const ArchiveRow& r : rows) {
            sqlite3_bind_text(st, 1, date.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 2, r.TimeMs);
            if (r.DescriptionNull)
                sqlite3_bind_null(st, 3);
            else
                sqlite3_bind_text(st, 3, r.Description.c_str(), static_cast<int>(r.Description.size()),
                                  SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 4, r.Info.c_str(), static_cast<int>(r.Info.size()), SQLITE_TRANSIENT);
            sqlite3_bind_double(st, 5, r.Count);
            sqlite3_bind_int64(st, 6, r.Sum.raw());
            sqlite3_bind_int64(st, 7, r.SumWithoutNDS.raw());
            sqlite3_bind_int(st, 8, r.NArt);
            sqlite3_bind_int(st, 9, r.NDep);
            if (sqlite3_step(st) != SQLITE_DONE) {
                const std::string why = sqlite3_errmsg(db_);
                sqlite3_finalize(st);
                throw Exception("Archive: " + why);
            }
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        Exec("CREATE INDEX " + std::string("\"") + TPaymentArchive::TableName(day) + "_Tim\" ON " + table + " (Data, Tim)");
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<ArchiveRow> SampleDay(int payments, std::uint32_t seed) {
    struct Kind {
        const char* name;
        std::int32_t nart, ndep;
        std::int64_t minUnits, maxUnits;  // in kopecks
        bool counted;                     // sold by count (goods)
    };
    static const Kind kinds[] = {
        {"Коммунальные платежи", 0, 1, 5000, 250000, false},
        {"Электроэнергия", 0, 2, 3000, 120000, false},
        {"Газ", 0, 3, 2000, 90000, false},
        {"Мобильная связь", 0, 4, 1000, 50000, false},
        {"Интернет", 0, 5, 8000, 30000, false},
        {"Штрафы ГИБДД", 0, 6, 50000, 500000, false},
        {"Конверт", 1, 7, 300, 300, true},
        {"Марка почтовая", 2, 7, 1500, 1500, true},
        {"Открытка", 3, 7, 4500, 4500, true},
        {"Газета", 12, 8, 2500, 2500, true},
        {"Бандероль до 1 кг", 105, 9, 18000, 18000, true},
    };
    std::mt19937 rng(seed);
    auto pick = [&](std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
    };
    std::vector<ArchiveRow> rows;
    rows.reserve(static_cast<std::size_t>(payments) + 8);
    const std::int32_t open = 8 * 3600000, close = 20 * 3600000;
    // Opening balance: the first uncoded row of the day.
    rows.push_back({open, "Внесение", false, "Остаток на начало дня", 1,
                    Currency::FromRaw(pick(500, 3000) * 100 * 100), Currency(), 0, 0});
    for (int i = 0; i < payments; ++i) {
        const Kind& k = kinds[pick(0, std::size(kinds) - 1)];
        ArchiveRow r;
        r.TimeMs = static_cast<std::int32_t>(open + 60000 + (static_cast<std::int64_t>(close - open - 120000) * i) /
                                                                std::max(payments, 1));
        r.Description = k.name;
        r.NArt = k.nart;
        r.NDep = k.ndep;
        if (k.counted) {
            r.Count = static_cast<double>(pick(1, 5));
            r.Sum = Currency::FromRaw(k.minUnits * 100 * static_cast<std::int64_t>(r.Count));
        } else {
            r.Count = 1;
            r.Info = "л/с " + std::to_string(pick(100000, 999999));
            r.Sum = Currency::FromRaw(pick(k.minUnits, k.maxUnits) * 100);
        }
        r.SumWithoutNDS = Currency::FromRaw(r.Sum.raw() * 5 / 6);
        rows.push_back(std::move(r));
    }
    // Service movements during the day: a deposit of change and a collection.
    rows.push_back({13 * 3600000, "Внесение", false, "Размен", 1, Currency::FromRaw(pick(10, 50) * 100 * 10000),
                    Currency(), 0, 0});
    rows.push_back({15 * 3600000, "Инкассация", false, "", 1, Currency::FromRaw(-pick(100, 400) * 100 * 10000),
                    Currency(), -1, -1});
    rows.push_back({close - 30000, "Инкассация", false, "Сдано в банк", 1,
                    Currency::FromRaw(-pick(500, 2000) * 100 * 10000), Currency(), 0, 0});
    std::stable_sort(rows.begin(), rows.end(), [](const ArchiveRow& a, const ArchiveRow& b) { return a.TimeMs < b.TimeMs; });
    return rows;
}

}  // namespace tolver

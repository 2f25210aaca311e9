#include "reports/paymentarchive.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/base/textcase.h"

namespace tolver {

const std::string& TFoldCache::Fold(const std::string& name) {
    auto it = folded_.find(name);
    if (it != folded_.end()) return it->second;
    if (folded_.size() >= 4096) folded_.clear();
    return folded_.emplace(name, CaseFold(name)).first->second;
}

namespace {

// tolver_fold(text): the text without trailing blanks, case-folded.
void FoldFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!p) {
        sqlite3_result_null(ctx);
        return;
    }
    std::string text(p, static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    try {
        const std::string& folded = static_cast<TFoldCache*>(sqlite3_user_data(ctx))->Fold(text);
        sqlite3_result_text(ctx, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
    } catch (...) {
        sqlite3_result_error_nomem(ctx);
    }
}

}  // namespace

bool TPaymentArchive::Open(const std::string& fileName, std::string* why) {
    Close();
    if (fileName.empty()) {
        if (why) *why = "no file is named";
        return false;
    }
    sqlite3* db = nullptr;
    const bool opened =
        sqlite3_open_v2(fileName.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) == SQLITE_OK;
    if (opened) sqlite3_busy_timeout(db, 2000);
    // Reading its schema tells a database from any other file.
    if (!opened || sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        if (why) *why = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return false;
    }
    auto fold = std::make_unique<TFoldCache>();
    if (sqlite3_create_function_v2(db, "tolver_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, fold.get(),
                                   &FoldFunction, nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    db_ = db;
    fold_ = std::move(fold);
    return true;
}

void TPaymentArchive::Close() {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    fold_.reset();
}

std::string TPaymentArchive::TableName(double day) {
    int y = 1899, m = 12, d = 30;
    if (std::isfinite(day) && day > -693594 && day < 2958466) DecodeDate(day, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d_Vora", y, m, d);
    return buf;
}

std::int32_t TPaymentArchive::TimeMs(double timeOfDay) {
    if (!(timeOfDay > 0)) return 0;
    const double ms = std::round(timeOfDay * 86400000.0);
    return ms >= 86400000.0 ? 86399999 : static_cast<std::int32_t>(ms);
}

namespace {

struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

bool ReadInt32(sqlite3_stmt* s, int col, std::int32_t& out) {
    switch (sqlite3_column_type(s, col)) {
    case SQLITE_NULL:
        out = 0;
        return true;
    case SQLITE_INTEGER: {
        const sqlite3_int64 v = sqlite3_column_int64(s, col);
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
        out = static_cast<std::int32_t>(v);
        return true;
    }
    default:
        return false;
    }
}

// Into out, whose room is kept from row to row.
void ReadText(sqlite3_stmt* s, int col, std::string& out) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
    if (p)
        out.assign(p, static_cast<std::size_t>(sqlite3_column_bytes(s, col)));
    else
        out.clear();
}

}  // namespace

bool TPaymentArchive::ReadDay(double day, double timeFrom, double timeTo, Order order,
                              const std::function<bool(const PaymentRow&)>& each,
                              const std::vector<std::string>* names) const {
    if (!db_) return false;
    if (names && names->size() > kMaxBoundNames) names = nullptr;
    std::string sql = "SELECT Description, Info, PCount, Summa, NArt, NDep, Tim FROM \"" + TableName(day) +
                      "\" WHERE Tim>=?1 AND Tim<=?2";
    if (names) {
        sql += " AND tolver_fold(Description) IN (";
        for (std::size_t i = 0; i < names->size(); ++i) sql += i ? ",?" : "?";
        sql += ")";
    }
    sql += order == Order::ByTime ? " ORDER BY Data, Tim" : " ORDER BY NArt, NDep, Description, Data, Tim";
    Statement st;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st.s, nullptr) != SQLITE_OK) return false;
    sqlite3_bind_int(st.s, 1, TimeMs(timeFrom));
    sqlite3_bind_int(st.s, 2, TimeMs(timeTo));
    for (std::size_t i = 0; names && i < names->size(); ++i)
        sqlite3_bind_text(st.s, static_cast<int>(i + 3), (*names)[i].data(), static_cast<int>((*names)[i].size()),
                          SQLITE_STATIC);
    PaymentRow row;
    for (;;) {
        const int rc = sqlite3_step(st.s);
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_ROW) return false;
        row.DescriptionNull = sqlite3_column_type(st.s, 0) == SQLITE_NULL;
        ReadText(st.s, 0, row.Description);
        ReadText(st.s, 1, row.Info);
        switch (sqlite3_column_type(st.s, 2)) {
        case SQLITE_NULL: row.Count = 0; break;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: row.Count = sqlite3_column_double(st.s, 2); break;
        default: return false;
        }
        if (!std::isfinite(row.Count)) return false;
        switch (sqlite3_column_type(st.s, 3)) {
        case SQLITE_NULL: row.Sum = Currency(); break;
        case SQLITE_INTEGER: row.Sum = Currency::FromRaw(sqlite3_column_int64(st.s, 3)); break;
        default: return false;
        }
        if (!ReadInt32(st.s, 4, row.NArt) || !ReadInt32(st.s, 5, row.NDep) || !ReadInt32(st.s, 6, row.TimeMs))
            return false;
        if (!each(row)) return true;
    }
}

}  // namespace tolver

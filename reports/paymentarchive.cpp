#include "reports/paymentarchive.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <thread>
#include <unordered_set>

#include "platform/base/textcase.h"
#include "reports/reportformat.h"

namespace tolver {

namespace {

using Clock = std::chrono::steady_clock;

// Control characters (and DEL) as blanks: a text of a row never starts a line, a rule
// or a column of the report of its own.
void BlankControls(std::string& text) {
    // Every byte stored again, so that the loop runs over many bytes at a time.
    for (char& c : text) c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? ' ' : c;
}

}  // namespace

EArchiveRead::EArchiveRead(double day, const std::string& what)
    : Exception("the day " + report::DateText(day) + " (table " + TPaymentArchive::TableName(day) +
                ") could not be read whole: " + what),
      day_(day) {}

const std::string& TFoldCache::Fold(const std::string& name) {
    auto it = folded_.find(name);
    if (it != folded_.end()) return it->second;
    if (folded_.size() >= 4096) folded_.clear();
    return folded_.emplace(name, CaseFold(name)).first->second;
}

namespace {

// The payment names a reading keeps, and what each name as read was found to be.
struct Chosen {
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    std::unordered_set<std::string> names;  // without trailing blanks, case-folded
    std::unordered_map<std::string, bool, Hash, std::equal_to<>> seen;

    bool Keeps(std::string_view raw) {
        const auto it = seen.find(raw);
        if (it != seen.end()) return it->second;
        std::string text(raw);
        BlankControls(text);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        const bool keeps = names.count(CaseFold(text)) > 0;
        if (seen.size() >= 4096) seen.clear();
        seen.emplace(std::string(raw), keeps);
        return keeps;
    }
};

// tolver_chosen(text): 1 when the text, its control characters as blanks and without
// trailing blanks, case-folded, is one of the chosen names; NULL is none.
void ChosenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!p) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    try {
        const std::string_view raw(p, static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
        sqlite3_result_int(ctx, static_cast<Chosen*>(sqlite3_user_data(ctx))->Keeps(raw) ? 1 : 0);
    } catch (...) {
        sqlite3_result_error_nomem(ctx);
    }
}

}  // namespace

bool TPaymentArchive::Open(const std::string& fileName, std::string* why) {
    Close();
    auto refuse = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (fileName.empty()) return refuse("no file is named");
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return refuse("it is a folder, not a SQLite database");
        if (S_ISREG(st.st_mode) && st.st_size == 0) return refuse("the file is empty, not a SQLite database");
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(fileName.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const std::string reason = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return refuse(reason);
    }
    // The file's own header tells a database from any other file without a lock:
    // reading its schema would wait for a writer.
    {
        char head[16] = {};
        std::ifstream in(fileName, std::ios::binary);
        if (!in.read(head, sizeof head) ||
            std::string_view(head, sizeof head) != std::string_view("SQLite format 3", 16)) {
            sqlite3_close(db);
            return refuse("file is not a database");
        }
    }
    auto chosen = std::make_unique<Chosen>();
    if (sqlite3_create_function_v2(db, "tolver_chosen", 1, SQLITE_UTF8, chosen.get(), &ChosenFunction, nullptr,
                                   nullptr, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return refuse("out of memory");
    }
    sqlite3_busy_handler(db, &TPaymentArchive::OnBusy, this);
    sqlite3_progress_handler(db, 1000, &TPaymentArchive::OnProgress, this);
    db_ = db;
    fileName_ = fileName;
    chosen_ = std::shared_ptr<void>(chosen.release(), [](void* c) { delete static_cast<Chosen*>(c); });
    return true;
}

void TPaymentArchive::Close() {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    smallCache_ = false;
    chosen_.reset();
    fileName_.clear();
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

void TPaymentArchive::BeginRead() {
    if (db_ && sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
}

void TPaymentArchive::EndRead() noexcept {
    if (db_ && !sqlite3_get_autocommit(db_) && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool TPaymentArchive::Ask() {
    lastAsk_ = Clock::now();
    rowsSinceAsk_ = 0;
    // The part read only grows: a day read again shows no progress until it passes
    // where the first reading stopped.
    if (latestTime_ > std::numeric_limits<std::int32_t>::min() && readTo_ > readFrom_)
        partRead_ = std::max(partRead_, std::clamp(static_cast<double>(latestTime_ - readFrom_) / (readTo_ - readFrom_),
                                                   0.0, 1.0));
    if (watch_ && !watch_(partRead_)) stopped_ = true;
    return !stopped_;
}

int TPaymentArchive::OnBusy(void* self, int count) {
    auto& a = *static_cast<TPaymentArchive*>(self);
    const auto now = Clock::now();
    if (count == 0) a.waitStart_ = now;
    if (now - a.waitStart_ >= a.WriterWait) {
        a.lockedOut_ = true;
        return 0;
    }
    // While a writer is waited for, the watch is asked as during a reading, so that
    // a stop is answered at once.
    if (a.reading_ && now - a.lastAsk_ >= a.AskEvery && !a.Ask()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(count < 4 ? 1 << count : 10));
    return 1;
}

int TPaymentArchive::OnProgress(void* self) {
    auto& a = *static_cast<TPaymentArchive*>(self);
    if (!a.reading_) return 0;
    const auto since = Clock::now() - a.lastAsk_;
    // Every tenth of a second once rows come, every second while none do (a sort).
    if (since < a.AskEvery || (a.rowsSinceAsk_ < 1024 && since < 10 * a.AskEvery)) return 0;
    return a.Ask() ? 0 : 1;
}

namespace {

std::string LockedText(std::chrono::milliseconds wait) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "another program held the archive locked for longer than %g s",
                  static_cast<double>(wait.count()) / 1000);
    return buf;
}

}  // namespace

void TPaymentArchive::Failed(double day, int rc) const {
    if (rc == SQLITE_BUSY || lockedOut_) throw EArchiveRead(day, LockedText(WriterWait));
    throw EArchiveRead(day, sqlite3_errmsg(db_));
}

// The state of a reading under way, for the busy and progress handlers.
class TPaymentArchive::Reading {
public:
    explicit Reading(TPaymentArchive& archive) : a_(archive) {
        a_.reading_ = true;
        a_.stopped_ = a_.lockedOut_ = false;
        a_.partRead_ = 0;
        a_.latestTime_ = std::numeric_limits<std::int32_t>::min();
        a_.readFrom_ = a_.readTo_ = 0;
        a_.rowsSinceAsk_ = 0;
        a_.lastAsk_ = Clock::now();
    }
    ~Reading() { a_.reading_ = false; }

private:
    TPaymentArchive& a_;
};

bool TPaymentArchive::CheckTables(std::string& why) {
    if (!db_) {
        why = "no archive is open";
        return false;
    }
    Reading reading(*this);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT name FROM sqlite_master WHERE type IN ('table','view')", -1, &st,
                                nullptr);
    bool found = false;
    while (rc == SQLITE_OK) {
        const int step = sqlite3_step(st);
        if (step != SQLITE_ROW) {
            rc = step == SQLITE_DONE ? SQLITE_OK : step;
            break;
        }
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        const std::string name = p ? p : "";
        // yyyy-mm-dd_Vora, whatever the case of its letters.
        bool day = name.size() == 15 && name[4] == '-' && name[7] == '-' && name[10] == '_' &&
                   CaseFold(name.substr(11)) == "vora";
        for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) day = day && name[i] >= '0' && name[i] <= '9';
        if (day) {
            found = true;
            break;
        }
    }
    if (rc != SQLITE_OK && stopped_) rc = SQLITE_INTERRUPT;
    if (rc != SQLITE_OK) {
        why = rc == SQLITE_INTERRUPT ? "stopped while waiting for another program's lock" : rc == SQLITE_BUSY || lockedOut_ ? LockedText(WriterWait) : std::string(sqlite3_errmsg(db_));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_OK) return false;
    if (!found) why = "it holds no payment table (no table named yyyy-mm-dd_Vora)";
    return found;
}

namespace {

struct Statement {
    sqlite3_stmt* s = nullptr;
    ~Statement() { sqlite3_finalize(s); }
};

std::string TimeText(std::int32_t ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
    return buf;
}

// What a value of the wrong kind is, for the message that names it.
std::string Kind(sqlite3_stmt* s, int col) {
    switch (sqlite3_column_type(s, col)) {
    case SQLITE_INTEGER: return "the integer " + std::to_string(sqlite3_column_int64(s, col));
    case SQLITE_FLOAT: {
        const double v = sqlite3_column_double(s, col);
        if (!std::isfinite(v)) return "an infinite value";
        char buf[64];
        std::snprintf(buf, sizeof buf, "the fraction %.17g", v);
        return buf;
    }
    case SQLITE_TEXT: {
        std::string text(reinterpret_cast<const char*>(sqlite3_column_text(s, col)),
                         static_cast<std::size_t>(sqlite3_column_bytes(s, col)));
        if (text.size() > 40) text = text.substr(0, 40) + "...";
        BlankControls(text);
        return "the text '" + text + "'";
    }
    default: return "a binary value";
    }
}

}  // namespace

TPaymentArchive::DayRead TPaymentArchive::ReadDay(double day, double timeFrom, double timeTo, unsigned columns,
                                                  const std::function<bool(const PaymentRow&)>& each,
                                                  const std::vector<std::string>* names,
                                                  const std::function<void()>& restart) {
    DayRead result;
    if (!db_) return result;
    Reading reading(*this);
    const std::string table = TableName(day);
    // A day is read once from end to end: a small page cache serves it as well as a
    // large one, and the memory stays with the report's text. (Set once the archive's
    // schema can be read, which may wait for a writer.)
    if (!smallCache_) smallCache_ = sqlite3_exec(db_, "PRAGMA cache_size=-128", nullptr, nullptr, nullptr) == SQLITE_OK;

    // The columns the table has: a missing table is a day without payments, a
    // missing column leaves the day out.
    static const struct {
        unsigned bit;
        const char* name;
    } kColumns[] = {{kColData, "Data"},
                    {kColTim, "Tim"},
                    {kColDescription, "Description"},
                    {kColInfo, "Info"},
                    {kColPCount, "PCount"},
                    {kColSumma, "Summa"},
                    {kColSummaWithoutNDS, "SummaWithoutNDS"},
                    {kColNArt, "NArt"},
                    {kColNDep, "NDep"}};
    unsigned present = 0;
    {
        Statement info;
        int rc = sqlite3_prepare_v2(db_, "SELECT name FROM pragma_table_info(?1)", -1, &info.s, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(info.s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
            while ((rc = sqlite3_step(info.s)) == SQLITE_ROW) {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(info.s, 0));
                const std::string name = p ? CaseFold(p) : std::string();
                for (const auto& c : kColumns)
                    if (name == CaseFold(c.name)) present |= c.bit;
            }
        }
        if (rc != SQLITE_DONE) {
            if (stopped_) return {DayRead::Stopped, {}};
            Failed(day, rc);
        }
    }
    if (present == 0) return {DayRead::NoTable, {}};
    for (const auto& c : kColumns)
        if ((columns & c.bit) && !(present & c.bit)) return {DayRead::MissingColumn, c.name};

    // The columns the reader does not name are not read (NULL in their place).
    auto col = [&](unsigned bit, const char* name) { return std::string(columns & bit ? name : "NULL"); };
    const std::string select = "SELECT " + col(kColDescription, "Description") + ", " + col(kColInfo, "Info") + ", " +
                               col(kColPCount, "PCount") + ", " + col(kColSumma, "Summa") + ", " +
                               col(kColSummaWithoutNDS, "SummaWithoutNDS") + ", " + col(kColNArt, "NArt") + ", " +
                               col(kColNDep, "NDep") + ", Tim, Data FROM \"" + table + "\"";
    // The query's order takes the rows of the range; a time that is not a number may
    // belong to it: it is read (and refused) rather than passed over. The stored
    // pass takes the range itself (an integer time in it, no NULL), and reads any
    // other time again in the query's order.
    const std::string chosenOnly = names ? "tolver_chosen(Description)" : "";
    const std::string ordered =
        select + " WHERE (Tim>=?1 AND Tim<=?2 OR typeof(Tim) NOT IN ('integer','real','null'))" +
        (names ? " AND " + chosenOnly : "") + " ORDER BY Data, Tim";
    const std::string storedSql = names ? select + " WHERE " + chosenOnly : select;
    if (names) {
        auto& chosen = *static_cast<Chosen*>(chosen_.get());
        chosen.names = std::unordered_set<std::string>(names->begin(), names->end());
        chosen.seen.clear();
    }
    const std::int32_t from = TimeMs(timeFrom), to = TimeMs(timeTo);
    readFrom_ = from;
    readTo_ = to;

    // A day is read in the order in which its rows are stored, which is time order
    // when the point-of-sale program wrote them as they came, without the index's
    // lookup of every row. That order is checked as the rows come: a row that does
    // not come strictly after the one before by day and time (or of another day
    // text), a value of the wrong kind, a failure of the file or of the reader, and
    // the day is read again in the query's order, the reader first told to forget
    // the day's rows (restart). Without a restart the query's order is read at once.
    enum class Pass { Done, Stopped, Again };
    PaymentRow row;
    std::int64_t n = 0;
    auto pass = [&](bool stored) -> Pass {
        const std::string& sql = stored ? storedSql : ordered;
        Statement st;
        const int prepared = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &st.s, nullptr);
        if (prepared != SQLITE_OK) {
            if (stopped_) return Pass::Stopped;
            Failed(day, prepared);
        }
        if (!stored) {
            sqlite3_bind_int(st.s, 1, from);
            sqlite3_bind_int(st.s, 2, to);
        }
        n = 0;
        bool handed = false;
        // The stored pass: the day text of its first row and the time of the last.
        std::string dayText;
        bool dayNull = false;
        std::int32_t lastTime = 0;
        sqlite3_value* v[9] = {};
        int types[9] = {SQLITE_NULL, SQLITE_NULL, SQLITE_NULL, SQLITE_NULL, SQLITE_NULL,
                        SQLITE_NULL, SQLITE_NULL, SQLITE_NULL, SQLITE_NULL};
        // The places of the query that this pass reads: those the reader names, Tim,
        // and Data for the order of the stored pass.
        static const unsigned kPlaces[7] = {kColDescription, kColInfo, kColPCount, kColSumma, kColSummaWithoutNDS,
                                            kColNArt, kColNDep};
        unsigned read = 1u << 7 | (stored ? 1u << 8 : 0);
        for (int c = 0; c < 7; ++c)
            if (columns & kPlaces[c]) read |= 1u << c;
        struct Wrong {};
        auto wrong = [&](int c, const char* name, const char* wanted) {
            if (stored) throw Wrong{};
            throw EArchiveRead(day, std::string(name) + " holds " + Kind(st.s, c) + " where " + wanted + " belongs (" +
                                        (c == 7 ? "row " + std::to_string(n) + " of the day"
                                                : "the row of " + TimeText(row.TimeMs)) +
                                        ")");
        };
        auto int32 = [&](int c, const char* name, std::int32_t& out) {
            switch (types[c]) {
            case SQLITE_NULL: out = 0; return;
            case SQLITE_INTEGER: {
                const sqlite3_int64 x = sqlite3_value_int64(v[c]);
                if (x >= std::numeric_limits<std::int32_t>::min() && x <= std::numeric_limits<std::int32_t>::max()) {
                    out = static_cast<std::int32_t>(x);
                    return;
                }
                wrong(c, name, "a 32-bit integer");
                return;
            }
            default: wrong(c, name, "an integer"); return;
            }
        };
        auto money = [&](int c, const char* name, Currency& out) {
            switch (types[c]) {
            case SQLITE_NULL: out = Currency(); return;
            case SQLITE_INTEGER: out = Currency::FromRaw(sqlite3_value_int64(v[c])); return;
            default: wrong(c, name, "an amount in ten-thousandths");
            }
        };
        // Into out, whose room is kept from row to row.
        auto text = [&](int c, std::string& out) {
            if (types[c] == SQLITE_NULL) {
                out.clear();
                return;
            }
            const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v[c]));
            out.assign(p ? p : "", p ? static_cast<std::size_t>(sqlite3_value_bytes(v[c])) : 0);
            BlankControls(out);
        };
        try {
            for (;;) {
                const int rc = sqlite3_step(st.s);
                if (rc == SQLITE_DONE) return Pass::Done;
                if (rc != SQLITE_ROW) {
                    if (stopped_) return Pass::Stopped;
                    if (stored && rc != SQLITE_BUSY && !lockedOut_) throw Wrong{};
                    Failed(day, rc);
                }
                ++n;
                // Each column's value once, of those the pass reads; the others are NULL.
                for (int c = 0; c < 9; ++c) {
                    if (read & (1u << c)) {
                        v[c] = sqlite3_column_value(st.s, c);
                        types[c] = sqlite3_value_type(v[c]);
                    }
                }
                if (stored) {
                    if (types[7] == SQLITE_NULL) continue;
                    if (types[7] != SQLITE_INTEGER) throw Wrong{};
                    const sqlite3_int64 time = sqlite3_value_int64(v[7]);
                    if (time < from || time > to) continue;
                }
                row.TimeMs = 0;
                int32(7, "Tim", row.TimeMs);
                if (stored) {
                    // Strictly after the row before, on the same day text.
                    const char* p = types[8] == SQLITE_NULL ? nullptr
                                                            : reinterpret_cast<const char*>(sqlite3_value_text(v[8]));
                    if (types[8] != SQLITE_NULL && types[8] != SQLITE_TEXT) throw Wrong{};
                    const std::string_view data(p ? p : "", p ? static_cast<std::size_t>(sqlite3_value_bytes(v[8])) : 0);
                    if (n == 1) {
                        dayNull = !p;
                        dayText.assign(data);
                    } else if (row.TimeMs <= lastTime || dayNull != !p || data != dayText) {
                        throw Wrong{};
                    }
                    lastTime = row.TimeMs;
                }
                row.DescriptionNull = types[0] == SQLITE_NULL;
                text(0, row.Description);
                text(1, row.Info);
                switch (types[2]) {
                case SQLITE_NULL: row.Count = 0; break;
                case SQLITE_INTEGER:
                case SQLITE_FLOAT: row.Count = sqlite3_value_double(v[2]); break;
                default: wrong(2, "PCount", "a number");
                }
                if (!std::isfinite(row.Count)) wrong(2, "PCount", "a number");
                money(3, "Summa", row.Sum);
                Currency withoutTax;
                money(4, "SummaWithoutNDS", withoutTax);
                int32(5, "NArt", row.NArt);
                int32(6, "NDep", row.NDep);
                row.NArtNull = types[5] == SQLITE_NULL;
                row.NDepNull = types[6] == SQLITE_NULL;
                // The part of the day read, worked out when the watch is asked.
                latestTime_ = std::max(latestTime_, row.TimeMs);
                ++rowsSinceAsk_;
                handed = true;
                if (!stored) {
                    if (!each(row)) return Pass::Done;
                    continue;
                }
                // What the reader raises is raised again by the query's order, where
                // the rows come in the order whose sums it refused.
                try {
                    if (!each(row)) return Pass::Done;
                } catch (...) {
                    throw Wrong{};
                }
            }
        } catch (const Wrong&) {
            if (handed) restart();
            return Pass::Again;
        }
    };
    Pass done = restart ? pass(true) : Pass::Again;
    if (done == Pass::Again) done = pass(false);
    if (done == Pass::Stopped) return {DayRead::Stopped, {}};
    return result;
}

}  // namespace tolver

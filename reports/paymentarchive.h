#pragma once
// The payment archive: a SQLite file with one table per day, named by the day as
// "yyyy-mm-dd_Vora" (2003-02-01_Vora), whose rows the point-of-sale host writes:
//
//   Data             TEXT     the day, "yyyy-mm-dd"
//   Tim              INTEGER  the time of day in milliseconds since midnight
//   Description      TEXT     the payment name (may carry trailing blanks; NULL rows
//                             are not payments)
//   Info             TEXT     free information
//   PCount           REAL     the count
//   Summa            INTEGER  the amount in ten-thousandths (fixed point)
//   SummaWithoutNDS  INTEGER  the amount without tax, the same way
//   NArt, NDep       INTEGER  the article and department numbers (0 or -1: none)
//
// Times are compared as values; every value is bound, the table name is quoted.
// A NULL reads as 0 (or an empty text) and a missing table as a day without payments;
// any other value that is not of its column's kind, a damaged file or a lock that
// outlasts the wait for a writer makes the day unreadable (EArchiveRead).

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/exception.h"
#include "platform/variant/variant.h"

struct sqlite3;

namespace tolver {

struct PaymentRow {
    bool DescriptionNull = false;
    bool NArtNull = false, NDepNull = false;  // NArt, NDep then read as 0
    std::string Description;  // as stored, control characters as blanks
    std::string Info;         // the same; empty for NULL
    double Count = 0;
    Currency Sum;
    std::int32_t NArt = 0;
    std::int32_t NDep = 0;
    std::int32_t TimeMs = 0;  // milliseconds since midnight
};

// The columns a reader names; a day whose table lacks one of them is left out.
enum PaymentColumn : unsigned {
    kColData = 1u << 0,
    kColTim = 1u << 1,
    kColDescription = 1u << 2,
    kColInfo = 1u << 3,
    kColPCount = 1u << 4,
    kColSumma = 1u << 5,
    kColSummaWithoutNDS = 1u << 6,
    kColNArt = 1u << 7,
    kColNDep = 1u << 8,
    kColAll = (1u << 9) - 1,
};

// A day of the archive that could not be read whole: the report is not built.
class EArchiveRead : public Exception {
public:
    // what: what could not be read; the message names the day and its table too.
    EArchiveRead(double day, const std::string& what);
    double Day() const { return day_; }

private:
    double day_;
};

// The case-folded forms of the few names that a day table repeats, so that each is
// folded once; it forgets them all when it holds too many.
class TFoldCache {
public:
    const std::string& Fold(const std::string& name);

private:
    std::unordered_map<std::string, std::string> folded_;
};

class TPaymentArchive {
public:
    // How the reading of a day ended (a failure raises EArchiveRead).
    struct DayRead {
        enum Kind { Read, NoTable, MissingColumn, Stopped } kind = Read;
        std::string column;  // MissingColumn: the first column it lacks
    };

    // Opens the file read-only; false (no archive) when no file is named, it is a
    // folder, empty, cannot be opened or is not a SQLite database, with the reason in
    // why when given. It takes no lock: a writer at work does not make it fail.
    bool Open(const std::string& fileName, std::string* why = nullptr);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    const std::string& FileName() const { return fileName_; }

    TPaymentArchive() = default;
    TPaymentArchive(const TPaymentArchive&) = delete;
    TPaymentArchive& operator=(const TPaymentArchive&) = delete;
    ~TPaymentArchive() { Close(); }

    // The table of a day: "2003-02-01_Vora".
    static std::string TableName(double day);
    // A time of day as the table holds it; the end of the day (1.0) is its last
    // millisecond.
    static std::int32_t TimeMs(double timeOfDay);

    // Every day read between BeginRead and EndRead sees one state of the archive (one
    // read transaction); a writer at work is waited for.
    void BeginRead();
    void EndRead() noexcept;

    // Asked about every tenth of a second while a day is read or a writer is waited
    // for, with the part of the day's time range read so far; false stops the reading
    // (the day then ends as Stopped).
    using Watch = std::function<bool(double partRead)>;
    void SetWatch(Watch watch) { watch_ = std::move(watch); }
    // How long a writer's lock is waited for before the day counts as unreadable, and
    // how often the watch is asked.
    std::chrono::milliseconds WriterWait{30000};
    std::chrono::milliseconds AskEvery{100};

    // Whether the archive holds at least one day table; false with the reason (no
    // payment table, a damaged file, a lock that outlasts the wait).
    bool CheckTables(std::string& why);

    // Hands each row of the day's table with a time from timeFrom to timeTo (times of
    // day, inclusive) to each, in time order; each answers false to stop. A
    // missing table or a table without one of the columns gives no rows; a value of
    // the wrong kind, a damaged file or a lock that outlasts the wait raises
    // EArchiveRead (the rows handed out before stay handed out).
    // names, when given: only the rows whose payment name without trailing blanks,
    // case-folded, is one of them (already folded).
    // restart, when given, lets the rows be read in the order they are stored while
    // that is time order: it is called when the day is to be read again from its
    // start, and each is then to forget the day's rows handed out before.
    DayRead ReadDay(double day, double timeFrom, double timeTo, unsigned columns,
                    const std::function<bool(const PaymentRow&)>& each,
                    const std::vector<std::string>* names = nullptr,
                    const std::function<void()>& restart = nullptr);

private:
    class Reading;
    static int OnBusy(void* self, int count);
    static int OnProgress(void* self);
    // Asks the watch; false when it said stop.
    bool Ask();
    // Raises EArchiveRead for a failed step or preparation of the day's reading.
    [[noreturn]] void Failed(double day, int rc) const;

    sqlite3* db_ = nullptr;
    bool smallCache_ = false;  // the page cache made small for reading days
    std::string fileName_;
    std::shared_ptr<void> chosen_;  // the names a reading keeps, for its query's function
    Watch watch_;
    // The state of the reading under way.
    bool reading_ = false;
    bool stopped_ = false;
    bool lockedOut_ = false;
    double partRead_ = 0;
    // The latest time of a row handed out (the least int32 before the first), and the
    // range of the day being read.
    std::int32_t latestTime_ = 0;
    std::int32_t readFrom_ = 0, readTo_ = 0;
    std::int64_t rowsSinceAsk_ = 0;
    std::chrono::steady_clock::time_point lastAsk_{};
    std::chrono::steady_clock::time_point waitStart_{};
};

}  // namespace tolver

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

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/variant/variant.h"

struct sqlite3;

namespace tolver {

struct PaymentRow {
    bool DescriptionNull = false;
    std::string Description;  // as stored
    std::string Info;         // as stored; empty for NULL
    double Count = 0;
    Currency Sum;
    std::int32_t NArt = 0;
    std::int32_t NDep = 0;
    std::int32_t TimeMs = 0;  // milliseconds since midnight
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
    enum class Order { ByTime, ByArticle };

    // Opens the file read-only; false (no archive) when it is empty, cannot be opened
    // or is not a SQLite database, with the reason in why when given.
    bool Open(const std::string& fileName, std::string* why = nullptr);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }

    TPaymentArchive() = default;
    TPaymentArchive(const TPaymentArchive&) = delete;
    TPaymentArchive& operator=(const TPaymentArchive&) = delete;
    ~TPaymentArchive() { Close(); }

    // The table of a day: "2003-02-01_Vora".
    static std::string TableName(double day);
    // A time of day as the table holds it; the end of the day (1.0) is its last
    // millisecond.
    static std::int32_t TimeMs(double timeOfDay);

    // Hands each row of the day's table with a time from timeFrom to timeTo (times of
    // day, inclusive) to each, in the given order; each answers false to stop. False
    // when the table is missing, the query fails or a row holds a value of the wrong
    // kind; the rows handed out before stay handed out.
    // names, when given: only the rows whose payment name without trailing blanks,
    // case-folded, is one of them (already folded); more than a query can bind are
    // left to the caller to sort out.
    bool ReadDay(double day, double timeFrom, double timeTo, Order order,
                 const std::function<bool(const PaymentRow&)>& each,
                 const std::vector<std::string>* names = nullptr) const;

    static constexpr std::size_t kMaxBoundNames = 500;

private:
    sqlite3* db_ = nullptr;
    std::unique_ptr<TFoldCache> fold_;
};

}  // namespace tolver

#pragma once
// The cash statement (in Ukrainian): the coded operations of a period, a shift or an
// operator's shifts summed per article or department, the uncoded rows split into an
// opening balance and service deposits and withdrawals, and the balance. The shift
// statement ends with the head cashier's receipt. Every service movement after the
// opening balance leaves one line in the debug log.

#include <string>
#include <unordered_map>
#include <vector>

#include "reports/report.h"

namespace tolver {

inline constexpr GUID CLSID_MerrowReport = MakeGUID("{985D1EAF-A58F-4395-8D1B-99F1388D6804}");
const ComClass& MerrowReportClass();

// One summed operation.
struct TCashPay {
    std::string Key;
    double Count = 0;
    Currency Sum;
    std::int32_t NArt = 0;
    std::int32_t NDep = 0;
};

// Rows without an article (NArt below 1) first, by department; then by article.
bool CashRowLess(const TCashPay& a, const TCashPay& b);

class TPostCashReport final : public TReport {
public:
    TPostCashReport();

    bool OpeningSeen = false;
    Currency Opening;
    Currency Deposits;
    Currency Withdrawals;

    void ReadDayFlat(double Day, double TimeFrom, double TimeTo) override;
    void BuildPeriodBody(double DateFrom, double DateTo, std::string& Body) override;
    void BuildOperatorBody(const THostOperator& Operator, std::string& Body) override;
    std::string PeriodReport(double DateFrom, double DateTo, const std::string& Title) override;
    std::string ShiftReport(const THostShift* Shift, const std::string& Title) override;
    std::string OperatorReport(double DateFrom, double DateTo, const THostOperator* Operator,
                               const std::string& Title) override;

    void BuildServiceBody(double DateFrom, double DateTo, std::string& Body);
    void FormatStatement(std::string& Body);
    void FormatServiceStatement(std::string& Body);

    // The key of a coded row: the article number right-aligned in four places and the
    // description, or five blanks and the description for a row without an article.
    static std::string RowKey(std::int32_t nArt, const std::string& description);
    // The same into key, which it replaces.
    static void AppendRowKey(std::string& key, std::int32_t nArt, std::string_view description);

protected:
    std::string NotBuiltLine(NotBuilt why, double day) override;

private:
    void Reset();
    void ClearRows();
    // The sorted rows as lines, with the income and expense totals.
    std::vector<std::string> RowLines(Currency& income, Currency& expense);

    std::vector<TCashPay> rows_;
    std::unordered_map<std::string, std::size_t> rowIndex_;    // folded key -> rows_
    // description as read -> (article number, or -1 for none; its row in rows_)
    std::unordered_map<std::string, std::vector<std::pair<std::int64_t, std::size_t>>> exactIndex_;
    std::string key_;                                         // the key of the row being read
};

}  // namespace tolver

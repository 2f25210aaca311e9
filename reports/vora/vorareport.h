#pragma once
// The payments statement: the payments of a period, a shift or an operator's shifts
// read from the daily payment tables, as one flat list or grouped per payment,
// optionally narrowed to some payments. Settings come from "Reports.ini", section
// "Vora" (FinalText, EmptyLines, SomeVora).

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "reports/report.h"

namespace tolver {

inline constexpr GUID CLSID_VoraReport = MakeGUID("{68225109-33B3-42F8-BC4A-40FD4114E570}");
const ComClass& VoraReportClass();

// One group (or the whole flat list): its rows as the statement prints them, numbered
// as they come, so that a statement holds little more than its text.
struct TVoraList {
    std::string Name;
    std::string Lines;  // the row lines, each followed by CR LF (flat: after the column heads)
    double CountTotal = 0;
    Currency SumTotal;
    std::int32_t NArt = 0;
    std::int32_t NDep = 0;
    int RowCount = 0;
};

// Groups order: no article (NArt below 1) first, by department; then by article.
bool VoraListLess(const TVoraList& a, const TVoraList& b);

class TVoraReport final : public TPropertiesReport {
public:
    TVoraReport();

    // Where the settings are read from: "Reports.ini" in the program's folder.
    std::string IniFileName;

    std::string GetName() override;
    void ScanDaysGrouped(double DateFrom, double DateTo) override;
    void ReadDayFlat(double Day, double TimeFrom, double TimeTo) override;
    void ReadDayGrouped(double Day, double TimeFrom, double TimeTo) override;
    void BuildPeriodBody(double DateFrom, double DateTo, std::string& Body) override;
    void BuildOperatorBody(const THostOperator& Operator, std::string& Body) override;
    TReportPropertiesFormClass GetPropertiesFormClass() override;
    void ReadDayNames(double Day, double TimeFrom, double TimeTo) override;

    void FormatFlat(std::string& Body);
    void FormatGrouped(const std::string& Separator, std::string& Body);

    // The names the grouped scan keeps (folded), when it is narrowed; an empty set
    // reads nothing.
    bool Filtered() const { return filtered_; }

private:
    void ResetRows();
    // Puts the column heads of the flat statement before its first row.
    void StartFlat();
    // After a day of a statement: room for the rest of the walk.
    void ReserveAhead();
    std::string FinalText() const;
    // The parts of a row line: its number, right-aligned in four places; the columns
    // before the payment column (dayText "dd.mm ", the time); those after it (the
    // count and the sum, and the line's end). Each writes at p and returns the end.
    static char* PutNumber(char* p, int number);
    static char* PutRowHead(char* p, const std::string& dayText, std::int32_t timeMs);
    static char* PutRowFigures(char* p, double count, Currency sum);
    // The number of the next row line of list, and the rest of a row line with text
    // in the payment column.
    static void AppendNumber(TVoraList& list);
    static void AppendRowTail(std::string& out, const std::string& dayText, std::int32_t timeMs,
                              std::string_view text, double count, Currency sum);

    // The rows of one day that share article, department and payment name as read,
    // in time order: the row lines without their numbers, and each row's figures.
    struct DayPart {
        bool nArtNull = false, nDepNull = false, nameNull = false;
        std::int32_t NArt = 0, NDep = 0;
        std::string Name;       // as read
        std::string Lines;      // each row's line from its first column break on
        std::vector<std::size_t> Ends;  // where each row's line ends in Lines
        std::vector<std::pair<double, Currency>> Figures;
    };
    // Whether row belongs to part; the part of the day being read that row belongs to,
    // made when there is none, or null for a payment that is not chosen.
    static bool InPart(const DayPart& part, const PaymentRow& row);
    DayPart* PartOf(const PaymentRow& row);
    // Appends a day's parts to their groups in the order of article, department, name
    // and time, numbering the rows: the groups read as if the day had come in that
    // order.
    void FlushDay();

    bool filtered_ = false;
    std::unordered_set<std::string> filter_;
    std::vector<std::string> filterList_;  // the same names, bound into the query
    TVoraList flatRows_;
    std::vector<TVoraList> groups_;
    std::unordered_map<std::string, std::size_t> groupIndex_;  // folded name -> groups_
    std::vector<DayPart> dayParts_;
    std::size_t partsUsed_ = 0;  // the parts of the day being read: the first ones
    std::vector<std::size_t> dayBytes_;  // what the day being flushed adds to each group
    // name as read -> the parts of the day with that name (indices into dayParts_)
    std::unordered_map<std::string, std::vector<std::size_t>> dayIndex_;
    int walkDays_ = 0;  // the days that the body's walk reads
    int daysRead_ = 0;  // and those it has read
    TFoldCache fold_;
};

}  // namespace tolver

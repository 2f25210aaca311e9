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
    // Appends the next row line of list: its number, dayText ("dd.mm "), the time,
    // text in the payment column, the count and the sum.
    void AppendRow(TVoraList& list, const std::string& dayText, std::int32_t timeMs, std::string_view text,
                   double count, Currency sum);

    bool filtered_ = false;
    std::unordered_set<std::string> filter_;
    std::vector<std::string> filterList_;  // the same names, bound into the query
    TVoraList flatRows_;
    std::vector<TVoraList> groups_;
    std::unordered_map<std::string, std::size_t> groupIndex_;  // folded name -> groups_
    // The rows of a day come by payment name: the last name as read and its group.
    std::string lastDescription_;
    std::size_t lastGroup_ = 0;
    bool lastKnown_ = false;
    std::string text_;  // the payment column of a flat row, made afresh for each
    int walkDays_ = 0;  // the days that the body's walk reads
    int daysRead_ = 0;  // and those it has read
    TFoldCache fold_;
};

}  // namespace tolver

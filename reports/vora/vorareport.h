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

// One payment row.
struct TVoraPay {
    double Date = 0;         // the day of the table it came from
    std::int32_t TimeMs = 0;  // its time of day
    std::string Text;        // flat: payment and information columns; grouped: "Info"
    double Count = 0;
    Currency Sum;
};

// One group (or the whole flat list).
struct TVoraList {
    std::string Name;
    std::vector<TVoraPay> Rows;
    double CountTotal = 0;
    Currency SumTotal;
    std::int32_t NArt = 0;
    std::int32_t NDep = 0;
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

    void FormatFlat(std::string& Body) const;
    void FormatGrouped(const std::string& Separator, std::string& Body);

    // The names the grouped scan keeps (folded), when it is narrowed; an empty set
    // reads nothing.
    bool Filtered() const { return filtered_; }

private:
    void ResetRows();
    std::string FinalText() const;
    std::string RowLine(int n, const TVoraPay& pay) const;

    bool filtered_ = false;
    std::unordered_set<std::string> filter_;
    std::vector<std::string> filterList_;  // the same names, bound into the query
    TVoraList flatRows_;
    std::vector<TVoraList> groups_;
    std::unordered_map<std::string, std::size_t> groupIndex_;  // folded name -> groups_
    TFoldCache fold_;
};

}  // namespace tolver

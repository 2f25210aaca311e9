#include "reports/vora/vorareport.h"

#include <algorithm>

#include "common/utilgl.h"
#include "platform/base/textcase.h"
#include "platform/ini/inifile.h"
#include "platform/variant/utf.h"
#include "reports/reportformat.h"
#include "reports/vora/propertiesform.h"

namespace tolver {

using namespace report;

const ComClass& VoraReportClass() {
    static const ComClass cls{.clsid = CLSID_VoraReport,
                              .progId = "Vora.VoraReport",
                              .description = "Платежи|Ведомость платежей",
                              .create = [] { return static_cast<TComObjectBase*>(new TVoraReport()); }};
    return cls;
}

bool VoraListLess(const TVoraList& a, const TVoraList& b) { return ArticleOrderLess(a.NArt, a.NDep, b.NArt, b.NDep); }

namespace {

const char kSection[] = "Vora";
const char kBreak[] = {kColumnBreak, 0};
const int kMaxEmptyLines = 100;

std::string Rule() { return std::string(1, kRuleLine) + std::string(76, '-'); }

std::string Join(std::initializer_list<std::string> columns) {
    std::string line;
    for (const auto& c : columns) {
        if (&c != columns.begin()) line += kColumnBreak;
        line += c;
    }
    return line;
}

// A count held as fixed point: three decimals when it has a fractional part.
std::string CountText(Currency count) {
    if (count.raw() % Currency::kScale == 0) return count.Format(0);
    std::string text = count.Format(3);
    std::replace(text.begin(), text.end(), '.', kDecimalSeparator);
    return text;
}

std::string TotalLine(const char* caption, int breaks, const std::string& count, Currency sum) {
    return caption + std::string(static_cast<std::size_t>(breaks), kColumnBreak) + std::string(51, ' ') +
           FitRight(count, 8) + kBreak + "  " + Money(sum);
}

}  // namespace

TVoraReport::TVoraReport() : TPropertiesReport(VoraReportClass()), IniFileName(GetAppPath() + "Reports.ini") {}

std::string TVoraReport::GetName() {
    static const char* const suffixes[] = {" ПО ВСЕМ ПЛАТЕЖАМ", " ПО КАЖДОМУ ПЛАТЕЖУ", " ПО НЕКОТОРЫМ ПЛАТЕЖАМ",
                                           " ПО ВЫБОРУ"};
    return TPropertiesReport::GetName() + (Mode >= 0 && Mode <= 3 ? suffixes[Mode] : "");
}

void TVoraReport::ScanDaysGrouped(double DateFrom, double DateTo) {
    filtered_ = false;
    filter_.clear();
    if (Mode == 2 || Mode == 3) {
        filtered_ = true;
        if (Mode == 2) {
            std::string list = TIniFile(IniFileName).ReadString(kSection, "SomeVora", ""), name;
            for (std::size_t pos = 0; pos <= list.size();) {
                const std::size_t end = std::min(list.find(';', pos), list.size());
                name = list.substr(pos, end - pos);
                const auto first = name.find_first_not_of(' ');
                if (first != std::string::npos) filter_.insert(CaseFold(TrimRight(name.substr(first))));
                pos = end + 1;
            }
        } else {
            for (const auto& name : ChosenNames.Items()) filter_.insert(CaseFold(TrimRight(name)));
        }
    }
    filterList_.assign(filter_.begin(), filter_.end());
    TReport::ScanDaysGrouped(DateFrom, DateTo);
}

void TVoraReport::ReadDayFlat(double Day, double TimeFrom, double TimeTo) {
    ReadRows(Day, TimeFrom, TimeTo, TPaymentArchive::Order::ByTime, [&](const PaymentRow& row) {
        TVoraPay pay{Day, row.TimeMs, {}, row.Count, row.Sum};
        if (!row.Info.empty())
            pay.Text = Pad(TrimRight(row.Description), 17, 17) + kBreak + " " + Pad(TrimRight(row.Info), 26, 26);
        else  // the payment column alone, cut so that its break stays inside the column
            pay.Text = Utf8Left(row.Description, 36) + kBreak;
        const Currency total = AddMoney(flatRows_.SumTotal, row.Sum);
        flatRows_.Rows.push_back(std::move(pay));
        flatRows_.CountTotal += row.Count;
        flatRows_.SumTotal = total;
    });
}

void TVoraReport::ReadDayGrouped(double Day, double TimeFrom, double TimeTo) {
    if (filtered_ && filter_.empty()) return;  // nothing chosen: nothing to read
    ReadRows(Day, TimeFrom, TimeTo, TPaymentArchive::Order::ByArticle, [&](const PaymentRow& row) {
        const std::string name = TrimRight(row.Description);
        const std::string& key = fold_.Fold(name);
        if (filtered_ && !filter_.count(key)) return;
        auto it = groupIndex_.find(key);
        if (it == groupIndex_.end()) {
            groups_.push_back({name, {}, row.Count, row.Sum, row.NArt, row.NDep});
            it = groupIndex_.emplace(key, groups_.size() - 1).first;
        } else {
            TVoraList& group = groups_[it->second];
            group.SumTotal = AddMoney(group.SumTotal, row.Sum);
            group.CountTotal += row.Count;
        }
        groups_[it->second].Rows.push_back({Day, row.TimeMs, row.Info, row.Count, row.Sum});
    }, filtered_ ? &filterList_ : nullptr);
}

void TVoraReport::ReadDayNames(double Day, double TimeFrom, double TimeTo) {
    ReadRows(Day, TimeFrom, TimeTo, TPaymentArchive::Order::ByTime, [&](const PaymentRow& row) {
        const std::string name = TrimRight(row.Description);
        if (!name.empty()) KnownNames.Add(name);
    });
}

void TVoraReport::ResetRows() {
    flatRows_ = {};
    groups_.clear();
    groupIndex_.clear();
}

void TVoraReport::BuildPeriodBody(double DateFrom, double DateTo, std::string& Body) {
    Body.clear();
    ResetRows();
    try {
        if (Mode == 0) {
            ScanDaysFlat(DateFrom, DateTo);
            if (DoProgress(100)) FormatFlat(Body);
        } else {
            ScanDaysGrouped(DateFrom, DateTo);
            if (DoProgress(100)) FormatGrouped(Mode == 1 ? std::string() : HeaderText, Body);
        }
    } catch (...) {
        ResetRows();
        throw;
    }
    ResetRows();
}

void TVoraReport::BuildOperatorBody(const THostOperator& Operator, std::string& Body) {
    Body.clear();
    ResetRows();
    try {
        if (ScanShifts(Operator, Mode == 0 ? &TReport::ScanDaysFlat : &TReport::ScanDaysGrouped)) {
            if (Mode == 0)
                FormatFlat(Body);
            else
                FormatGrouped(Mode == 1 ? std::string() : HeaderText, Body);
        }
    } catch (...) {
        ResetRows();
        throw;
    }
    ResetRows();
}

TReportPropertiesFormClass TVoraReport::GetPropertiesFormClass() {
    return [](TPropertiesReport& report) -> TReportPropertiesForm* { return new TfrmProperties(report); };
}

std::string TVoraReport::FinalText() const {
    std::string text = TIniFile(IniFileName).ReadString(kSection, "FinalText", ""), out;
    for (char c : text) out += c == ';' ? std::string(kCRLF) : std::string(1, c);
    return out;
}

std::string TVoraReport::RowLine(int n, const TVoraPay& pay) const {
    const double time = pay.TimeMs / 86400000.0;
    return Pad(std::to_string(n), 4, -1, false) + kBreak + "  " + DayMonthText(pay.Date) + " " + kBreak +
           ShortTimeText(time) + "  " + kBreak + Pad(pay.Text, 37, 37) + kBreak + "  " +
           FitRight(report::CountText(pay.Count), 8) + kBreak + "  " + Money(pay.Sum);
}

void TVoraReport::FormatFlat(std::string& Body) const {
    std::vector<std::string> lines;
    lines.push_back(Join({"   №", "   Дата", " Время", "  Платеж", std::string(12, ' ') + "Информация",
                          std::string(12, ' ') + "Кол-во", std::string(6, ' ') + "Сумма"}));
    lines.push_back(Rule());
    int n = 0;
    for (const TVoraPay& pay : flatRows_.Rows) lines.push_back(RowLine(++n, pay));
    lines.push_back(Rule());
    lines.push_back(TotalLine("ИТОГО:", 5, report::CountText(flatRows_.CountTotal), flatRows_.SumTotal));
    Body = TextOfLines(lines);
    const std::string final = FinalText();
    if (!final.empty()) Body += kCRLF + final + kCRLF;
}

void TVoraReport::FormatGrouped(const std::string& Separator, std::string& Body) {
    std::stable_sort(groups_.begin(), groups_.end(), VoraListLess);
    groupIndex_.clear();
    int emptyLines = TIniFile(IniFileName).ReadInteger(kSection, "EmptyLines", 1);
    emptyLines = std::clamp(emptyLines, 0, kMaxEmptyLines);
    std::vector<std::string> lines;
    Currency grandCount, grandSum;
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        const TVoraList& group = groups_[g];
        if (g > 0) lines.push_back(Separator);
        lines.push_back(Upper(group.Name) + ":");
        lines.emplace_back();
        lines.push_back(Join({"   №", "   Дата", " Время", "  Информация", std::string(30, ' ') + "Кол-во",
                              std::string(6, ' ') + "Сумма"}));
        lines.push_back(Rule());
        int n = 0;
        for (const TVoraPay& pay : group.Rows) lines.push_back(RowLine(++n, pay));
        lines.push_back(Rule());
        lines.push_back(TotalLine("ВСЕГО:", 4, report::CountText(group.CountTotal), group.SumTotal));
        for (int i = 0; i < emptyLines; ++i) lines.emplace_back();
        grandCount = AddMoney(grandCount, Currency::FromDouble(group.CountTotal));
        grandSum = AddMoney(grandSum, group.SumTotal);
    }
    if (!groups_.empty()) lines.push_back(TotalLine("ИТОГО:", 4, CountText(grandCount), grandSum));
    Body = TextOfLines(lines);
    const std::string final = FinalText();
    if (!final.empty()) Body += kCRLF + final + kCRLF;
}

}  // namespace tolver

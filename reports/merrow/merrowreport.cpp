#include "reports/merrow/merrowreport.h"

#include <algorithm>

#include "common/debug.h"
#include "platform/base/textcase.h"
#include "reports/reportformat.h"

namespace tolver {

using namespace report;

const ComClass& MerrowReportClass() {
    static const ComClass cls{.clsid = CLSID_MerrowReport,
                              .progId = "Merrow.MerrowReport",
                              .description = "Платежи|-Касова довiдка-",
                              .create = [] { return static_cast<TComObjectBase*>(new TPostCashReport()); }};
    return cls;
}

bool CashRowLess(const TCashPay& a, const TCashPay& b) { return ArticleOrderLess(a.NArt, a.NDep, b.NArt, b.NDep); }

namespace {

const std::string kBreak(1, kColumnBreak);
const std::string kBlanks18(18, ' ');

bool IsNone(std::int32_t n) { return n == 0 || n == -1; }

std::string Rule() { return std::string(1, kRuleLine) + std::string(73, '-'); }

std::string MoneyLine(const char* caption, Currency value) { return caption + kBreak + kBlanks18 + Money(value); }

std::vector<std::string> TableHead() {
    return {Rule(),
            std::string(1, kHeaderLine) + "   Найменування операції" + kBreak + std::string(17, ' ') + "Прибуток" +
                kBreak + std::string(5, ' ') + "Видаток" + kBreak + "   Кількість",
            kBreak + std::string(40, ' ') + "у гривнях" + kBreak + "   у гривнях", Rule()};
}

void Signatures(std::vector<std::string>& lines) {
    lines.push_back(std::string(13, ' ') + "Оператор:___________");
    lines.push_back(std::string(12, ' ') + "Контролер:___________");
}

// Format("     %-20.20s  %-46.46s", [a, b])
std::string HeadLine(const std::string& a, const std::string& b) {
    return "     " + Pad(a, 20, 20) + "  " + Pad(b, 46, 46);
}

std::string PeriodText(double from, double to) {
    if (DayOf(from) == DayOf(to))
        return "ПЕРIОД: З " + ShortTimeText(from) + " ПО " + ShortTimeText(to) + " " + DateText(from);
    return "ПЕРIОД: З " + ShortTimeText(from) + " " + DateText(from) + " ПО " + ShortTimeText(to) + " " +
           DateText(to);
}

}  // namespace

TPostCashReport::TPostCashReport() : TReport(MerrowReportClass()) {}

void TPostCashReport::AppendRowKey(std::string& key, std::int32_t nArt, std::string_view description) {
    key.clear();
    if (IsNone(nArt)) {
        key += "     ";
    } else {
        const std::int64_t number = nArt < 0 ? -static_cast<std::int64_t>(nArt) : nArt;
        // Right-aligned in four places, never cut: 12345 and 12346 stay apart.
        AppendPad(key, std::to_string(number), 4, -1, false);
        key += ' ';
    }
    key += description;
}

std::string TPostCashReport::RowKey(std::int32_t nArt, const std::string& description) {
    std::string key;
    AppendRowKey(key, nArt, description);
    return key;
}

std::string TPostCashReport::NotBuiltLine(NotBuilt why, double day) {
    switch (why) {
    case NotBuilt::TooLarge: return "     ДОВІДКУ НЕ СКЛАДЕНО: ПІДСУМОК ЗАВЕЛИКИЙ";
    case NotBuilt::DayUnread: return "     ДОВІДКУ НЕ СКЛАДЕНО: АРХІВ ЗА " + DateText(day) + " НЕ ПРОЧИТАНО";
    default: return "     ДОВІДКУ НЕ СКЛАДЕНО";
    }
}

namespace {

// The columns the cash statement's query names (Info is not one of them).
constexpr unsigned kCashColumns = kColDescription | kColPCount | kColSumma | kColSummaWithoutNDS | kColNArt |
                                  kColNDep | kColData | kColTim;

}  // namespace

void TPostCashReport::ReadDayFlat(double Day, double TimeFrom, double TimeTo) {
    ReadRows(Day, TimeFrom, TimeTo, kCashColumns, [&](const PaymentRow& row) {
        if (row.DescriptionNull) return;
        const Currency s = row.Sum;
        if (!IsNone(row.NArt) || !IsNone(row.NDep)) {
            if (!OpeningSeen) {
                Opening = Currency();
                OpeningSeen = true;
            }
            // The description as read and the article's number are looked up first;
            // the key is made and case-folded once per spelling.
            const std::int64_t number = IsNone(row.NArt) ? -1 : row.NArt < 0 ? -std::int64_t{row.NArt} : row.NArt;
            std::vector<std::pair<std::int64_t, std::size_t>>& spellings = exactIndex_[row.Description];
            auto exact = std::find_if(spellings.begin(), spellings.end(),
                                      [&](const auto& e) { return e.first == number; });
            if (exact == spellings.end()) {
                AppendRowKey(key_, row.NArt, row.Description);
                std::string folded = CaseFold(key_);
                auto it = rowIndex_.find(folded);
                if (it == rowIndex_.end()) {
                    it = rowIndex_.emplace(std::move(folded), rows_.size()).first;
                    rows_.push_back({key_, 0, Currency(), row.NArt, row.NDep});
                }
                exact = spellings.insert(spellings.end(), {number, it->second});
            }
            TCashPay& pay = rows_[exact->second];
            pay.Sum = AddMoney(pay.Sum, s);
            pay.Count = AddCount(pay.Count, row.Count);
        } else if (OpeningSeen || s.raw() < 0) {
            // A service movement; a withdrawal before any opening balance opens
            // the statement at 0 and still counts as withdrawn.
            if (!OpeningSeen) {
                Opening = Currency();
                OpeningSeen = true;
            }
            DebugLog(Money(s, 0), "1", true);
            if (s.raw() > 0)
                Deposits = AddMoney(Deposits, s);
            else
                Withdrawals = SubMoney(Withdrawals, s);
        } else {
            Opening = s;
            OpeningSeen = true;
        }
    });
}

void TPostCashReport::ClearRows() {
    rows_.clear();
    rowIndex_.clear();
    exactIndex_.clear();
}

void TPostCashReport::Reset() {
    ClearRows();
    Opening = Deposits = Withdrawals = Currency();
    OpeningSeen = false;
}

void TPostCashReport::BuildPeriodBody(double DateFrom, double DateTo, std::string& Body) {
    Body.clear();
    Reset();
    ScanDaysFlat(DateFrom, DateTo);
    if (DoProgress(100) && !StoppedInDay()) FormatStatement(Body);
    ClearRows();
}

void TPostCashReport::BuildServiceBody(double DateFrom, double DateTo, std::string& Body) {
    Body.clear();
    Reset();
    ScanDaysFlat(DateFrom, DateTo);
    if (DoProgress(100) && !StoppedInDay()) FormatServiceStatement(Body);
    ClearRows();
}

void TPostCashReport::BuildOperatorBody(const THostOperator& Operator, std::string& Body) {
    Body.clear();
    Reset();
    if (ScanShifts(Operator, &TReport::ScanDaysFlat)) FormatServiceStatement(Body);
    ClearRows();
}

std::vector<std::string> TPostCashReport::RowLines(Currency& income, Currency& expense) {
    std::stable_sort(rows_.begin(), rows_.end(), CashRowLess);
    rowIndex_.clear();
    exactIndex_.clear();
    std::vector<std::string> lines;
    for (const TCashPay& pay : rows_) {
        const std::string count = HasFraction(pay.Count) ? "..." : CountText(pay.Count);
        if (pay.Sum.raw() > 0) {
            lines.push_back(Pad(pay.Key, 37, 27) + kBreak + "   " + Money(pay.Sum) + kBreak + "   " +
                            Money(Currency()) + kBreak + "        " + FitRight(count, 4));
            income = AddMoney(income, pay.Sum);
        } else {
            lines.push_back(Pad(pay.Key, 37, 37) + kBreak + kBlanks18 + Money(Currency()) + kBreak + "   " +
                            Money(NegateMoney(pay.Sum)) + kBreak + "        " + FitRight(count, 4));
            expense = SubMoney(expense, pay.Sum);
        }
    }
    return lines;
}

void TPostCashReport::FormatStatement(std::string& Body) {
    Currency income, expense;
    const std::vector<std::string> rows = RowLines(income, expense);
    std::vector<std::string> lines = TableHead();
    lines.push_back(MoneyLine("   Початковий залишок:", Opening));
    lines.emplace_back();
    lines.insert(lines.end(), rows.begin(), rows.end());
    lines.emplace_back();
    lines.push_back(std::string(16, ' ') + "Разом:" + kBreak + kBlanks18 + Money(income) + kBreak + "   " +
                    Money(expense));
    lines.emplace_back();
    const Currency total = SubMoney(AddMoney(income, Opening), expense);
    const Currency handed = SubMoney(Withdrawals, Deposits);
    lines.push_back(MoneyLine("               Всього:", total));
    lines.push_back(MoneyLine("       Здано до банку:", handed));
    lines.push_back(MoneyLine("     Кінцевий залишок:", SubMoney(total, handed)));
    lines.emplace_back();
    Signatures(lines);
    Body = TextOfLines(lines);
}

void TPostCashReport::FormatServiceStatement(std::string& Body) {
    Currency income, expense;
    const std::vector<std::string> rows = RowLines(income, expense);
    std::vector<std::string> lines = TableHead();
    lines.insert(lines.end(), rows.begin(), rows.end());
    lines.emplace_back();
    lines.push_back(std::string(16, ' ') + "Разом:" + kBreak + kBlanks18 + Money(income) + kBreak + "   " +
                    Money(expense));
    lines.emplace_back();
    lines.push_back(MoneyLine("    Службове внесення:", AddMoney(Deposits, Opening)));
    lines.push_back(MoneyLine("               Всього:", SubMoney(income, expense)));
    lines.push_back("   Службове вилучення:" + kBreak + std::string(27, ' ') + kBreak + "   " + Money(Withdrawals));
    lines.push_back(MoneyLine("     Кінцевий залишок:",
                              SubMoney(SubMoney(AddMoney(AddMoney(income, Opening), Deposits), expense), Withdrawals)));
    lines.emplace_back();
    Signatures(lines);
    Body = TextOfLines(lines);
}

std::string TPostCashReport::PeriodReport(double DateFrom, double DateTo, const std::string& Title) {
    return ReportText(
        [&] {
            return HeadLine(Upper(Title), PeriodText(DateFrom, DateTo)) + kCRLF + "     " +
                   Pad(Upper(GetName()), 20, 20) + kCRLF + kCRLF;
        },
        [&](std::string& body) { BuildServiceBody(DateFrom, DateTo, body); });
}

std::string TPostCashReport::OperatorReport(double DateFrom, double DateTo, const THostOperator* Operator,
                                            const std::string& Title) {
    if (!Operator) return std::string();
    return ReportText(
        [&] {
            return HeadLine(Upper(Title), PeriodText(DateFrom, DateTo)) + kCRLF +
                   HeadLine(Upper(GetName()), "Оператор: " + Upper(Operator->Name)) + kCRLF + kCRLF;
        },
        [&](std::string& body) { BuildOperatorBody(*Operator, body); });
}

std::string TPostCashReport::ShiftReport(const THostShift* Shift, const std::string& Title) {
    if (!Shift) return std::string();
    return ReportText(
        [&] {
            return HeadLine(Upper(Title), "ДАТА:" + DateText(Shift->Start) + "  ЧАС:" + LongTimeText(Shift->End)) +
                   kCRLF + HeadLine(Upper(GetName()), "Оператор: " + Upper(Shift->OperatorName)) + kCRLF + kCRLF;
        },
        [&](std::string& text) {
            BuildPeriodBody(Shift->Start, Shift->End, text);
            text += kCRLF;
            text += kRuleLine;
            for (int i = 0; i < 36; ++i) text += "- ";
            text += std::string("-") + kCRLF;
            text += std::string(26, ' ') + "РОЗПИСКА" + kCRLF;
            text += std::string("В остаточний розрахунок за робочий день прийнято від оператора___________") + kCRLF;
            text += "по касовій довідці за " + DateText(Shift->Start) + kCRLF;
            text += std::string("__ ___________20__") + kCRLF;
            text += std::string(40, ' ') + "Прийняв головний касир___________";
        });
}

}  // namespace tolver

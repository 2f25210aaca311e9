#include "reports/vora/vorareport.h"

#include <algorithm>
#include <charconv>
#include <cmath>

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
            const std::string list = TIniFile(IniFileName).ReadString(kSection, "SomeVora", "");
            for (std::size_t pos = 0; pos <= list.size();) {
                const std::size_t end = std::min(list.find(';', pos), list.size());
                const std::string_view name = std::string_view(list).substr(pos, end - pos);
                const auto first = name.find_first_not_of(' ');
                if (first != std::string_view::npos) filter_.insert(CaseFold(TrimRight(name.substr(first))));
                pos = end + 1;
            }
        } else {
            for (const auto& name : ChosenNames.Items()) filter_.insert(CaseFold(TrimRight(name)));
        }
    }
    filterList_.assign(filter_.begin(), filter_.end());
    TReport::ScanDaysGrouped(DateFrom, DateTo);
}

namespace {

char* PutTwo(char* p, int v) {
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
    return p;
}

// Room for one row line: its fixed columns, the payment column (at most 37 characters
// of at most four bytes) and the figures.
constexpr std::size_t kRowRoom = 512;

// The days that a walk from one date to the other reads.
int DaysOf(double from, double to) {
    const double days = DayOf(to) - DayOf(from) + 1;
    return std::isfinite(days) && days > 0 ? NearestInt(std::min(days, 1e6)) : 0;
}

}  // namespace

char* TVoraReport::PutNumber(char* p, int number) {
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    // Right-aligned in four places, wider when it must.
    for (std::ptrdiff_t fill = 4 - (end - digits); fill > 0; --fill) *p++ = ' ';
    return std::copy(static_cast<const char*>(digits), end, p);
}

void TVoraReport::AppendNumber(TVoraList& list) {
    char number[16];
    list.Lines.append(number, static_cast<std::size_t>(PutNumber(number, ++list.RowCount) - number));
}

char* TVoraReport::PutRowHead(char* p, const std::string& dayText, std::int32_t timeMs) {
    *p++ = kColumnBreak;
    *p++ = ' ';
    *p++ = ' ';
    p = std::copy(dayText.begin(), dayText.end(), p);
    *p++ = kColumnBreak;
    p = PutTwo(p, timeMs / 3600000);
    *p++ = kTimeSeparator;
    p = PutTwo(p, timeMs / 60000 % 60);
    *p++ = ' ';
    *p++ = ' ';
    *p++ = kColumnBreak;
    return p;
}

char* TVoraReport::PutRowFigures(char* p, double count, Currency sum) {
    *p++ = kColumnBreak;
    *p++ = ' ';
    *p++ = ' ';
    p = PutCount(p, count, 8);
    *p++ = kColumnBreak;
    *p++ = ' ';
    *p++ = ' ';
    p = PutMoney(p, sum);
    *p++ = '\r';
    *p++ = '\n';
    return p;
}

void TVoraReport::AppendRowTail(std::string& out, const std::string& dayText, std::int32_t timeMs,
                                std::string_view text, double count, Currency sum) {
    // One row is written into a buffer and appended at once: millions of them make a
    // statement. Every text in it is cut to its column, so the buffer always holds it.
    char line[kRowRoom];
    char* p = PutRowHead(line, dayText, timeMs);
    p = PutPad(p, text, 37, 37);
    p = PutRowFigures(p, count, sum);
    out.append(line, static_cast<std::size_t>(p - line));
}

// The columns each reader's query names: the flat one and the names' one read no
// article or department, the grouped one no amount without tax.
constexpr unsigned kFlatColumns =
    kColData | kColTim | kColDescription | kColInfo | kColPCount | kColSumma | kColSummaWithoutNDS;
constexpr unsigned kGroupedColumns =
    kColDescription | kColInfo | kColData | kColTim | kColPCount | kColSumma | kColNArt | kColNDep;

void TVoraReport::ReadDayFlat(double Day, double TimeFrom, double TimeTo) {
    const std::string dayText = DayMonthText(Day) + " ";
    StartFlat();
    // Where the day began, should it be read again.
    const TVoraList start{{}, {}, flatRows_.CountTotal, flatRows_.SumTotal, 0, 0, flatRows_.RowCount};
    const std::size_t startSize = flatRows_.Lines.size();
    ReadRows(
        Day, TimeFrom, TimeTo, kFlatColumns,
        [&](const PaymentRow& row) {
            const Currency total = AddMoney(flatRows_.SumTotal, row.Sum);
            flatRows_.CountTotal = AddCount(flatRows_.CountTotal, row.Count);
            flatRows_.SumTotal = total;
            char line[kRowRoom];
            char* p = PutNumber(line, ++flatRows_.RowCount);
            p = PutRowHead(p, dayText, row.TimeMs);
            // The payment and information columns, 37 characters: 17 of the payment,
            // the break, a blank and 18 of the information; or the payment alone, cut
            // so that its break stays inside the column.
            if (!row.Info.empty()) {
                p = PutPad(p, TrimRight(row.Description), 17, 17);
                *p++ = kColumnBreak;
                *p++ = ' ';
                p = PutPad(p, TrimRight(row.Info), 18, 18);
            } else {
                const auto [bytes, chars] = CharPrefix(row.Description, 36);
                p = std::copy_n(row.Description.data(), bytes, p);
                *p++ = kColumnBreak;
                if (chars + 1 < 37) p = std::fill_n(p, 37 - (chars + 1), ' ');
            }
            p = PutRowFigures(p, row.Count, row.Sum);
            flatRows_.Lines.append(line, static_cast<std::size_t>(p - line));
        },
        nullptr,
        [&] {
            flatRows_.Lines.resize(startSize);
            flatRows_.RowCount = start.RowCount;
            flatRows_.CountTotal = start.CountTotal;
            flatRows_.SumTotal = start.SumTotal;
        });
    ReserveAhead();
}

void TVoraReport::ReserveAhead() {
    // Room for the days to come at each list's rate so far, so that a long statement
    // is written once rather than copied each time a list outgrows its room. A hint
    // only: without the room a list grows as it must.
    if (++daysRead_ >= walkDays_) return;
    auto reserve = [&](std::string& lines) {
        const double perDay = static_cast<double>(lines.size()) / daysRead_;
        const double want = static_cast<double>(lines.size()) + perDay * (walkDays_ - daysRead_) * 1.1 + kHeaderRoom;
        if (want <= static_cast<double>(lines.capacity()) || want > static_cast<double>(lines.max_size() / 2)) return;
        ReserveText(lines, static_cast<std::size_t>(want));
    };
    if (Mode == 0)
        reserve(flatRows_.Lines);
    else
        for (TVoraList& group : groups_) reserve(group.Lines);
}

void TVoraReport::ReadDayGrouped(double Day, double TimeFrom, double TimeTo) {
    if (filtered_ && filter_.empty()) return;  // nothing chosen: nothing to read
    const std::string dayText = DayMonthText(Day) + " ";
    // The day is read in time order and its rows are sorted into parts as they come;
    // the parts go to their groups once the day is read.
    DayPart* part = nullptr;
    ReadRows(Day, TimeFrom, TimeTo, kGroupedColumns, [&](const PaymentRow& row) {
        if (!part || !InPart(*part, row)) {
            part = PartOf(row);
            if (!part) return;
        }
        AppendRowTail(part->Lines, dayText, row.TimeMs, row.Info, row.Count, row.Sum);
        part->Ends.push_back(part->Lines.size());
        part->Figures.emplace_back(row.Count, row.Sum);
    }, filtered_ ? &filterList_ : nullptr, [&] {
        part = nullptr;
        partsUsed_ = 0;
        dayIndex_.clear();
    });
    if (!StoppedInDay()) FlushDay();
    partsUsed_ = 0;
    dayIndex_.clear();
    ReserveAhead();
}

bool TVoraReport::InPart(const DayPart& part, const PaymentRow& row) {
    return part.NArt == row.NArt && part.NDep == row.NDep && part.nameNull == row.DescriptionNull &&
           part.nArtNull == row.NArtNull && part.nDepNull == row.NDepNull && part.Name == row.Description;
}

TVoraReport::DayPart* TVoraReport::PartOf(const PaymentRow& row) {
    // A day holds a few parts as a rule: they are looked through, in the order the
    // index lists them, before the name is looked up.
    constexpr std::size_t kFewParts = 16;
    if (partsUsed_ <= kFewParts)
        for (std::size_t i = 0; i < partsUsed_; ++i)
            if (InPart(dayParts_[i], row)) return &dayParts_[i];
    auto it = dayIndex_.find(row.Description);
    if (it == dayIndex_.end()) {
        if (filtered_ && !filter_.count(fold_.Fold(std::string(TrimRight(row.Description))))) return nullptr;
        it = dayIndex_.emplace(row.Description, std::vector<std::size_t>()).first;
    }
    for (std::size_t i : it->second)
        if (InPart(dayParts_[i], row)) return &dayParts_[i];
    // The parts of the days before keep their room for this one.
    it->second.push_back(partsUsed_);
    if (partsUsed_ == dayParts_.size()) dayParts_.emplace_back();
    DayPart& part = dayParts_[partsUsed_++];
    part.Lines.clear();
    part.Ends.clear();
    part.Figures.clear();
    part.nameNull = row.DescriptionNull;
    part.nArtNull = row.NArtNull;
    part.nDepNull = row.NDepNull;
    part.NArt = row.NArt;
    part.NDep = row.NDep;
    part.Name = row.Description;
    return &part;
}

void TVoraReport::FlushDay() {
    // The order of the day's query by article: NArt, NDep, Description (a NULL before
    // any value, texts by their bytes), then the time the parts already keep.
    std::vector<const DayPart*> order;
    order.reserve(partsUsed_);
    for (std::size_t i = 0; i < partsUsed_; ++i) order.push_back(&dayParts_[i]);
    std::stable_sort(order.begin(), order.end(), [](const DayPart* a, const DayPart* b) {
        if (a->nArtNull != b->nArtNull) return a->nArtNull;
        if (a->NArt != b->NArt) return a->NArt < b->NArt;
        if (a->nDepNull != b->nDepNull) return a->nDepNull;
        if (a->NDep != b->NDep) return a->NDep < b->NDep;
        if (a->nameNull != b->nameNull) return a->nameNull;
        return a->Name < b->Name;
    });
    // Each part's group, and what the day adds to each group: a group takes room once
    // for the rest of the walk at the day's rate, rather than growing by copies.
    std::vector<std::size_t> groupOf;
    groupOf.reserve(order.size());
    dayBytes_.assign(groups_.size(), 0);
    for (const DayPart* p : order) {
        const std::string name(TrimRight(p->Name));
        const std::string& key = fold_.Fold(name);
        auto it = groupIndex_.find(key);
        if (it == groupIndex_.end()) {
            groups_.push_back({name, {}, 0, Currency(), p->NArt, p->NDep});
            dayBytes_.push_back(0);
            it = groupIndex_.emplace(key, groups_.size() - 1).first;
        }
        groupOf.push_back(it->second);
        // The lines and their numbers, four places each unless wider.
        dayBytes_[it->second] += p->Lines.size() + 8 * p->Ends.size();
    }
    const int daysLeft = std::max(walkDays_ - daysRead_, 1);
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        std::string& lines = groups_[g].Lines;
        if (dayBytes_[g] == 0 || lines.capacity() - lines.size() >= dayBytes_[g]) continue;
        const double want = static_cast<double>(lines.size()) + static_cast<double>(dayBytes_[g]) * daysLeft * 1.1 +
                            kHeaderRoom;
        if (want < static_cast<double>(lines.max_size() / 2)) ReserveText(lines, static_cast<std::size_t>(want));
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        const DayPart* p = order[i];
        TVoraList& group = groups_[groupOf[i]];
        std::size_t begin = 0;
        for (std::size_t r = 0; r < p->Ends.size(); ++r) {
            group.SumTotal = AddMoney(group.SumTotal, p->Figures[r].second);
            group.CountTotal = AddCount(group.CountTotal, p->Figures[r].first);
            AppendNumber(group);
            group.Lines.append(p->Lines, begin, p->Ends[r] - begin);
            begin = p->Ends[r];
        }
    }
}

void TVoraReport::ReadDayNames(double Day, double TimeFrom, double TimeTo) {
    ReadRows(Day, TimeFrom, TimeTo, kFlatColumns, [&](const PaymentRow& row) {
        const std::string name(TrimRight(row.Description));
        if (!name.empty()) KnownNames.Add(name);
    });
}

void TVoraReport::ResetRows() {
    flatRows_ = {};
    walkDays_ = daysRead_ = 0;
    groups_.clear();
    groupIndex_.clear();
    dayParts_.clear();
    partsUsed_ = 0;
    dayIndex_.clear();
}

void TVoraReport::BuildPeriodBody(double DateFrom, double DateTo, std::string& Body) {
    Body.clear();
    ResetRows();
    try {
        walkDays_ = DaysOf(DateFrom, DateTo);
        if (Mode == 0) {
            ScanDaysFlat(DateFrom, DateTo);
            if (DoProgress(100) && !StoppedInDay()) FormatFlat(Body);
        } else {
            ScanDaysGrouped(DateFrom, DateTo);
            if (DoProgress(100) && !StoppedInDay()) FormatGrouped(Mode == 1 ? std::string() : HeaderText, Body);
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
        for (const THostShift& shift : Operator.Shifts) walkDays_ += DaysOf(shift.Start, shift.End);
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

void TVoraReport::StartFlat() {
    if (!flatRows_.Lines.empty()) return;
    // The report's header first: the rows are the statement's text as they are read.
    flatRows_.Lines = PendingHeader() + Join({"   №", "   Дата", " Время", "  Платеж", std::string(12, ' ') + "Информация",
                            std::string(12, ' ') + "Кол-во", std::string(6, ' ') + "Сумма"}) +
                      kCRLF + Rule() + kCRLF;
}

void TVoraReport::FormatFlat(std::string& Body) {
    // The rows follow the column heads as they were read (ReadDayFlat): the statement
    // is that text with its total, taken over rather than copied.
    StartFlat();
    const std::string tail =
        Rule() + kCRLF + TotalLine("ИТОГО:", 5, CountText(flatRows_.CountTotal), flatRows_.SumTotal) + kCRLF;
    const std::string final = FinalText();
    std::string text = std::move(flatRows_.Lines);
    flatRows_.Lines.clear();
    const std::size_t more = tail.size() + final.size() + 4;
    if (text.capacity() - text.size() < more + kHeaderRoom) ReserveText(text, text.size() + more + kHeaderRoom);
    text += tail;
    if (!final.empty()) text += kCRLF + final + kCRLF;
    Body = std::move(text);
    HeaderInBody();
}

void TVoraReport::FormatGrouped(const std::string& Separator, std::string& Body) {
    // The day parts are done with: their room goes before the body is written.
    std::vector<DayPart>().swap(dayParts_);
    partsUsed_ = 0;
    dayIndex_.clear();
    std::stable_sort(groups_.begin(), groups_.end(), VoraListLess);
    groupIndex_.clear();
    int emptyLines = TIniFile(IniFileName).ReadInteger(kSection, "EmptyLines", 1);
    emptyLines = std::clamp(emptyLines, 0, kMaxEmptyLines);
    // The totals first: a sum that does not fit stops the statement before it is
    // written. The grand count is held as fixed point as the groups' counts come to
    // it; one that does not fit prints as a count too wide for its column does.
    Currency grandSum;
    for (const TVoraList& group : groups_) grandSum = AddMoney(grandSum, group.SumTotal);
    std::string grandCount;
    {
        __int128 count = 0;
        bool fits = true;
        for (const TVoraList& group : groups_) {
            if (!(std::fabs(group.CountTotal) * Currency::kScale < 9223372036854774784.0)) {
                fits = false;
                break;
            }
            count += Currency::FromDouble(group.CountTotal).raw();
        }
        fits = fits && count >= INT64_MIN && count <= INT64_MAX;
        grandCount = fits ? CountText(Currency::FromRaw(static_cast<std::int64_t>(count))) : "...";
    }
    const std::string columns = Join({"   №", "   Дата", " Время", "  Информация", std::string(30, ' ') + "Кол-во",
                                      std::string(6, ' ') + "Сумма"}) +
                                kCRLF + Rule() + kCRLF;
    std::string gap;
    for (int i = 0; i < emptyLines; ++i) gap += kCRLF;
    std::vector<std::string> captions, totals;
    std::size_t size = 0;
    for (const TVoraList& group : groups_) {
        captions.push_back(Upper(group.Name) + ":" + kCRLF + kCRLF + columns);
        totals.push_back(Rule() + kCRLF + TotalLine("ВСЕГО:", 4, CountText(group.CountTotal), group.SumTotal) +
                         kCRLF + gap);
        size += Separator.size() + 2 + captions.back().size() + group.Lines.size() + totals.back().size();
    }
    const std::string grand =
        groups_.empty() ? std::string() : TotalLine("ИТОГО:", 4, grandCount, grandSum) + kCRLF;
    const std::string final = FinalText();
    const std::string& header = PendingHeader();
    const std::size_t whole = header.size() + size + grand.size() + final.size() + 4 + kHeaderRoom;
    Body.clear();
    // The first group's lines are taken over when their room holds the whole body (a
    // statement narrowed to one payment), else each group is copied in and let go.
    // The report's header goes in front as the body starts.
    std::size_t g = 0;
    if (!groups_.empty() && groups_[0].Lines.capacity() >= whole) {
        Body = std::move(groups_[0].Lines);
        Body.insert(0, header + captions[0]);
        Body += totals[0];
        g = 1;
    } else {
        ReserveText(Body, whole);
        Body = header;
    }
    HeaderInBody();
    for (; g < groups_.size(); ++g) {
        if (g > 0) Body += Separator + kCRLF;
        Body += captions[g];
        MoveText(Body, groups_[g].Lines);
        Body += totals[g];
    }
    Body += grand;
    if (!final.empty()) Body += kCRLF + final + kCRLF;
}

}  // namespace tolver

#include "reports/report.h"

#include <sys/mman.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "common/utilgl.h"
#include "platform/base/textcase.h"
#include "reports/options.h"
#include "reports/reportformat.h"

namespace tolver {

using report::DateText;
using report::DayOf;
using report::NearestInt;
using report::ShortTimeText;
using report::TimeOf;
using report::Upper;

namespace {

[[noreturn]] void SumTooLarge() { throw ETotalOverflow("A sum of the report is too large to hold"); }
[[noreturn]] void CountTooLarge() { throw ETotalOverflow("A count of the report is too large to hold"); }

}  // namespace

Currency AddMoney(Currency a, Currency b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a.raw(), b.raw(), &sum)) SumTooLarge();
    return Currency::FromRaw(sum);
}

Currency SubMoney(Currency a, Currency b) {
    std::int64_t difference = 0;
    if (__builtin_sub_overflow(a.raw(), b.raw(), &difference)) SumTooLarge();
    return Currency::FromRaw(difference);
}

Currency NegateMoney(Currency v) { return SubMoney(Currency(), v); }

double AddCount(double a, double b) {
    const double sum = a + b;
    if (!std::isfinite(sum)) CountTooLarge();
    return sum;
}

namespace {

constexpr std::uintptr_t kLarge = 2u << 20;
// A room of 8 MB and more is made larger than the most that the C library ever
// serves from its heap (32 MB), so that it is mapped on its own and goes back to the
// system as soon as it is freed: a statement that copies its groups into its text
// lets each go as it is copied. What is never written is never taken.
constexpr std::size_t kOwnMapping = (32u << 20) + kLarge;

}  // namespace

void ReserveText(std::string& text, std::size_t size) {
    if (size <= text.capacity()) return;
    if (size >= 4 * kLarge && size < kOwnMapping) size = kOwnMapping;
    try {
        text.reserve(size);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (text.capacity() < 4 * kLarge) return;
    // Only the large pages that lie wholly inside the room, and only as advice.
    const auto at = reinterpret_cast<std::uintptr_t>(text.data());
    const std::uintptr_t begin = (at + kLarge - 1) & ~(kLarge - 1), end = (at + text.capacity()) & ~(kLarge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void MoveText(std::string& to, std::string& from) {
    if (from.capacity() < kOwnMapping) {
        to += from;
        std::string().swap(from);
        return;
    }
    // In steps of a large page: the whole large pages copied so far go back to the
    // system at once, so that the text and its source are never both held whole.
    const auto at = reinterpret_cast<std::uintptr_t>(from.data());
    std::uintptr_t released = (at + kLarge - 1) & ~(kLarge - 1);
    for (std::size_t done = 0; done < from.size();) {
        const std::size_t n = std::min<std::size_t>(kLarge, from.size() - done);
        to.append(from.data() + done, n);
        done += n;
        const std::uintptr_t end = (at + done) & ~(kLarge - 1);
        if (end > released) {
            ::madvise(reinterpret_cast<void*>(released), end - released, MADV_DONTNEED);
            released = end;
        }
    }
    std::string().swap(from);
}

std::string TextOfLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + kCRLF;
    return text;
}

// ---- TReport ---------------------------------------------------------------------

TReport::TReport(const ComClass& cls) : class_(cls) {}

TReport::~TReport() {
    try {
        CloseData();
    } catch (...) {
    }
    sinks_.clear();
}

void TReport::Initialize() {
    TComObjectBase::Initialize();
    try {
        TOptionsAuto options;
        options.Connect();
        std::string alias1, alias2, alias3;
        if (options.GetSectionAlias(GetOptionsSection(), alias1, alias2, alias3) == 0) {
            databaseName_ = alias1;
            OpenData();
        }
        options.Disconnect();
    } catch (...) {
    }
}

HRESULT TReport::Advise(IUnknown* Sink) {
    if (!Sink) return E_POINTER;
    // A sink advised twice is asked twice and stays until it is unadvised twice.
    return Guard([&] { sinks_.emplace_back(Sink); });
}

HRESULT TReport::Unadvise(IUnknown* Sink) {
    const auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& s) { return s.get() == Sink; });
    if (!Sink || it == sinks_.end()) return E_FAIL;
    ComPtr<IUnknown> gone = std::move(*it);  // released after the list is consistent again
    sinks_.erase(it);
    return S_OK;
}

std::string TReport::GetName() {
    std::string s = class_.description, token;
    CutLastToken(s, "|", token);
    return token;
}

std::string TReport::GetGroup() {
    std::string s = class_.description, token;
    CutFirstToken(s, "|", token);
    return token;
}

std::string TReport::GetOptionsSection() { return kArchiveSection; }

void TReport::OpenData() {
    query_.reset();
    auto archive = std::make_unique<TPaymentArchive>();
    if (archive->Open(databaseName_, &openWhy_)) query_ = std::move(archive);
}

void TReport::CloseData() { query_.reset(); }

HRESULT TReport::CheckArchive(std::string* File, std::string* Why) {
    return Guard([&]() -> HRESULT {
        if (File) *File = databaseName_;
        std::string why = openWhy_;
        bool ok = false;
        if (query_) {
            scanRead_ = 0;
            scanDays_ = 1;
            InOneView([&] { ok = query_->CheckTables(why); });
        } else if (databaseName_.empty()) {
            why = "the options server names no payment archive";
        }
        if (Why) *Why = ok ? std::string() : why;
        return ok ? S_OK : S_FALSE;
    });
}

std::string TReport::DaysLeftOut() {
    return SafeText([&](std::string& text) { text = TextOfLines(leftOut_); });
}

void TReport::ScanDaysFlat(double DateFrom, double DateTo) { ScanDays(DateFrom, DateTo, &TReport::ReadDayFlat); }

void TReport::ScanDaysGrouped(double DateFrom, double DateTo) {
    ScanDays(DateFrom, DateTo, &TReport::ReadDayGrouped);
}

void TReport::ScanDays(double DateFrom, double DateTo, DayReader reader) {
    if (!std::isfinite(DateFrom) || !std::isfinite(DateTo)) return;
    const double lastDay = DayOf(DateTo);
    double day = DayOf(DateFrom);
    double timeFrom = TimeOf(DateFrom);
    auto timeTo = [&](double d) { return d == lastDay ? TimeOf(DateTo) : kEndOfDay; };
    const double days = report::Nearest(lastDay - day) + 1;
    scanDays_ = days;
    scanRead_ = 0;
    while (lastDay >= day) {
        (this->*reader)(day, timeFrom, timeTo(day));
        if (stoppedInDay_) break;
        day += 1;
        timeFrom = 0;
        ++scanRead_;
        if (!DoProgress(WalkPercent(0))) break;
    }
}

int TReport::WalkPercent(double partRead) const {
    const int percent = NearestInt((scanRead_ + partRead) * 100.0 / scanDays_);
    return ShiftCount > 0 ? NearestInt((percent + 100.0 * ShiftIndex) / ShiftCount) : percent;
}

bool TReport::ScanShifts(const THostOperator& Operator, void (TReport::*scan)(double, double)) {
    // Whatever ends the walk, a later report counts its progress from scratch.
    struct Reset {
        TReport& r;
        ~Reset() { r.ShiftCount = r.ShiftIndex = 0; }
    } reset{*this};
    ShiftCount = static_cast<int>(Operator.Shifts.size());
    bool goOn = true;
    // The shift being read sets the base of the progress, so that it only grows.
    for (int i = 0; i < ShiftCount && goOn; ++i) {
        ShiftIndex = i;
        (this->*scan)(Operator.Shifts[i].Start, Operator.Shifts[i].End);
        goOn = !stoppedInDay_ && DoProgress(NearestInt((i + 1) * 100.0 / ShiftCount));
    }
    return goOn;
}

void TReport::ReadRows(double Day, double TimeFrom, double TimeTo, unsigned columns,
                       const std::function<void(const PaymentRow&)>& each,
                       const std::vector<std::string>* names, const std::function<void()>& restart) {
    if (!query_) return;
    const TPaymentArchive::DayRead read = query_->ReadDay(
        Day, TimeFrom, TimeTo, columns,
        [&](const PaymentRow& row) {
            each(row);
            return true;
        },
        names, restart);
    if (read.kind == TPaymentArchive::DayRead::MissingColumn)
        leftOut_.push_back(DateText(Day) + " " + TPaymentArchive::TableName(Day) + " " + read.column);
    else if (read.kind == TPaymentArchive::DayRead::Stopped)
        stoppedInDay_ = true;
}

bool TReport::DoProgress(int Percent) {
    bool answer = true;
    // A copy: a sink may unadvise itself (or another) while it is asked.
    const std::vector<ComPtr<IUnknown>> sinks = sinks_;
    for (const auto& sink : sinks) {
        try {
            const auto progress = ComPtr<IReportProgress>::Query(sink.get());
            if (!progress) continue;
            std::int16_t goOn = -1;
            progress->Progress(static_cast<IReport*>(this), Percent, &goOn);
            answer = answer && goOn != 0;
        } catch (...) {
        }
    }
    return answer;
}

std::string TReport::DatesLine(double DateFrom, double DateTo) {
    if (DayOf(DateFrom) == DayOf(DateTo))
        return "  С " + ShortTimeText(DateFrom) + " ПО " + ShortTimeText(DateTo) + " " + DateText(DateFrom);
    return "  С " + ShortTimeText(DateFrom) + " " + DateText(DateFrom) + " ПО " + ShortTimeText(DateTo) + " " +
           DateText(DateTo);
}

std::string TReport::TitleLine(const std::string& Title) { return Title.empty() ? "" : "  " + Title + kCRLF; }

std::string TReport::NotBuiltLine(NotBuilt why, double day) {
    switch (why) {
    case NotBuilt::TooLarge: return "  ОТЧЕТ НЕ ПОСТРОЕН: ИТОГ СЛИШКОМ ВЕЛИК";
    case NotBuilt::DayUnread: return "  ОТЧЕТ НЕ ПОСТРОЕН: АРХИВ ЗА " + DateText(day) + " НЕ ПРОЧИТАН";
    default: return "  ОТЧЕТ НЕ ПОСТРОЕН";
    }
}

std::string TReport::ReportText(const std::function<std::string()>& header,
                                const std::function<void(std::string&)>& body) noexcept {
    ClearErrorInfo();
    std::string text, why;
    NotBuilt kind = NotBuilt::Failed;
    double day = 0;
    struct Pending {
        TReport& r;
        ~Pending() {
            r.pendingHeader_.clear();
            r.headerInBody_ = false;
        }
    } pending{*this};
    try {
        text = header();
        pendingHeader_ = text;
        headerInBody_ = false;
        std::string built;
        InOneView([&] { body(built); });
        // In the room in front that a large body leaves for it: no second copy.
        if (!headerInBody_) built.insert(0, text);
        return built;
    } catch (const ETotalOverflow& e) {
        kind = NotBuilt::TooLarge;
        why = e.what();
    } catch (const EArchiveRead& e) {
        kind = NotBuilt::DayUnread;
        day = e.Day();
        why = e.what();
    } catch (const std::bad_alloc&) {
        why = "Out of memory";
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "Unspecified error";
    }
    // No part of the body: a report is whole or says that it is not.
    try {
        text += NotBuiltLine(kind, day) + kCRLF;
    } catch (...) {
    }
    SetErrorInfo(kReportFailed, why);
    return text;
}

std::string TReport::PeriodReport(double DateFrom, double DateTo, const std::string& Title) {
    return ReportText(
        [&] {
            HeaderText = "  " + Upper(GetName()) + " ЗА ПЕРИОД" + kCRLF + DatesLine(DateFrom, DateTo) + kCRLF +
                         kCRLF + TitleLine(Title);
            return HeaderText + kCRLF;
        },
        [&](std::string& text) { BuildPeriodBody(DateFrom, DateTo, text); });
}

std::string TReport::ShiftReport(const THostShift* Shift, const std::string& Title) {
    if (!Shift) return std::string();
    return ReportText(
        [&] {
            HeaderText = "  " + Upper(GetName()) + " ЗА СМЕНУ" + kCRLF + "  Начало смены: " + DateText(Shift->Start) +
                         " в " + ShortTimeText(Shift->Start) + kCRLF + "  Оператор: " + Shift->OperatorName +
                         kCRLF + kCRLF + TitleLine(Title);
            return HeaderText + kCRLF;
        },
        [&](std::string& text) { BuildPeriodBody(Shift->Start, Shift->End, text); });
}

std::string TReport::OperatorReport(double DateFrom, double DateTo, const THostOperator* Operator,
                                    const std::string& Title) {
    if (!Operator) return std::string();
    return ReportText(
        [&] {
            HeaderText = "  " + Upper(GetName()) + " ПО ОПЕРАТОРУ" + kCRLF + DatesLine(DateFrom, DateTo) + kCRLF +
                         "  Оператор: " + Operator->Name + kCRLF + kCRLF + TitleLine(Title);
            return HeaderText + kCRLF;
        },
        [&](std::string& text) { BuildOperatorBody(*Operator, text); });
}

HRESULT TReport::GetClassID(GUID* ClassID) {
    if (!ClassID) return E_POINTER;
    *ClassID = class_.clsid;
    return S_OK;
}

// ---- TNameList -------------------------------------------------------------------

namespace {

// The position of key among keys, and whether it is there.
std::pair<std::size_t, bool> Locate(const std::vector<std::string>& keys, const std::string& key) {
    const auto it = std::lower_bound(keys.begin(), keys.end(), key);
    return {static_cast<std::size_t>(it - keys.begin()), it != keys.end() && *it == key};
}

}  // namespace

bool TNameList::Add(const std::string& name) {
    const std::string key = CaseFold(name);
    const auto [at, found] = Locate(keys_, key);
    if (found) return false;
    keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(at), key);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), name);
    return true;
}

bool TNameList::Remove(const std::string& name) {
    const auto [at, found] = Locate(keys_, CaseFold(name));
    if (!found) return false;
    keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(at));
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

bool TNameList::Contains(const std::string& name) const { return Locate(keys_, CaseFold(name)).second; }

std::string TNameList::Text() const { return TextOfLines(items_); }

void TNameList::SetText(const std::string& text) {
    items_.clear();
    keys_.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", pos);
        const std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty()) Add(line);
        if (end == std::string::npos) break;
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

// ---- TPropertiesReport -----------------------------------------------------------

HRESULT TPropertiesReport::QueryOtherInterface(const GUID& iid, void** object) {
    if (iid != IReportProperties::IID) return E_NOINTERFACE;
    ObjAddRef();
    *object = static_cast<IReportProperties*>(this);
    return S_OK;
}

void TPropertiesReport::ScanDaysForNames(double DateFrom, double DateTo) {
    ScanDays(DateFrom, DateTo, static_cast<DayReader>(&TPropertiesReport::ReadDayNames));
}

QWidget* TPropertiesReport::CreatePropertiesControl() {
    try {
        const TReportPropertiesFormClass formClass = GetPropertiesFormClass();
        if (!formClass) return nullptr;
        QWidget* form = formClass(*this);
        form->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        return form;
    } catch (...) {
        return nullptr;
    }
}

std::string TPropertiesReport::ListNames(double DateFrom, double DateTo) {
    return NamesText([&] {
        ScanDaysForNames(DateFrom, DateTo);
        DoProgress(100);
    });
}

std::string TPropertiesReport::NamesText(const std::function<void()>& scan) {
    ClearErrorInfo();
    try {
        InOneView(scan);
    } catch (const std::exception& e) {
        // The names read so far, and the host is told that the list is not whole.
        SetErrorInfo(kReportFailed, e.what());
    } catch (...) {
        SetErrorInfo(kReportFailed, "Unspecified error");
    }
    return SafeText([&](std::string& text) { text = KnownNames.Text(); });
}

std::string TPropertiesReport::ListNamesForShift(const THostShift* Shift) {
    return Shift ? ListNames(Shift->Start, Shift->End) : std::string();
}

std::string TPropertiesReport::ListNamesForPeriods(double, double, const THostOperator* Operator) {
    if (!Operator) return std::string();
    return NamesText([&] {
        ScanShifts(*Operator, static_cast<void (TReport::*)(double, double)>(&TPropertiesReport::ScanDaysForNames));
    });
}

void TPropertiesReport::SetNames(const std::string& Names) {
    try {
        KnownNames.SetText(Names);
    } catch (...) {
    }
}

std::string TPropertiesReport::GetProperties() {
    return SafeText([&](std::string& text) {
        text = std::to_string(Mode) + ":" + std::to_string(Option) + ":" + ChosenNames.Text();
    });
}

namespace {

// A decimal integer (optional sign), else 0.
std::int32_t ToIntDef0(std::string_view s) {
    std::int32_t v = 0;
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty() ? v : 0;
}

}  // namespace

void TPropertiesReport::SetProperties(const std::string& Text) {
    try {
        // "<mode>:<option>:<names>", split at the first two colons and nowhere else.
        const std::size_t first = Text.find(':');
        const std::size_t second = first == std::string::npos ? std::string::npos : Text.find(':', first + 1);
        Mode = ToIntDef0(std::string_view(Text).substr(0, first));
        Option = first == std::string::npos
                     ? 0
                     : ToIntDef0(std::string_view(Text).substr(first + 1, second == std::string::npos
                                                                               ? std::string::npos
                                                                               : second - first - 1));
        ChosenNames.SetText(second == std::string::npos ? std::string() : Text.substr(second + 1));
    } catch (...) {
    }
}

// ---- TReportPropertiesForm -------------------------------------------------------

TReportPropertiesForm::TReportPropertiesForm(TPropertiesReport& report)
    : QWidget(nullptr), report_(&report), hold_(static_cast<IReportProperties*>(&report)) {}

}  // namespace tolver

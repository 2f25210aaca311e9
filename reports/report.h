#pragma once
// The base of the report plug-ins.
//
// TReport finds the payment archive through the options server when it is made,
// walks a period day by day calling per-day readers that a report overrides, asks
// the advised progress sinks after every day whether to go on, builds the report
// headers and hands back the text. TPropertiesReport adds a properties page and the
// known and chosen payment names of a report that can be narrowed to some payments.

#include <QWidget>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/com/comobj.h"
#include "platform/com/comserv.h"
#include "reports/paymentarchive.h"
#include "reports/reportintf.h"

namespace tolver {

inline constexpr const char* kCRLF = "\r\n";
// What a builder of a large body reserves beyond it, so that the report's header goes
// in front of it without a second copy of the text.
inline constexpr std::size_t kHeaderRoom = 4096;

// Reserves room for size bytes of a report text (a hint: without the room the text
// grows as it must). The room of a large text is backed by large pages where the
// system has them: a statement of a month writes hundreds of megabytes once, and
// touching them page by page would cost as much as reading the archive.
void ReserveText(std::string& text, std::size_t size);

// Appends from to `to` and lets from go (empty, without room), giving its memory back
// as it is copied where it lies in a room of its own (see ReserveText).
void MoveText(std::string& to, std::string& from);

// Runs f(text), a report call's body: no failure leaves it; on one the text built so
// far goes back.
template <class F>
std::string SafeText(F&& f) noexcept {
    std::string text;
    try {
        f(text);
    } catch (...) {
    }
    return text;
}

// The lines, each followed by CR LF.
std::string TextOfLines(const std::vector<std::string>& lines);

// The order of report rows and groups: those without an article (number below 1)
// first, by department; then by article.
inline bool ArticleOrderLess(std::int32_t nArtA, std::int32_t nDepA, std::int32_t nArtB, std::int32_t nDepB) {
    const bool aCoded = nArtA >= 1, bCoded = nArtB >= 1;
    if (aCoded != bCoded) return !aCoded;
    return aCoded ? nArtA < nArtB : nDepA < nDepB;
}

// A total of a report that does not fit its type: the report is not built rather
// than printed with a wrong figure.
class ETotalOverflow : public Exception {
public:
    using Exception::Exception;
};

// Sums and counts that refuse to overflow (raise ETotalOverflow), so that no total is
// ever wrong.
Currency AddMoney(Currency a, Currency b);
Currency SubMoney(Currency a, Currency b);
Currency NegateMoney(Currency v);
double AddCount(double a, double b);

class TReport : public TComObject<IReportConnection, IPersist, IReport, IReportArchive> {
public:
    // cls: the class data of the report (its description gives group and name).
    explicit TReport(const ComClass& cls);
    ~TReport() override;

    // Asks the options server for the archive; every failure leaves no archive.
    void Initialize() override;

    // IReportConnection
    HRESULT Advise(IUnknown* Sink) override;
    HRESULT Unadvise(IUnknown* Sink) override;

    // The report's own operations, in slot order.
    virtual std::string GetName();
    virtual std::string GetGroup();
    virtual std::string GetOptionsSection();
    // Opens DatabaseName; an empty or unreadable name leaves no archive.
    virtual void OpenData();
    virtual void CloseData();
    virtual void ScanDaysFlat(double DateFrom, double DateTo);
    virtual void ScanDaysGrouped(double DateFrom, double DateTo);
    virtual void ReadDayFlat(double Day, double TimeFrom, double TimeTo) {}
    virtual void ReadDayGrouped(double Day, double TimeFrom, double TimeTo) {}
    virtual void BuildPeriodBody(double DateFrom, double DateTo, std::string& Body) = 0;
    virtual void BuildOperatorBody(const THostOperator& Operator, std::string& Body) = 0;

    // IReport. No failure leaves them; a report that cannot be built is told as
    // ReportText tells it.
    std::string PeriodReport(double DateFrom, double DateTo, const std::string& Title) override;
    std::string ShiftReport(const THostShift* Shift, const std::string& Title) override;
    std::string OperatorReport(double DateFrom, double DateTo, const THostOperator* Operator,
                               const std::string& Title) override;

    // IPersist
    HRESULT GetClassID(GUID* ClassID) override;

    // IReportArchive
    HRESULT CheckArchive(std::string* File, std::string* Why) override;
    std::string DaysLeftOut() override;

    // Asks every advised sink; true unless one of them said stop (all are asked).
    bool DoProgress(int Percent);

    const std::string& DatabaseName() const { return databaseName_; }
    void SetDatabaseName(std::string name) { databaseName_ = std::move(name); }
    // The archive; null when there is none.
    TPaymentArchive* Query() const { return query_.get(); }
    int ShiftCount = 0;
    int ShiftIndex = 0;
    std::string HeaderText;
    const ComClass& ReportClass() const { return class_; }

    // The end of a full day as the readers get it: its last millisecond.
    static constexpr double kEndOfDay = 86399999.0 / 86400000.0;

protected:
    // A report call's text: header() and then the body that body(Body) builds (the
    // builder of a large body reserves kHeaderRoom beyond it), the archive read as one
    // view. A call whose body cannot be built (a total too large to hold, a day that
    // could not be read whole, or any other failure) gives the header and
    // NotBuiltLine, and leaves the reason in the thread's error information under
    // kReportFailed; a call that builds its report leaves none.
    std::string ReportText(const std::function<std::string()>& header,
                           const std::function<void(std::string&)>& body) noexcept;
    enum class NotBuilt { Failed, TooLarge, DayUnread };
    // The line that takes the body's place when it cannot be built; day: the day that
    // could not be read.
    virtual std::string NotBuiltLine(NotBuilt why, double day);

    // The header of the report call under way (empty outside one), for a builder of a
    // large body to write in front of it as it starts; the builder calls HeaderInBody
    // once the body it gives begins with it, so that the body is not moved to make
    // room for the header.
    const std::string& PendingHeader() const { return pendingHeader_; }
    void HeaderInBody() { headerInBody_ = !pendingHeader_.empty(); }

    // Whether the walk was stopped inside a day: that day was not read whole, so its
    // rows are not to be shown.
    bool StoppedInDay() const { return stoppedInDay_; }

    using DayReader = void (TReport::*)(double, double, double);
    // The day loop shared by the scans.
    void ScanDays(double DateFrom, double DateTo, DayReader reader);
    // Walks an operator's shifts with scan, asking the sinks after each shift; false
    // when one said stop.
    bool ScanShifts(const THostOperator& Operator, void (TReport::*scan)(double, double));
    // Hands each row of a day to each (see TPaymentArchive::ReadDay), reading the
    // given columns; nothing without an archive. A day whose table lacks one of the
    // columns is left out and noted (DaysLeftOut); a day that cannot be read whole
    // raises EArchiveRead; the sinks are asked within the day as well, and a stop
    // there ends the walk (StoppedInDay). What each raises goes on to the caller.
    // restart, when given, lets the day be read in its stored order (see
    // TPaymentArchive::ReadDay): it brings the reader back to where the day began.
    void ReadRows(double Day, double TimeFrom, double TimeTo, unsigned columns,
                  const std::function<void(const PaymentRow&)>& each,
                  const std::vector<std::string>* names = nullptr,
                  const std::function<void()>& restart = nullptr);
    // Runs f with the archive read as one view and the sinks asked within days.
    template <class F>
    void InOneView(F&& f);
    // "  С hh:nn ПО hh:nn dd.mm.yyyy", or with both dates for several days.
    static std::string DatesLine(double DateFrom, double DateTo);
    // "  " + Title + CR LF, or nothing for an empty title.
    static std::string TitleLine(const std::string& Title);

private:
    // The percent of the walk when partRead of the day being read is read.
    int WalkPercent(double partRead) const;

    const ComClass& class_;
    std::string databaseName_;
    std::vector<ComPtr<IUnknown>> sinks_;
    std::unique_ptr<TPaymentArchive> query_;
    std::string openWhy_;                // why there is no archive
    std::string pendingHeader_;
    bool headerInBody_ = false;
    std::vector<std::string> leftOut_;  // the days the last call left out
    bool stoppedInDay_ = false;
    int scanRead_ = 0;      // days of the walk under way read so far
    double scanDays_ = 1;  // and its days
};

template <class F>
void TReport::InOneView(F&& f) {
    struct View {
        TReport& r;
        explicit View(TReport& report) : r(report) {
            r.stoppedInDay_ = false;
            r.leftOut_.clear();
            if (!r.query_) return;
            r.query_->SetWatch([&rep = r](double part) { return rep.DoProgress(rep.WalkPercent(part)); });
            r.query_->BeginRead();
        }
        ~View() {
            if (!r.query_) return;
            r.query_->EndRead();
            r.query_->SetWatch(nullptr);
        }
    } view(*this);
    f();
}

// Names sorted without regard to case, each at most once.
class TNameList {
public:
    // False when an equal name is there already.
    bool Add(const std::string& name);
    bool Remove(const std::string& name);
    bool Contains(const std::string& name) const;
    void Clear() {
        items_.clear();
        keys_.clear();
    }
    int Count() const { return static_cast<int>(items_.size()); }
    const std::vector<std::string>& Items() const { return items_; }
    // Each name followed by CR LF.
    std::string Text() const;
    // The non-empty lines of text (CR LF, LF or CR ended).
    void SetText(const std::string& text);

private:
    std::vector<std::string> items_;
    std::vector<std::string> keys_;  // the folded names, in the same order
};

class TPropertiesReport;
class TReportPropertiesForm;
using TReportPropertiesFormClass = TReportPropertiesForm* (*)(TPropertiesReport& report);

class TPropertiesReport : public TReport, public IReportProperties {
public:
    using TReport::TReport;

    // IUnknown of IReportProperties: the object's one identity.
    HRESULT QueryInterface(const GUID& iid, void** object) override { return ObjQueryInterface(iid, object); }
    std::uint32_t AddRef() override { return ObjAddRef(); }
    std::uint32_t Release() override { return ObjRelease(); }

    TNameList KnownNames;
    TNameList ChosenNames;
    std::int32_t Mode = 0;
    std::int32_t Option = 0;

    virtual TReportPropertiesFormClass GetPropertiesFormClass() { return nullptr; }
    virtual void ScanDaysForNames(double DateFrom, double DateTo);
    virtual void ReadDayNames(double Day, double TimeFrom, double TimeTo) {}

    // IReportProperties
    QWidget* CreatePropertiesControl() override;
    std::string ListNames(double DateFrom, double DateTo) override;
    std::string ListNamesForShift(const THostShift* Shift) override;
    std::string ListNamesForPeriods(double DateFrom, double DateTo, const THostOperator* Operator) override;
    void SetNames(const std::string& Names) override;
    std::string GetProperties() override;
    void SetProperties(const std::string& Text) override;

protected:
    HRESULT QueryOtherInterface(const GUID& iid, void** object) override;

private:
    // The known names after scan, the archive read as one view; a failure of the scan
    // leaves its reason in the thread's error information under kReportFailed.
    std::string NamesText(const std::function<void()>& scan);
};

// The base of a report's properties page. The page holds a reference to its report,
// so the report lives as long as the page does.
class TReportPropertiesForm : public QWidget {
    Q_OBJECT
public:
    explicit TReportPropertiesForm(TPropertiesReport& report);
    TPropertiesReport& Report() const { return *report_; }

private:
    TPropertiesReport* report_;
    ComPtr<IReportProperties> hold_;
};

}  // namespace tolver

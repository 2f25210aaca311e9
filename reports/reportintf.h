#pragma once
// The interfaces between the report host and a report plug-in. None of them is an
// automation interface: they derive from IUnknown directly and are called through
// their vtables, in the slot order declared here. Text crosses as UTF-8.
//
// A report text is one string of lines, each ended by CR LF, with in-band markers:
// a line that begins with kRuleLine is a rule line, kColumnBreak separates the
// columns of a line, and a line that begins with kHeaderLine is a table header.

#include <cstdint>
#include <string>

#include "common/hostobjects.h"
#include "platform/com/hresult.h"
#include "platform/com/unknown.h"

class QWidget;

namespace tolver {

inline constexpr char kRuleLine = '\x05';
inline constexpr char kColumnBreak = '\x06';
inline constexpr char kHeaderLine = '\x07';

class IPersist : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{0000010C-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    virtual HRESULT GetClassID(GUID* ClassID) = 0;

protected:
    ~IPersist() = default;
};

// Progress sinks that the host advises on a report.
class IReportConnection : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{5FF203C0-BE0F-40C0-AB94-6CF72C11DDC4}");
    using Base = IUnknown;

    // E_POINTER for no sink.
    virtual HRESULT Advise(IUnknown* Sink) = 0;
    // Removes one advice of the sink; E_FAIL when it was not advised.
    virtual HRESULT Unadvise(IUnknown* Sink) = 0;

protected:
    ~IReportConnection() = default;
};

// A report call that cannot build its report (a total too large to hold, a day of the
// archive that could not be read whole) gives the header and a line that says so, and
// leaves the reason in the thread's error information under this code
// (TakeErrorInfo); a call that builds its report leaves none.
inline constexpr HRESULT kReportFailed = E_FAIL;

class IReport : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{0B6A30E5-1A2E-435F-8494-369A26FA14FE}");
    using Base = IUnknown;

    virtual std::string PeriodReport(double DateFrom, double DateTo, const std::string& Title) = 0;
    virtual std::string ShiftReport(const THostShift* Shift, const std::string& Title) = 0;
    // The dates only appear in the header; the body covers the operator's shifts.
    virtual std::string OperatorReport(double DateFrom, double DateTo, const THostOperator* Operator,
                                       const std::string& Title) = 0;

protected:
    ~IReport() = default;
};

// Implemented by the host's sinks. The report sets Continue to a nonzero value
// before the call; a sink sets it to 0 to stop the work. The result is ignored.
class IReportProgress : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{CB4F1FC3-55BF-44C9-8182-5679C5D21AF5}");
    using Base = IUnknown;

    virtual std::int32_t Progress(IUnknown* Report, std::int32_t Percent, std::int16_t* Continue) = 0;

protected:
    ~IReportProgress() = default;
};

// The properties of a report that can be narrowed to some payments.
class IReportProperties : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{F11E39E1-EDA3-415F-BE4F-A93C6C39CF93}");
    using Base = IUnknown;

    // The report's properties page, owned by the application; null when it has none.
    // The host gives it its parent.
    virtual QWidget* CreatePropertiesControl() = 0;
    virtual std::string ListNames(double DateFrom, double DateTo) = 0;
    virtual std::string ListNamesForShift(const THostShift* Shift) = 0;
    virtual std::string ListNamesForPeriods(double DateFrom, double DateTo, const THostOperator* Operator) = 0;
    virtual void SetNames(const std::string& Names) = 0;
    // "<mode>:<option>:" followed by the chosen names, each ended by CR LF.
    virtual std::string GetProperties() = 0;
    virtual void SetProperties(const std::string& Text) = 0;

protected:
    ~IReportProperties() = default;
};

// The report's own account of its payment archive, for a host that shows more than
// the text (tolver-report); the report host of the point of sale does not ask it.
class IReportArchive : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{FC0FDE15-5128-4986-A79C-D421BA48A680}");
    using Base = IUnknown;

    // S_OK when the report holds a payment archive with day tables that it can read;
    // S_FALSE, with the reason, when it holds none (its report is then all zero).
    // File: the archive the report was given. A writer at work is waited for, the
    // advised sinks being asked as during a report.
    virtual HRESULT CheckArchive(std::string* File, std::string* Why) = 0;
    // The days that the last report call left out because their table lacks a column
    // that the report reads, one line each: "dd.mm.yyyy yyyy-mm-dd_Vora Column".
    virtual std::string DaysLeftOut() = 0;

protected:
    ~IReportArchive() = default;
};

// The reports component category of the host.
inline constexpr GUID CATID_Reports = MakeGUID("{01353A90-628D-41E7-A4A1-D27685D48787}");
inline constexpr const char* kReportsCategoryName = "Отчеты";
inline constexpr std::uint32_t kReportsCategoryLcid = 0x0800;

}  // namespace tolver

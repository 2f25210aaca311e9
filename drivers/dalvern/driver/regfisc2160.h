#pragma once
// TRegFisc2160: the driver object of the fiscal register "РФ 2160". It owns the
// protocol engine, the settings objects with their frames and a private copy of the
// host's setup, and turns every operation of the driver contract into command texts
// on the engine's queue (regfisc2160commands.h): letters as Windows-1251 bytes, names
// and free texts in the register's code page, numbers as digits or as raw big-endian
// bytes. Each operation checks its arguments against the limits of the
// current firmware row first and returns at once: the id of its command, -1 when
// refused (nothing queued), or 0 where stated. The outcome arrives later as
// OnCommandResult. Reports and programming are in regfisc2160program.cpp.
//
// Everything runs on the host's main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QDate>
#include <QDateTime>

#include "common/cashgl.h"
#include "drivers/contract/cashdriverobject.h"
#include "drivers/contract/driverframes.h"
#include "drivers/contract/receipttally.h"
#include "drivers/dalvern/driver/dalvern_tlb.h"
#include "drivers/dalvern/engine/regfisc2160commands.h"
#include "drivers/dalvern/engine/regfisc2160protocol.h"
#include "drivers/dalvern/forms/regfisc2160advpropertiesform.h"
#include "drivers/dalvern/forms/regfisc2160propertiesform.h"
#include "drivers/dalvern/settings/regfisc2160gl.h"

namespace tolver {

using TRegFisc2160Frames = TDriverFrames<
    TSettingsFrame<TfrmRegFisc2160Properties, &TfrmRegFisc2160Properties::PropertiesToForm,
                   &TfrmRegFisc2160Properties::FormToProperties>,
    TSettingsFrame<TfrmRegFisc2160AdvProperties, &TfrmRegFisc2160AdvProperties::PropertiesToForm,
                   &TfrmRegFisc2160AdvProperties::FormToProperties>>;

// The frames and their Show and Take members come from TRegFisc2160Frames.
class TRegFisc2160 : public TRegFisc2160Frames {
public:
    // The library's own interface and events (TCashDriverAutoOf).
    using AutoInterface = IRegFisc2160CashDriverAuto;
    static constexpr GUID EventsIID = IRegFisc2160CashDriverAutoEvents::IID;

    // A date or number range the operator chose, or none when cancelled.
    struct DateRange {
        QDate from, to;
    };
    struct NumberRange {
        int from = 1, to = 1;
    };

    // protocol: the engine to drive; by default one on the default line (a termios
    // port on the system clock, platform/serial/defaultline.h).
    explicit TRegFisc2160(std::unique_ptr<TRegFisc2160Protocol> protocol = nullptr);
    ~TRegFisc2160();
    TRegFisc2160(const TRegFisc2160&) = delete;
    TRegFisc2160& operator=(const TRegFisc2160&) = delete;

    // The automation object; while it is unset the events go nowhere.
    TCashDriverEvents Events;
    // The operator's answers before a periodic report (by default the modal dialogs).
    std::function<std::optional<DateRange>(const std::string& prompt)> AskDates;
    std::function<std::optional<NumberRange>(const std::string& prompt)> AskNumbers;
    // The moment the date and time programming items set.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    TRegFisc2160Protocol& Protocol() { return *protocol_; }
    TCashRegFisc2160DriverProperties& Settings() { return settings_; }
    TCashRegFisc2160DriverAdvProperties& AdvSettings() { return advSettings_; }
    // The row of the firmware-version table the engine identified (its limits, which
    // the host reads), and "РФ 2160", #1, the row's name.
    const TCashDriverConstraints& Version() const;
    const TCashDriverConstraints* Constraints() const { return &Version(); }
    std::string CashModelDescription() const;
    // Empty: this register's header is not captured.
    std::string GetBeginMsg() const { return {}; }

    // The host's setup as last put: articles, tax rates, cashiers, header and footer.
    TSpoolerSetup Setup;
    std::int32_t CashierNumber = -1;     // the cashier of the last RegOp, -1 for none
    std::string CashierPassword;         // the password given with it
    std::string CheckInfo;               // OpenCheck's text, printed before the close
    bool PrintingInfo = false;           // AddInfo prints (true) or collects (false)
    std::vector<std::string> PendingInfo;  // texts waiting for the next sale or the close

    std::int32_t Init(std::string& cause);
    void Done();

    // Department sales: the register sells by article only.
    std::int32_t AddPayDep(const std::string&, double, Currency, Currency, std::int32_t) const { return -1; }
    std::int32_t DelPayDep(Currency, Currency, std::int32_t) const { return -1; }

    std::int32_t AddPayArt(std::int32_t NArt, Currency SumWithoutNDS, Currency Sum);
    std::int32_t AddPayArtInt(std::int32_t Count, std::int32_t NArt, Currency SumWithoutNDS, Currency Sum);
    std::int32_t AddPayArtFrac(std::int32_t NArt, double Count, Currency SumWithoutNDS, Currency Sum);
    std::int32_t SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                        const std::string& Description, bool Return);
    std::int32_t DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    std::int32_t OpenCheck(const std::string& Info);
    std::int32_t AddInfo(const std::string& Text);
    std::int32_t PrintInfoText(const std::string& Text);
    std::int32_t CloseCheck(TPayType PayType, Currency Sum);
    std::int32_t AddCash(TPayType PayType, const std::string& Info, Currency Sum);
    std::int32_t ReturnCash(TPayType PayType, const std::string& Info, Currency Sum);
    std::int32_t RegOp(std::int32_t NOp, const std::string& Password);
    std::int32_t UnRegOp();
    // Nothing to wait for: the host waits out its own ticks. Terminate stops the
    // queue at the register's side: the command in flight finishes, the next one waits
    // for the next Init.
    std::int32_t Restore() const { return 0; }
    std::int32_t Terminate() {
        protocol_->Terminate();
        return 0;
    }
    std::int32_t ProgramAfterReg(const std::string&) const { return 0; }

    bool GetInInteraction() const { return protocol_->InInteraction() != 0; }
    std::string GetID() const { return protocol_->DeviceId(); }
    std::string GetTrashID() const { return GetID(); }

    // Reports and programming by 0-based position: 0 when queued, -1 when Items
    // chooses no position of the list.
    std::int32_t GetXReport(const std::string& Items);
    std::int32_t GetZReport(const std::string& Items);
    std::int32_t GetProgram(const std::string& Items);

    // Programming commands: the command id, or -1 when refused.
    std::int32_t ProgramDate(const QDateTime& When);
    std::int32_t ProgramTime(const QDateTime& When);
    std::int32_t ProgramHeaderLine(int N, const std::string& Text);
    std::int32_t ProgramTrailerLine(int N, const std::string& Text);
    std::int32_t ProgramTaxRates();
    std::int32_t ProgramTaxRatesEx();
    std::int32_t ProgramCashier(std::int32_t N, const std::string& Name, const std::string& Password);

private:
    std::int32_t SellArticle(std::int32_t NArt, double Count, bool countOne, Currency SumWithoutNDS, Currency Sum);
    void FlushInfo();
    void PrintNow(const std::string& Text);
    void OpenMoneyBoxAfter(std::int32_t id);
    void CommandResult(std::int32_t id, std::int32_t result);
    std::int32_t CashMove(const char* code, TPayType PayType, const std::string& Info, Currency Sum);
    std::int32_t ProgramLine(const char* code, int N, int lines, const std::string& Text);
    void Message(const std::string& text);
    void ProgramArticles();
    std::string TaxFields(bool withAdv) const;

    std::unique_ptr<TRegFisc2160Protocol> protocol_;
    TReceiptTally receipt_;
    // Closes and cash moves whose acceptance opens the drawer.
    std::set<std::int32_t> drawerAfter_;
    TCashRegFisc2160DriverProperties settings_;
    TCashRegFisc2160DriverAdvProperties advSettings_;
};

static_assert(CashDriverObject<TRegFisc2160>);

// The automation object of the Dalvern library, class RegFisc2160CashDriverAuto: one
// method table answers both ICashDriverAuto and IRegFisc2160CashDriverAuto; events go
// out under IRegFisc2160CashDriverAutoEvents, which EventIID names.
using TRegFisc2160CashDriverAuto = TCashDriverAutoOf<TRegFisc2160>;

// A password the register takes: decimal digits (an optional sign) within 0..99999999.
std::optional<std::int64_t> ParsePassword(const std::string& text);

}  // namespace tolver

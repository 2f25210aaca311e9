#pragma once
// The driver object of the Samsung ER-350F STU: it owns the key-stroke engine, the
// settings objects with their frames and a copy of the host's setup, and turns every
// operation of the driver contract into a sequence of keys. Each operation checks
// its arguments against the limits of the firmware version first, queues its keys
// and returns at once: a command id (the id of its last key), -1 when refused
// (nothing queued), or 0 where stated. The outcome arrives later as OnCommandResult.
// Outside the receipt it runs X and Z reports, programs the register from the setup
// and captures the receipt header from the print copy (samser350fprogram.cpp).
//
// Everything runs on the host's main thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <QTime>

#include "common/cashgl.h"
#include "drivers/contract/cashdriverobject.h"
#include "drivers/contract/driverframes.h"
#include "drivers/contract/receipttally.h"
#include "drivers/contract/sorbel_tlb.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
#include "drivers/sorbel/settings/samser350fgl.h"
#include "drivers/sorbel/settings/samser350fsettings.h"

namespace tolver {

using TSamsER350FFrames = TDriverFrames<
    TSettingsFrame<TfrmSamsER350FProperties, &TfrmSamsER350FProperties::PropertiesToControls,
                   &TfrmSamsER350FProperties::ControlsToProperties>,
    TSettingsFrame<TfrmSamsER350FAdvProperties, &TfrmSamsER350FAdvProperties::PropertiesToControls,
                   &TfrmSamsER350FAdvProperties::ControlsToProperties>>;

// The frames and their Show and Take members come from TSamsER350FFrames.
class TSamsER350F : public TSamsER350FFrames {
public:
    // The contract's own interface and events (TCashDriverAutoOf).
    using AutoInterface = ICashDriverAuto;
    static constexpr GUID EventsIID = ICashDriverAutoEvents::IID;

    // Where the header captured from the print copy is kept (HKEY_LOCAL_MACHINE).
    static constexpr const char* kBeginMsgKey = "\\Software\\Norvale\\Spooler";
    static constexpr const char* kBeginMsgValue = "Temp";
    static constexpr const char* kBeginMsgScrambleKey = "418203";
    // The print copy that the header capture looks through before it gives up.
    static constexpr int kCaptureLineLimit = 100;
    // The characters of one print-copy line that the capture keeps.
    static constexpr std::size_t kCaptureLineWidth = 1024;

    // Kinds of the keys queued (timing and checking of the engine, SamsKind).
    static constexpr std::uint8_t kKindShort = kSamsKindShort;
    static constexpr std::uint8_t kKindPrint = kSamsKindPrint;
    static constexpr std::uint8_t kKindNoEcho = kSamsKindNoEcho;
    static constexpr std::uint8_t kKindRaw = kSamsKindRaw;
    static constexpr std::uint8_t kKindReport = kSamsKindReport;
    static constexpr std::uint8_t kKindStart = kSamsKindStart;
    static constexpr std::uint8_t kKindSale = kSamsKindSale;
    static constexpr std::uint8_t kKindTextEnd = kSamsKindTextEnd;

    // protocol: the engine to drive; by default one on the default line (a termios
    // port on the system clock, platform/serial/defaultline.h).
    explicit TSamsER350F(std::unique_ptr<TSamsER350FProtocol> protocol = nullptr);
    ~TSamsER350F();
    TSamsER350F(const TSamsER350F&) = delete;
    TSamsER350F& operator=(const TSamsER350F&) = delete;

    // The automation object; while it is unset the events go nowhere.
    TCashDriverEvents Events;
    // "Spooler.ini" in the host program's folder (section "Sorbel", "NoAutoProgram").
    std::string IniFileName;
    // The time that programming item 0 sets.
    std::function<QTime()> CurrentTime = [] { return QTime::currentTime(); };

    TSamsER350FProtocol& Protocol() { return *protocol_; }
    TCashSamsER350FDriverProperties& Settings() { return settings_; }
    TCashSamsER350FDriverAdvProperties& AdvSettings() { return advSettings_; }
    // The firmware-version row of the basic settings' Model: the limits the operations
    // check and Constraints advertise, which follow the user's choice at once (the
    // engine takes the row over at Init).
    const TCashDriverConstraints& Version() const;
    // The limits the host reads, and "Samsung ER-350F STU", #1, the row's name: both
    // of the basic settings' Model, null and no name for one outside the table.
    const TCashDriverConstraints* Constraints() const;
    std::string CashModelDescription() const;

    // The host's setup as last put (departments, articles, taxes, cashiers, header,
    // decimal places).
    TSpoolerSetup Setup;
    // Print-copy lines (Windows-1251) collected for the header capture.
    std::vector<std::string> PrintCopy;
    bool HeaderCaptured = false;  // the capture has finished: found or given up
    std::string CaptureText;      // the header found in the print copy
    std::string BeginMsg;         // the header as stored and reported
    std::string GetBeginMsg() const { return BeginMsg; }

    // Hands model, key-check mode, waits and priority to the engine, adapts the
    // advanced frame to the model and opens the line: 0, or -1 with cause (also for a
    // Model outside the firmware table).
    int Init(std::string& cause);
    void Done();

    // Receipt operations.
    int PayDepartment(const std::string& Name, std::int32_t NDep, Currency SumWithoutNDS, Currency Sum);
    int PayDepartmentQty(const std::string& Name, std::int32_t Count, Currency SumWithoutNDS, Currency Sum,
                         std::int32_t NDep);
    int PayDepartmentFrac(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                          std::int32_t NDep);
    int VoidDepartment(std::int32_t NDep, Currency SumWithoutNDS, Currency Sum);
    // The contract's department sale, split by its count (SellByCount), and void.
    int AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep);
    int DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep) {
        return VoidDepartment(NDep, SumWithoutNDS, Sum);
    }
    // -1: the register's articles are programmed from the setup only.
    int SetArt(std::int32_t, std::int32_t, std::int32_t, Currency, const std::string&, bool) const { return -1; }
    int AddPayArt(std::int32_t NArt, Currency SumWithoutNDS, Currency Sum);
    int AddPayArtInt(std::int32_t Count, std::int32_t NArt, Currency SumWithoutNDS, Currency Sum);
    int AddPayArtFrac(std::int32_t NArt, double Count, Currency SumWithoutNDS, Currency Sum);
    int DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    int CloseCheck(TPayType PayType, Currency Sum);
    int AddCash(TPayType PayType, const std::string& Info, Currency Sum);
    int ReturnCash(TPayType PayType, const std::string& Info, Currency Sum);
    // 0, or -1 for a text with nothing to print.
    int AddInfoText(const std::string& Text, bool Receipt);
    void PrintTextLines(const std::string& Text, bool Receipt);
    int AddInfo(const std::string& Text) { return AddInfoText(Text, true); }
    int OpenCheck(const std::string& Info) { return AddInfo(Info); }
    int RegOp(std::int32_t NOp, const std::string& Password);
    int UnRegOp();
    // An id, or 0 for firmware row 0, which has no keyboard lock.
    int LockKeyboard();
    int UnlockKeyboard();
    int Restore();
    int Terminate() { return UnlockKeyboard(); }

    bool GetInInteraction() const;
    std::string GetID() const;
    std::string GetTrashID() const { return GetID(); }
    // The user picked another model in the basic frame (and Init takes it over).
    void ModelChanged(int model);

    // Reports and programming: 0 when queued, -1 when no known item is chosen.
    // Items lists 0-based item indexes, each followed by ";".
    int GetXReport(const std::string& Items);
    int GetZReport(const std::string& Items);
    int GetProgram(const std::string& Items);
    // Always 0; after a header capture that gave up, "BeginMsg" programs the header
    // from the setup (unless "NoAutoProgram" is set).
    int ProgramAfterReg(const std::string& Param);

    // Programming steps: 0, or -1 when refused (nothing queued).
    int ProgramTime(int hours, int minutes);
    int SetSystemMode(int mode, int value);
    // Whether the stored value of a system mode is one its list offers (always for
    // the modes that are no list); one that is not is never keyed.
    bool SystemModeChosen(int mode) const;
    int SetDecimals(int digitCount);
    int SetTaxRate(std::int32_t N, Currency rate);
    int ProgramDepartment(std::int32_t NDep, std::int32_t NTax);
    int ProgramArticle(std::int32_t NArt, std::int32_t NDep, Currency Price, std::int32_t NTax);
    int ProgramOperator(std::int32_t NOp, const std::string& Password);
    int ProgramHeaderLine(int n, const std::string& text);
    int ProgramDepName(std::int32_t NDep, const std::string& name);
    int ProgramArtName(std::int32_t NArt, const std::string& name);

    // The engine's print relay: the header capture sees the character (Windows-1251),
    // then the host gets it as OnPrint.
    void CapturePrintChar(int Char);
    void SaveBeginMsg();
    void LoadBeginMsg();

    // Raises an event on the automation object's sink; failures are ignored, texts
    // are cut to 255 characters.
    void RaiseText(DISPID id, const std::string& text) { Events.Text(id, text); }
    void RaiseCommandResult(std::int32_t id, std::int32_t result) { Events.CommandResult(id, result); }

private:
    std::optional<std::int32_t> Units(Currency amount) const;
    std::optional<std::int32_t> DepartmentPrice(std::int32_t NDep, Currency SumWithoutNDS, Currency Sum) const;
    std::optional<std::int32_t> PriceUnits(Currency SumWithoutNDS, Currency Sum) const;
    bool ArticlePrice(std::int32_t NArt, Currency SumWithoutNDS, Currency Sum, std::optional<std::int32_t>& price) const;
    void StartOperation(const std::function<void()>& count = {});
    void KeyNumber(std::int32_t units);
    int FinishOperation(std::uint8_t key);
    int FinishLine(std::uint8_t key, std::int32_t article, std::optional<std::int32_t> price, std::int64_t thousandths,
                   int sign);
    int SellDepartment(const std::string& Name, std::int32_t NDep, std::int32_t price, std::int64_t thousandths,
                       const std::function<void()>& count);
    int SellArticle(std::int32_t NArt, std::optional<std::int32_t> price, std::int64_t thousandths,
                    const std::function<void()>& count);
    int CashMove(const char* log, std::uint8_t key, const std::string& Info, Currency Sum);
    int PrintReports(const std::string& Items, std::uint8_t keyPos, const char* startQuery, const char* endQuery);
    bool ProgramHeader();
    void FindHeader();
    bool NoAutoProgram() const;
    void Query(const char* text, std::uint8_t keyPos);

    std::unique_ptr<TSamsER350FProtocol> protocol_;
    TReceiptTally receipt_;  // the open receipt's lines, for the tender check
    TCashSamsER350FDriverProperties settings_;
    TCashSamsER350FDriverAdvProperties advSettings_;
};

static_assert(CashDriverObject<TSamsER350F>);

// The automation object of the Sorbel library, class CashDriverAuto.
using TCashDriverAuto = TCashDriverAutoOf<TSamsER350F>;

}  // namespace tolver

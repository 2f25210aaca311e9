#pragma once
// The main window's logic and shared state, apart from its widgets, so that tests
// drive it with a fake view and by calling the tick handlers:
//   - the live setup and its edit copy, loaded from the registry store (with the
//     migration from the older key) and saved back;
//   - the driver binding: the driver object created by ProgID, the client wrapper
//     attached to it, its limits;
//   - the link state machine (connect sequence, restore / poll / terminate ticks,
//     pause, reconnect, the close road);
//   - the driver's events: protocol log (which also tells every message box shown),
//     error and query boxes, cash tape, model change, and the command-result relay
//     to every sink of every client;
//   - the cashier sign-on and its re-sign-on when the link returns.
// The automation server and the dialogs reach all of it through TfrmMain, which
// derives from this class. Everything runs on the main thread.

#include <QDate>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "spooler/cashdriverauto.h"
#include "spooler/spoolerclient.h"

namespace tolver {

// What the logic asks of the window around it.
class ISpoolerView {
public:
    virtual ~ISpoolerView() = default;
    virtual void SetInfo(const std::string& text) = 0;  // lInfo
    virtual void ShowStatus() = 0;                      // show the status window
    virtual void HideStatus() = 0;
    virtual void SetMenuFull(bool full) = 0;
    virtual void PrintChar(std::int32_t code) = 0;  // the cash tape
    virtual void StartCommandResultTimer() = 0;     // the 50 ms delivery timer
    virtual void PushDriverProperties() = 0;        // the connection dialog, before a reconnect
    // Closes the main window from the event loop (the close road follows).
    virtual void PostClose() = 0;
    // Shows a message box from the event loop, after the current call has returned.
    virtual void PostMessage(const std::string& text, const std::string& title) = 0;
    // LinkState, DriverError or the last poll's outcome changed.
    virtual void LinkChanged() = 0;
};

enum TLinkState : std::uint8_t { lsRestoring = 0, lsConnected = 1, lsTerminating = 2, lsStopped = 3 };
enum TPendingAction : std::int32_t { paNone = 0, paReconnect = 1, paQuit = 2 };

struct TCommandResult {
    std::int32_t CommandID;
    std::int32_t CommandResult;
};

// Status texts of the link.
inline constexpr const char* kTextNoDriver = "Кассовый аппарат не установлен";
inline constexpr const char* kTextDriverUnavailable = "Объект КА недоступен";
inline constexpr const char* kTextDriverOutdated = "Версия драйвера кассового аппарата устарела";
inline constexpr const char* kTextRestoring = "Восстановление связи с кассовым аппаратом...";
inline constexpr const char* kTextTerminating = "Прерывание связи с кассовым аппаратом...";
inline constexpr const char* kTextPause = "Связь с кассовым аппратом временно прервана.";
inline constexpr const char* kTextLinkFailure =
    "Сбой коммуникации с КА:\r\nВозможные причины:\r\n -кассовый аппарат выключен;\r\n -обрыв кабеля;\r\n "
    "-неисправность кассового аппарата\r\n\r\nВыводить в дальнейшем это сообщение?";

class TSpoolerCore {
public:
    // Creates the driver object of a ProgID (CreateOleObject unless replaced).
    using TObjectFactory = std::function<ComPtr<IDispatch>(const std::string& progId)>;

    explicit TSpoolerCore(ISpoolerView& view, TObjectFactory createObject = {});
    virtual ~TSpoolerCore();
    TSpoolerCore(const TSpoolerCore&) = delete;
    TSpoolerCore& operator=(const TSpoolerCore&) = delete;

    // ---- shared state ------------------------------------------------------------
    std::vector<std::shared_ptr<ISpoolerClient>> Clients;  // in order of connection
    std::deque<TCommandResult> CommandResults;             // oldest first
    bool DriverError = false;
    std::int32_t TerminateID = -1;
    std::int32_t RestoreID = -1;
    bool NotifyDeclined = false;
    bool CashierRestored = false;
    std::int32_t CashierN = -1;
    std::int32_t FailCount = 0;
    std::int32_t TerminateTicks = 0;
    std::int32_t RestoreTicks = 0;
    std::uint8_t LinkState = lsStopped;
    std::int32_t PendingAction = paNone;
    TCashDriverAuto1 Driver;
    TSpoolerSetup Setup;
    TSpoolerSetup EditSetup;
    bool CheckOpen = false;
    TCashDriverConstraints Constraints;
    bool CanQuit = false;
    bool LastPollOk = false;  // the register answered the last poll

    // The date of the protocol log's file name (today unless replaced).
    std::function<QDate()> Today;

    // ---- setup -------------------------------------------------------------------
    // From "\Software\Norvale\Spooler\Setup", else from the older key, whose list
    // keys are then forgotten so that every save goes to the new key.
    void LoadSetup();
    void SaveSetup();
    // The apply step after the settings dialog has filled Setup: sort the lists,
    // hand the setup to the driver, take the driver's advanced settings back, save.
    void ApplySettings();

    // ---- driver binding ------------------------------------------------------------
    void CreateDriverObject();
    void ReleaseDriverObject();
    std::int32_t AttachDriver();
    void ReadConstraints();
    std::int32_t InitDriver(std::string& Cause);
    void DoneDriver();
    void DisconnectWrapper();
    // The live driver object, or null.
    ComPtr<IDispatch> DriverObject() const;

    // ---- link state machine ----------------------------------------------------------
    void ConnectDriver();
    bool RestoreDriver();
    bool TerminateDriver();
    void RequestDisconnect();
    void Pause();  // "Пауза"
    // The close road: false while the link is still being taken down (the close is
    // refused now and posted again once CanQuit is set).
    bool CloseQuery();
    void TimerStateTick();
    void TimerState1Tick();

    // ---- events and relay ----------------------------------------------------------
    void DoProtocolLog(const std::string& Text);
    void DoProtocolInfo(const std::string& Text) { DoProtocolLog(Text); }
    void DoProtocolError(const std::string& Text);
    void DoProtocolQuery(const std::string& Text);
    void DoPrintChar(std::int32_t Char);
    void DoCommandResult(std::int32_t CommandID, std::int32_t CommandResult);
    void TimerCommandResultTick();
    // "dd-mm-yyyy_Spooler.log.txt" of the given day in the program's writable folder.
    static std::string ProtocolLogFileName(const QDate& day);

    void AddClient(std::shared_ptr<ISpoolerClient> Client);
    // When the last client has gone, the main window closes (posted).
    void RemoveClient(const ISpoolerClient* Client);

    // ---- cashier and receipts ----------------------------------------------------------
    std::int32_t RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports, const std::string& Password);
    std::int32_t UnregisterCashier();
    // "Закрыть &чек": the receipt is closed in cash; an error is swallowed.
    void CloseCheckNow();
    std::string GetBeginMsg();

protected:
    ISpoolerView& view_;

private:
    void BindDriverEvents();
    void CompletionHook(std::int32_t CommandID);
    void HideUnlessError();
    void SetLinkState(std::uint8_t state);

    TObjectFactory createObject_;
    bool closing_ = false;           // the close road has begun
    bool logFailureShown_ = false;   // a failed protocol-log write was reported
    std::function<void(const std::string&)> previousMessageLog_;  // the box notices' sink before ours
};

}  // namespace tolver

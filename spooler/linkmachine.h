#pragma once
// The link to the register as one state machine over the two 1 s timers:
//
//   state          timerState tick         timerState1 tick          completion of
//   lsRestoring    kRestoreTicks-th: up    -                         RestoreID: up
//   lsConnected    a poll                  -                         -
//   lsTerminating  -                       kTerminateTicks-th: down  TerminateID: down
//   lsStopped      -                       the pending action        -
//
// ConnectDriver attaches, initialises and restores the driver: lsConnected when
// Restore is done at once (or fails), lsRestoring while it runs; a failed connect
// leaves the state and shows its error. RequestDisconnect terminates: lsStopped at
// once, or lsTerminating while Terminate runs. In lsStopped the pending action runs:
// a reconnect, or the quit that the closing sequence waits for (CanQuit). A poll that the
// register answers signs the last cashier on again once after the link came back;
// every kFailedPollsPerBox-th failed poll asks whether to go on telling.

#include <cstdint>
#include <functional>
#include <string>

#include "common/cashgl.h"
#include "spooler/driverbinding.h"
#include "spooler/spoolerview.h"

namespace tolver {

enum TLinkState : std::uint8_t { lsRestoring = 0, lsConnected = 1, lsTerminating = 2, lsStopped = 3 };
enum TPendingAction : std::int32_t { paNone = 0, paReconnect = 1, paQuit = 2 };

// Status texts of the link.
inline constexpr const char* kTextNoDriver = "Кассовый аппарат не установлен";
inline constexpr const char* kTextDriverOutdated = "Версия драйвера кассового аппарата устарела";
inline constexpr const char* kTextRestoring = "Восстановление связи с кассовым аппаратом...";
inline constexpr const char* kTextTerminating = "Прерывание связи с кассовым аппаратом...";
// The link's state where no tray shows it, and on standard error and in the log.
inline constexpr const char* kTextLinkUp = "Связь с кассовым аппаратом установлена";
inline constexpr const char* kTextLinkDown = "Связь с кассовым аппаратом прервана";
inline constexpr const char* kTextPause = "Связь с кассовым аппратом временно прервана.";
inline constexpr const char* kTextLinkFailure =
    "Сбой коммуникации с КА:\r\nВозможные причины:\r\n -кассовый аппарат выключен;\r\n -обрыв кабеля;\r\n "
    "-неисправность кассового аппарата\r\n\r\nВыводить в дальнейшем это сообщение?";

class TLinkMachine {
public:
    // A Restore that the driver never reports done ends on this tick of timerState.
    static constexpr int kRestoreTicks = 4;
    // A Terminate that the driver never reports done ends on this tick of timerState1.
    static constexpr int kTerminateTicks = 2;
    // Every this many failed polls the failure box asks (a good poll does not reset the count).
    static constexpr int kFailedPollsPerBox = 5;

    // signOnAgain: signs the last cashier on again (the first good poll after the link
    // came back).
    TLinkMachine(TDriverBinding& binding, const TSpoolerSetup& setup, ISpoolerView& view,
                 std::function<void()> signOnAgain);
    TLinkMachine(const TLinkMachine&) = delete;
    TLinkMachine& operator=(const TLinkMachine&) = delete;

    TLinkState State() const { return state_; }
    TPendingAction PendingAction() const { return pending_; }
    bool DriverError() const { return driverError_; }  // the last connect failed
    bool LastPollOk() const { return lastPollOk_; }    // the register answered the last poll
    bool CanQuit() const { return canQuit_; }          // the link is down; the program may close
    bool NotifyDeclined() const { return notifyDeclined_; }
    bool CashierRestored() const { return cashierRestored_; }
    // A sign-on has just gone to the driver: it reaches the register with the line, so
    // the next good poll has nobody to sign on again (doing so would close the receipt
    // the cashier may have opened since).
    void CashierSignedOn() { cashierRestored_ = true; }
    std::int32_t RestoreID() const { return restoreId_; }
    std::int32_t TerminateID() const { return terminateId_; }
    int RestoreTicks() const { return restoreTicks_; }
    int FailCount() const { return failCount_; }

    void ConnectDriver();
    void RequestDisconnect();
    // What the next timerState1 tick in lsStopped does (the connection dialog's apply
    // step asks for a reconnect).
    void SetPendingAction(TPendingAction action) { pending_ = action; }
    // "Пауза": the link goes down and comes back after its box is closed.
    void Pause();
    // The closing sequence: false while the link is still being taken down (the close is
    // refused now and posted again once CanQuit is set).
    bool CloseQuery();

    void TimerStateTick();
    void TimerState1Tick();
    // The driver completed a command (before the result goes to the clients).
    void CommandCompleted(std::int32_t CommandID);

private:
    // Restore or Terminate: true when it is done at once (-1) or failed; false while it
    // runs under the command id kept in id.
    bool DoneAtOnce(HRESULT (ICashDriverAuto::*member)(std::int32_t*), std::int32_t& id);
    bool RestoreDriver();
    bool TerminateDriver();
    void Poll();
    void RunPendingAction();
    void SetLinkState(TLinkState state);
    void HideUnlessError();
    // Restore or Terminate runs: the status window shows text, the menu is short.
    void WaitForDriver(const char* text, TLinkState state);

    TDriverBinding& binding_;
    const TSpoolerSetup& setup_;
    ISpoolerView& view_;
    std::function<void()> signOnAgain_;

    TLinkState state_ = lsStopped;
    TPendingAction pending_ = paNone;
    bool driverError_ = false;
    bool lastPollOk_ = false;
    bool canQuit_ = false;
    bool closing_ = false;  // the closing sequence has begun
    bool notifyDeclined_ = false;
    bool cashierRestored_ = false;
    std::int32_t restoreId_ = -1;
    std::int32_t terminateId_ = -1;
    int restoreTicks_ = 0;
    int terminateTicks_ = 0;
    int failCount_ = 0;
};

}  // namespace tolver

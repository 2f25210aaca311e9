#include "spooler/linkmachine.h"

#include <exception>
#include <utility>

#include "spooler/spoolernotice.h"

namespace tolver {

TLinkMachine::TLinkMachine(TDriverBinding& binding, const TSpoolerSetup& setup, ISpoolerView& view,
                           std::function<void()> signOnAgain)
    : binding_(binding), setup_(setup), view_(view), signOnAgain_(std::move(signOnAgain)) {}

void TLinkMachine::SetLinkState(TLinkState state) {
    state_ = state;
    view_.LinkChanged();
}

void TLinkMachine::HideUnlessError() {
    if (!driverError_) view_.HideStatus();
}

void TLinkMachine::WaitForDriver(const char* text, TLinkState state) {
    view_.SetInfo(text);
    view_.SetMenuFull(false);
    view_.ShowStatus();
    SetLinkState(state);
}

// ---- the events --------------------------------------------------------------------

void TLinkMachine::ConnectDriver() {
    driverError_ = false;
    notifyDeclined_ = false;
    // Nothing is outstanding from an earlier connection: a late result of its Restore
    // or Terminate must not end the waits of this one.
    restoreId_ = -1;
    terminateId_ = -1;
    restoreTicks_ = 0;
    const auto fail = [this](const std::string& text) {
        driverError_ = true;
        SpoolerNotice(text);  // offscreen nobody sees the status window
        view_.SetInfo(text);
        view_.ShowStatus();
        view_.SetMenuFull(true);
        view_.LinkChanged();
    };
    if (binding_.AttachDriver() != 0) {
        fail(kTextNoDriver);
        return;
    }
    try {
        TCashDriverAuto1& driver = binding_.Driver();
        driver.Call(&ICashDriverAuto::ProgramAfterReg, "");
        driver.Call(&ICashDriverAuto::set_SpoolerSetup, setup_.GetAsVariant());
        std::string cause;
        if (binding_.InitDriver(cause) != 0) {
            fail(cause);
            return;
        }
        if (RestoreDriver())
            SetLinkState(lsConnected);
        else
            WaitForDriver(kTextRestoring, lsRestoring);
    } catch (const std::exception&) {
        fail(kTextDriverOutdated);
    }
}

void TLinkMachine::RequestDisconnect() {
    if (TerminateDriver()) {
        SetLinkState(lsStopped);
    } else {
        terminateTicks_ = 0;
        WaitForDriver(kTextTerminating, lsTerminating);
    }
}

void TLinkMachine::Pause() {
    RequestDisconnect();
    view_.ShowMessage(kTextPause, kTitleMessage, false);
    // A close begun while the box was open keeps its quit.
    if (!closing_) pending_ = paReconnect;
}

bool TLinkMachine::CloseQuery() {
    if (canQuit_) return true;
    if (!closing_) {
        closing_ = true;
        pending_ = paQuit;
        RequestDisconnect();
    }
    return false;
}

void TLinkMachine::TimerStateTick() {
    switch (state_) {
        case lsRestoring:
            if (++restoreTicks_ >= kRestoreTicks) {
                restoreTicks_ = 0;
                restoreId_ = -1;  // the wait is over; a late result ends nothing
                SetLinkState(lsConnected);
            }
            break;
        case lsConnected:
            Poll();
            break;
        default:
            break;
    }
}

void TLinkMachine::TimerState1Tick() {
    switch (state_) {
        case lsTerminating:
            if (++terminateTicks_ >= kTerminateTicks) {
                terminateTicks_ = 0;
                terminateId_ = -1;
                SetLinkState(lsStopped);
            }
            break;
        case lsStopped:
            HideUnlessError();
            view_.SetMenuFull(true);
            RunPendingAction();
            break;
        default:
            break;
    }
}

void TLinkMachine::CommandCompleted(std::int32_t CommandID) {
    if (CommandID == terminateId_) {
        terminateId_ = -1;
        if (state_ == lsTerminating) {
            terminateTicks_ = 0;
            SetLinkState(lsStopped);
        }
    } else if (CommandID == restoreId_) {
        restoreId_ = -1;
        if (state_ == lsRestoring) SetLinkState(lsConnected);
        restoreTicks_ = 0;
    }
}

// ---- the steps -----------------------------------------------------------------------

bool TLinkMachine::DoneAtOnce(HRESULT (ICashDriverAuto::*member)(std::int32_t*), std::int32_t& id) {
    try {
        id = binding_.Driver().Call(member);
        return id == -1;
    } catch (const std::exception&) {
        return true;
    }
}

bool TLinkMachine::RestoreDriver() { return DoneAtOnce(&ICashDriverAuto::Restore, restoreId_); }

bool TLinkMachine::TerminateDriver() { return DoneAtOnce(&ICashDriverAuto::Terminate, terminateId_); }

void TLinkMachine::Poll() {
    try {
        const bool answers = binding_.Driver().Call(&ICashDriverAuto::get_InInteraction);
        if (answers != lastPollOk_) {
            lastPollOk_ = answers;
            // Clients learn it from InInteraction; whoever reads the log, from here.
            SpoolerNotice(answers ? kTextLinkUp : kTextLinkDown);
            view_.LinkChanged();
        }
        if (answers) {
            notifyDeclined_ = false;
            HideUnlessError();
            view_.SetMenuFull(true);
            if (!cashierRestored_) {
                signOnAgain_();
                cashierRestored_ = true;
            }
        } else if (++failCount_ >= kFailedPollsPerBox) {
            cashierRestored_ = false;
            HideUnlessError();
            view_.SetMenuFull(true);
            if (setup_.DriverSetup.NotificationOn && !notifyDeclined_)
                notifyDeclined_ = view_.ShowMessage(kTextLinkFailure, kTitleError, true) != 0;
            failCount_ = 0;
        }
    } catch (const std::exception&) {
        HideUnlessError();
        view_.SetMenuFull(true);
    }
}

void TLinkMachine::RunPendingAction() {
    const TPendingAction action = std::exchange(pending_, paNone);
    if (action == paNone) return;
    binding_.DoneDriver();
    binding_.DisconnectWrapper();
    if (action == paReconnect) {
        view_.PushDriverProperties();
        ConnectDriver();
    } else if (action == paQuit) {
        canQuit_ = true;
        view_.PostClose();
    }
}

}  // namespace tolver

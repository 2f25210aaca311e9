#include "spooler/spoolercore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/debug.h"
#include "common/utilgl.h"
#include "platform/com/cocreate.h"
#include "platform/com/hresult.h"
#include "spooler/spoolermessage.h"

namespace tolver {

TSpoolerCore::TSpoolerCore(ISpoolerView& view, TObjectFactory createObject)
    : Today([] { return QDate::currentDate(); }),
      view_(view),
      createObject_(createObject ? std::move(createObject) : TObjectFactory(&CreateOleObject)) {
    BindDriverEvents();
    // Every box shown goes into the protocol log too: the commands behind it wait.
    previousMessageLog_ =
        SetSpoolerMessageLog([this](const std::string& line) { DoProtocolLog(LogTimeStamp() + line + "\r\n"); });
}

TSpoolerCore::~TSpoolerCore() {
    SetSpoolerMessageLog(std::move(previousMessageLog_));
    // No event may reach a half-destroyed window.
    Driver.Events() = {};
    Driver.Disconnect();
}

// ---- setup ---------------------------------------------------------------------------

void TSpoolerCore::LoadSetup() {
    try {
        if (RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey)) {
            Setup.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        } else {
            Setup.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerKey);
            for (TXtCollection* list : {&Setup.TaxList, &Setup.DepList, &Setup.ArtList, &Setup.OpList})
                list->ClearStorageRefs();
        }
    } catch (const std::exception&) {
        // Settings that cannot be read leave the defaults.
    }
}

void TSpoolerCore::SaveSetup() { Setup.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey); }

void TSpoolerCore::ApplySettings() {
    for (TXtCollection* list : {&Setup.TaxList, &Setup.DepList, &Setup.ArtList, &Setup.OpList}) list->Sort();
    try {
        Driver.Call(&ICashDriverAuto::set_SpoolerSetup, Setup.GetAsVariant());
    } catch (const std::exception&) {
    }
    try {
        if (ComPtr<IDispatch> object = DriverObject())
            Setup.DriverSetup.AdvPropertiesData = DispatchGet(object.get(), "AdvProperties");
    } catch (const std::exception&) {
    }
    SaveSetup();
}

// ---- driver binding ----------------------------------------------------------------

ComPtr<IDispatch> TSpoolerCore::DriverObject() const {
    const Variant& v = Setup.DriverSetup.DriverObject;
    if (v.type() != VT_DISPATCH && v.type() != VT_UNKNOWN) return {};
    return ComPtr<IDispatch>::Query(v.rawInterface());
}

void TSpoolerCore::CreateDriverObject() {
    ComPtr<IDispatch> object;
    try {
        object = createObject_(Setup.DriverSetup.CashDriverProperties->AutoObjectName);
    } catch (const std::exception&) {
        return;
    }
    if (!object) return;
    Setup.DriverSetup.DriverObject = Variant::Dispatch(object.get());
    try {
        Setup.DriverSetup.EventIID = DispatchGet(object.get(), "EventIID").toString();
    } catch (const std::exception&) {
    }
}

void TSpoolerCore::ReleaseDriverObject() {
    if (DriverObject()) Setup.DriverSetup.DriverObject.clear();
}

std::int32_t TSpoolerCore::AttachDriver() {
    try {
        Driver.ConnectKind = TCashDriverAutoClient::TConnectKind::ckAttachToInterface;
        const GUID events = StringToGUID(Setup.DriverSetup.EventIID);
        const ComPtr<IDispatch> object = DriverObject();
        auto driver = ComPtr<ICashDriverAuto>::Query(object.get());
        if (!driver) throw Exception("the driver object does not answer ICashDriverAuto");
        Driver.ConnectToEvents(driver.get(), events);
        ReadConstraints();
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

void TSpoolerCore::ReadConstraints() {
    try {
        VariantToCashDriverConstraints(Constraints, Driver.Call(&ICashDriverAuto::get_Constraints));
    } catch (const std::exception&) {
    }
}

std::int32_t TSpoolerCore::InitDriver(std::string& Cause) {
    std::int32_t result = -1;
    try {
        Driver.Call(&ICashDriverAuto::set_ComNumber, Setup.DriverSetup.ComNumber);
        Driver.Call(&ICashDriverAuto::set_Baud, Setup.DriverSetup.Baud);
        Cause.clear();
        result = Driver.Call(&ICashDriverAuto::Init, Setup.DriverSetup.PropertiesData, &Cause);
    } catch (const std::exception&) {
        Cause = kTextDriverUnavailable;
        result = -1;
    }
    return result;
}

void TSpoolerCore::DoneDriver() {
    try {
        Driver.Call(&ICashDriverAuto::Done);
    } catch (const std::exception&) {
    }
}

void TSpoolerCore::DisconnectWrapper() {
    try {
        Driver.Disconnect();
    } catch (const std::exception&) {
    }
}

void TSpoolerCore::BindDriverEvents() {
    TDriverEvents& e = Driver.Events();
    e.OnModelChange = [this] { ReadConstraints(); };
    e.OnProtocolLog = [this](const std::string& t) { DoProtocolLog(t); };
    e.OnProtocolInfo = [this](const std::string& t) { DoProtocolInfo(t); };
    e.OnProtocolError = [this](const std::string& t) { DoProtocolError(t); };
    e.OnProtocolQuery = [this](const std::string& t) { DoProtocolQuery(t); };
    e.OnPrint = [this](std::int32_t c) { DoPrintChar(c); };
    e.OnCommandResult = [this](std::int32_t id, std::int32_t result) { DoCommandResult(id, result); };
}

// ---- link state machine --------------------------------------------------------------

void TSpoolerCore::SetLinkState(std::uint8_t state) {
    LinkState = state;
    view_.LinkChanged();
}

void TSpoolerCore::HideUnlessError() {
    if (!DriverError) view_.HideStatus();
}

void TSpoolerCore::ConnectDriver() {
    DriverError = false;
    NotifyDeclined = false;
    // Nothing is outstanding from an earlier connection: a late result of its Restore
    // or Terminate must not end the waits of this one.
    RestoreID = -1;
    TerminateID = -1;
    RestoreTicks = 0;
    const auto fail = [this](const std::string& text) {
        DriverError = true;
        view_.SetInfo(text);
        view_.ShowStatus();
        view_.SetMenuFull(true);
        view_.LinkChanged();
    };
    if (AttachDriver() != 0) {
        fail(kTextNoDriver);
        return;
    }
    try {
        Driver.Call(&ICashDriverAuto::ProgramAfterReg, "");
        Driver.Call(&ICashDriverAuto::set_SpoolerSetup, Setup.GetAsVariant());
        std::string cause;
        if (InitDriver(cause) != 0) {
            fail(cause);
            return;
        }
        if (RestoreDriver()) {
            SetLinkState(lsConnected);
        } else {
            view_.SetInfo(kTextRestoring);
            view_.SetMenuFull(false);
            view_.ShowStatus();
            SetLinkState(lsRestoring);
        }
    } catch (const std::exception&) {
        fail(kTextDriverOutdated);
    }
}

bool TSpoolerCore::RestoreDriver() {
    try {
        RestoreID = Driver.Call(&ICashDriverAuto::Restore);
        return RestoreID == -1;
    } catch (const std::exception&) {
        return true;
    }
}

bool TSpoolerCore::TerminateDriver() {
    try {
        TerminateID = Driver.Call(&ICashDriverAuto::Terminate);
        return TerminateID == -1;
    } catch (const std::exception&) {
        return true;
    }
}

void TSpoolerCore::RequestDisconnect() {
    if (TerminateDriver()) {
        SetLinkState(lsStopped);
    } else {
        view_.SetInfo(kTextTerminating);
        view_.SetMenuFull(false);
        view_.ShowStatus();
        TerminateTicks = 0;
        SetLinkState(lsTerminating);
    }
}

void TSpoolerCore::Pause() {
    RequestDisconnect();
    ShowSpoolerMessage(kTextPause, kTitleMessage, false);
    // A close begun while the box was open keeps its quit.
    if (!closing_) PendingAction = paReconnect;
}

bool TSpoolerCore::CloseQuery() {
    if (CanQuit) return true;
    if (!closing_) {
        closing_ = true;
        PendingAction = paQuit;
        RequestDisconnect();
    }
    return false;
}

void TSpoolerCore::TimerStateTick() {
    switch (LinkState) {
        case lsRestoring:
            if (++RestoreTicks >= 4) {
                RestoreTicks = 0;
                RestoreID = -1;  // the wait is over; a late result ends nothing
                SetLinkState(lsConnected);
            }
            break;
        case lsConnected:
            try {
                const bool answers = Driver.Call(&ICashDriverAuto::get_InInteraction);
                if (answers != LastPollOk) {
                    LastPollOk = answers;
                    view_.LinkChanged();
                }
                if (answers) {
                    NotifyDeclined = false;
                    HideUnlessError();
                    view_.SetMenuFull(true);
                    if (!CashierRestored) {
                        if (CashierN > 0) RegisterCashier(CashierN, "", false, "");
                        CashierRestored = true;
                    }
                } else if (++FailCount >= 5) {
                    // A good poll does not reset the count: every fifth failure asks.
                    CashierRestored = false;
                    HideUnlessError();
                    view_.SetMenuFull(true);
                    if (Setup.DriverSetup.NotificationOn && !NotifyDeclined)
                        NotifyDeclined = ShowSpoolerMessage(kTextLinkFailure, kTitleError, true) != 0;
                    FailCount = 0;
                }
            } catch (const std::exception&) {
                HideUnlessError();
                view_.SetMenuFull(true);
            }
            break;
        default: break;
    }
}

void TSpoolerCore::TimerState1Tick() {
    switch (LinkState) {
        case lsTerminating:
            if (++TerminateTicks >= 2) {
                TerminateTicks = 0;
                TerminateID = -1;
                SetLinkState(lsStopped);
            }
            break;
        case lsStopped:
            HideUnlessError();
            view_.SetMenuFull(true);
            if (const std::int32_t action = std::exchange(PendingAction, paNone); action != paNone) {
                DoneDriver();
                DisconnectWrapper();
                if (action == paReconnect) {
                    view_.PushDriverProperties();
                    ConnectDriver();
                } else if (action == paQuit) {
                    CanQuit = true;
                    view_.PostClose();
                }
            }
            break;
        default: break;
    }
}

void TSpoolerCore::CompletionHook(std::int32_t CommandID) {
    if (CommandID == TerminateID) {
        TerminateID = -1;
        if (LinkState == lsTerminating) {
            TerminateTicks = 0;
            SetLinkState(lsStopped);
        }
    } else if (CommandID == RestoreID) {
        RestoreID = -1;
        if (LinkState == lsRestoring) SetLinkState(lsConnected);
        RestoreTicks = 0;
    }
}

// ---- events and relay --------------------------------------------------------------

std::string TSpoolerCore::ProtocolLogFileName(const QDate& day) {
    return GetDataPath() + day.toString("dd-MM-yyyy").toStdString() + "_Spooler.log.txt";
}

void TSpoolerCore::DoProtocolLog(const std::string& Text) {
    if (!Setup.DriverSetup.ProtocolOn) return;
    const std::string name = ProtocolLogFileName(Today());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(name).parent_path(), ec);
    // Opened, appended to and closed for every text; an error stays here, reported
    // once, and never goes back into the driver's event call.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        std::size_t done = 0;
        while (done < Text.size()) {
            const ssize_t n = ::write(fd, Text.data() + done, Text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0 && !error) error = errno;
    }
    if (!error) {
        logFailureShown_ = false;
        return;
    }
    if (logFailureShown_) return;
    logFailureShown_ = true;
    view_.PostMessage("Не удалось записать протокол обмена с кассовым аппаратом в файл\r\n" + name + ":\r\n" +
                          std::strerror(error),
                      kTitleError);
}

void TSpoolerCore::DoProtocolError(const std::string& Text) { ShowSpoolerMessage(Text, kTitleError, false); }

void TSpoolerCore::DoProtocolQuery(const std::string& Text) { ShowSpoolerMessage(Text, kTitleQuery, false); }

void TSpoolerCore::DoPrintChar(std::int32_t Char) { view_.PrintChar(Char); }

void TSpoolerCore::DoCommandResult(std::int32_t CommandID, std::int32_t CommandResult) {
    CompletionHook(CommandID);
    CommandResults.push_back({CommandID, CommandResult});
    view_.StartCommandResultTimer();
}

void TSpoolerCore::TimerCommandResultTick() {
    if (Clients.empty()) return;  // the results wait for the next delivery
    while (!CommandResults.empty()) {
        const TCommandResult r = CommandResults.front();
        CommandResults.pop_front();
        // Snapshots: a client may come, go or fail inside a sink call.
        const auto clients = Clients;
        for (const auto& client : clients) {
            if (std::find(Clients.begin(), Clients.end(), client) == Clients.end()) continue;  // gone meanwhile
            std::vector<std::shared_ptr<ISpoolerSink>> sinks;
            try {
                sinks = client->Sinks();
            } catch (...) {
                continue;
            }
            for (const auto& sink : sinks) {
                try {
                    if (sink) sink->OnCommandResult(r.CommandID, r.CommandResult);
                } catch (...) {
                    // This sink misses this result; the others get it.
                }
            }
        }
    }
}

void TSpoolerCore::AddClient(std::shared_ptr<ISpoolerClient> Client) {
    if (Client) Clients.push_back(std::move(Client));
}

void TSpoolerCore::RemoveClient(const ISpoolerClient* Client) {
    const auto it = std::find_if(Clients.begin(), Clients.end(), [&](const auto& c) { return c.get() == Client; });
    if (it == Clients.end()) return;
    Clients.erase(it);
    if (Clients.empty()) view_.PostClose();
}

// ---- cashier and receipts ----------------------------------------------------------

std::int32_t TSpoolerCore::RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports,
                                           const std::string& Password) {
    std::string password = Password;
    if (password.empty()) {
        for (int i = 0; i < Setup.OpList.Count(); ++i) {
            const auto* op = Setup.OpList.Item<TCashOpProperties>(i);
            if (op && op->N == NOp) {
                password = op->Password;
                break;
            }
        }
    }
    CashierN = NOp;
    std::int32_t result = -1;
    try {
        if (CheckOpen) {
            Driver.Call(&ICashDriverAuto::CloseCheck, Currency(), TPayType::Cash);
            CheckOpen = false;
        }
        const auto reports = [&](const std::string& x, const std::string& z) {
            if (!DoReports) return;
            if (!x.empty()) Driver.Call(&ICashDriverAuto::GetXReport, x);
            if (!z.empty()) Driver.Call(&ICashDriverAuto::GetZReport, z);
        };
        reports(Setup.AutoXReportsBefore, Setup.AutoZReportsBefore);
        result = Driver.Call(&ICashDriverAuto::RegOp, NOp, Name, password);
        Driver.Call(&ICashDriverAuto::ProgramAfterReg, "BeginMsg");
        reports(Setup.AutoXReportsAfter, Setup.AutoZReportsAfter);
    } catch (const std::exception&) {
    }
    return result;
}

std::int32_t TSpoolerCore::UnregisterCashier() {
    CashierN = -1;
    try {
        if (CheckOpen) {
            Driver.Call(&ICashDriverAuto::CloseCheck, Currency(), TPayType::Cash);
            CheckOpen = false;
        }
        return Driver.Call(&ICashDriverAuto::UnRegOp);
    } catch (const std::exception&) {
        return -1;
    }
}

void TSpoolerCore::CloseCheckNow() {
    try {
        Driver.Call(&ICashDriverAuto::CloseCheck, Currency(), TPayType::Cash);
    } catch (const std::exception&) {
    }
    CheckOpen = false;
}

std::string TSpoolerCore::GetBeginMsg() {
    try {
        std::string text = Driver.Call(&ICashDriverAuto::get_BeginMsg);
        if (!text.empty()) return text;
    } catch (const std::exception&) {
    }
    return LinesToText(Setup.BeginMsg);
}

}  // namespace tolver

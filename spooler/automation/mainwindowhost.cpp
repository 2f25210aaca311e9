#include "spooler/automation/mainwindowhost.h"

#include <QTimer>

#include "spooler/mainform.h"

namespace tolver::spooler {

// A SpoolAuto1 object as an entry of the relay's clients. The relay may hold the
// entry a moment longer than the object lives, so the entry forgets the object when
// it leaves.
class MainWindowHost::ClientEntry : public ISpoolerClient {
public:
    explicit ClientEntry(ISpoolerClient* client) : client_(client) {}
    void Forget() { client_ = nullptr; }
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override {
        return client_ ? client_->Sinks() : std::vector<std::shared_ptr<ISpoolerSink>>{};
    }

private:
    ISpoolerClient* client_;
};

MainWindowHost::MainWindowHost(TfrmMain& main) : main_(main) {}
MainWindowHost::~MainWindowHost() = default;

TCashDriverAutoClient& MainWindowHost::Driver() { return main_.Core().Binding().Driver(); }
TOpenReceipt& MainWindowHost::Receipt() { return main_.Core().Receipt(); }
bool MainWindowHost::DriverReady() const { return !main_.Core().Link().DriverError(); }
const TSpoolerSetup& MainWindowHost::Setup() const { return main_.Core().Setup(); }
const TCashDriverConstraints& MainWindowHost::Constraints() const { return main_.Core().Binding().Constraints(); }

void MainWindowHost::AddClient(ISpoolerClient* client) {
    auto entry = std::make_shared<ClientEntry>(client);
    clients_[client] = entry;
    main_.Core().Relay().AddClient(entry);
}

void MainWindowHost::RemoveClient(ISpoolerClient* client) {
    auto it = clients_.find(client);
    if (it == clients_.end()) return;
    const std::shared_ptr<ClientEntry> entry = it->second;
    clients_.erase(it);
    entry->Forget();
    if (!detached_) main_.Core().Relay().RemoveClient(entry.get());
}

std::int32_t MainWindowHost::RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports,
                                             const std::string& Password) {
    return main_.Core().Cashier().RegisterCashier(NOp, Name, DoReports, Password);
}

std::int32_t MainWindowHost::UnregisterCashier() { return main_.Core().Cashier().UnregisterCashier(); }

void MainWindowHost::ShowRegDialog(std::function<void(std::int32_t)> done) {
    // From the event loop, after the call has returned: the dialog's own loop serves
    // the other clients, and the caller's answer waits for its result. The main
    // window is the timer's context, so it still exists when the dialog is shown.
    QTimer::singleShot(0, &main_, [&main = main_, done = std::move(done)] { done(main.ShowRegDialog()); });
}

void MainWindowHost::ShowReports() { main_.ShowReports(); }

std::string MainWindowHost::DriverInfo() { return main_.Dialogs() ? main_.Dialogs()->DriverInfo() : std::string(); }

std::string MainWindowHost::GetBeginMsg() { return main_.Core().GetBeginMsg(); }

void MainWindowHost::SetControlEnabled(bool enabled) {
    for (QAction* item : {main_.N11, main_.N10, main_.N8, main_.nPause}) item->setEnabled(enabled);
    main_.PopupMenu1->setDefaultAction(enabled ? main_.N10 : main_.N7);
}

}  // namespace tolver::spooler

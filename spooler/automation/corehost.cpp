#include "spooler/automation/corehost.h"

#include "spooler/spoolercore.h"

namespace tolver::spooler {

// A SpoolAuto1 object as an entry of the relay's clients. The relay may hold the
// entry a moment longer than the object lives, so the entry forgets the object when
// it leaves.
class CoreHost::ClientEntry : public ISpoolerClient {
public:
    explicit ClientEntry(ISpoolerClient* client) : client_(client) {}
    void Forget() { client_ = nullptr; }
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override {
        return client_ ? client_->Sinks() : std::vector<std::shared_ptr<ISpoolerSink>>{};
    }

private:
    ISpoolerClient* client_;
};

CoreHost::CoreHost(TSpoolerCore& core) : core_(core) {}
CoreHost::~CoreHost() = default;

TCashDriverAutoClient& CoreHost::Driver() { return core_.Binding().Driver(); }
TOpenReceipt& CoreHost::Receipt() { return core_.Receipt(); }
bool CoreHost::DriverReady() const { return !core_.Link().DriverError(); }
const TSpoolerSetup& CoreHost::Setup() const { return core_.Setup(); }
const TCashDriverConstraints& CoreHost::Constraints() const { return core_.Binding().Constraints(); }

void CoreHost::AddClient(ISpoolerClient* client) {
    auto entry = std::make_shared<ClientEntry>(client);
    clients_[client] = entry;
    core_.Relay().AddClient(entry);
}

void CoreHost::RemoveClient(ISpoolerClient* client) {
    auto it = clients_.find(client);
    if (it == clients_.end()) return;
    const std::shared_ptr<ClientEntry> entry = it->second;
    clients_.erase(it);
    entry->Forget();
    if (!detached_) core_.Relay().RemoveClient(entry.get());
}

std::int32_t CoreHost::RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports,
                                       const std::string& Password) {
    return core_.Cashier().RegisterCashier(NOp, Name, DoReports, Password);
}

std::int32_t CoreHost::UnregisterCashier() { return core_.Cashier().UnregisterCashier(); }

void CoreHost::ShowRegDialog(std::function<void(std::int32_t)> done) { core_.View().PostRegDialog(std::move(done)); }
void CoreHost::ShowReports() { core_.View().ShowReports(); }
std::string CoreHost::DriverInfo() { return core_.View().DriverInfo(); }
std::string CoreHost::GetBeginMsg() { return core_.GetBeginMsg(); }
void CoreHost::SetControlEnabled(bool enabled) { core_.View().SetControlEnabled(enabled); }

}  // namespace tolver::spooler

#pragma once
// The automation objects' view of the real main window (TfrmMain): its shared state,
// the driver wrapper, the sign-on, the reports window and the tray menu; and each
// SpoolAuto1 object entered into the clients of the main window's result relay.

#include <map>
#include <memory>

#include "spooler/automation/automationhost.h"

namespace tolver {
class TfrmMain;
}  // namespace tolver

namespace tolver::spooler {

class MainWindowHost : public AutomationHost {
public:
    explicit MainWindowHost(TfrmMain& main);
    ~MainWindowHost();

    // From now on clients leave without touching the main window (it is closing).
    void Detach() { detached_ = true; }

    TCashDriverAutoClient& Driver() override;
    TOpenReceipt& Receipt() override;
    bool DriverReady() const override;
    const TSpoolerSetup& Setup() const override;
    const TCashDriverConstraints& Constraints() const override;
    void AddClient(ISpoolerClient* client) override;
    void RemoveClient(ISpoolerClient* client) override;
    std::int32_t RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports,
                                 const std::string& Password) override;
    std::int32_t UnregisterCashier() override;
    void ShowRegDialog(std::function<void(std::int32_t)> done) override;
    void ShowReports() override;
    std::string DriverInfo() override;
    std::string GetBeginMsg() override;
    void SetControlEnabled(bool enabled) override;

private:
    class ClientEntry;

    TfrmMain& main_;
    std::map<ISpoolerClient*, std::shared_ptr<ClientEntry>> clients_;
    bool detached_ = false;
};

}  // namespace tolver::spooler

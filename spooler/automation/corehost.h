#pragma once
// The automation objects' view of the spooler's core: its shared state, the driver
// wrapper and the sign-on; the sign-on dialog, the reports window and the menu through
// the core's view (the main window). Each SpoolAuto1 object is entered into the
// clients of the core's result relay.

#include <map>
#include <memory>

#include "spooler/automation/automationhost.h"

namespace tolver {
class TSpoolerCore;
}  // namespace tolver

namespace tolver::spooler {

class CoreHost : public AutomationHost {
public:
    explicit CoreHost(TSpoolerCore& core);
    ~CoreHost();

    // From now on clients leave without touching the core's relay (the main window is
    // closing).
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

    TSpoolerCore& core_;
    std::map<ISpoolerClient*, std::shared_ptr<ClientEntry>> clients_;
    bool detached_ = false;
};

}  // namespace tolver::spooler

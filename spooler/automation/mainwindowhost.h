#pragma once
// The automation objects' view of the real main window (TfrmMain): its shared state,
// the driver wrapper, the sign-on, the reports window and the tray menu; and each
// SpoolAuto1 object entered into the clients of the main window's result relay.
// TSpoolerAutomation is the server of the program over it.

#include <QStringList>

#include <map>
#include <memory>

#include "spooler/automation/automationhost.h"

namespace tolver {
class TfrmMain;
class ISpoolerClient;
}  // namespace tolver

namespace tolver::spooler {

class AutomationServer;

class MainWindowHost : public AutomationHost {
public:
    explicit MainWindowHost(TfrmMain& main);
    ~MainWindowHost();

    // From now on clients leave without touching the main window (it is closing).
    void Detach() { detached_ = true; }

    TCashDriverAutoClient& Driver() override;
    TOpenReceipt& Receipt() override;
    const TSpoolerSetup& Setup() const override;
    const TCashDriverConstraints& Constraints() const override;
    void AddClient(AutomationClient* client) override;
    void RemoveClient(AutomationClient* client) override;
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
    std::map<AutomationClient*, std::shared_ptr<ClientEntry>> clients_;
    bool detached_ = false;
};

// The automation server of the running spooler, on the session bus, over the main
// window from its creation until it closes.
class TSpoolerAutomation {
public:
    // Starts the server; without a bus the program runs on, saying why on standard
    // error (and so it does when the bus name is taken, which NameTaken tells).
    explicit TSpoolerAutomation(TfrmMain& main);
    ~TSpoolerAutomation();
    TSpoolerAutomation(const TSpoolerAutomation&) = delete;
    TSpoolerAutomation& operator=(const TSpoolerAutomation&) = delete;

    // Another spooler holds the server's bus name: this one serves nobody.
    bool NameTaken() const { return nameTaken_; }

    // The main window closes: the window that Prepare named is told, the clients no
    // longer reach the main window, and the server leaves the bus.
    void Close();

    // The registration switches ("REGSERVER", "UNREGSERVER") of the program's
    // arguments (without the program name): the exit code when one was handled, else -1.
    static int HandleCommandLine(const QStringList& args);

private:
    std::unique_ptr<MainWindowHost> host_;
    std::unique_ptr<AutomationServer> server_;
    bool nameTaken_ = false;
};

}  // namespace tolver::spooler

#pragma once
// The automation server of the running spooler over its core (CoreHost).

#include <QStringList>

#include <memory>

#include "spooler/automation/corehost.h"

namespace tolver::spooler {

class AutomationServer;

// The automation server of the running spooler, on the session bus, over the core
// from the main window's creation until it closes.
class TSpoolerAutomation {
public:
    // Starts the server; without a bus the program runs on, saying why on standard
    // error (and so it does when the bus name is taken, which NameTaken tells).
    explicit TSpoolerAutomation(TSpoolerCore& core);
    ~TSpoolerAutomation();
    TSpoolerAutomation(const TSpoolerAutomation&) = delete;
    TSpoolerAutomation& operator=(const TSpoolerAutomation&) = delete;

    // Another spooler holds the server's bus name: this one serves nobody.
    bool NameTaken() const { return nameTaken_; }

    // The main window closes: the window that Prepare named is told, the clients no
    // longer reach the core's relay, and the server leaves the bus.
    void Close();

    // The registration switches ("REGSERVER", "UNREGSERVER") of the program's
    // arguments (without the program name): the exit code when one was handled, else -1.
    static int HandleCommandLine(const QStringList& args);

private:
    std::unique_ptr<CoreHost> host_;
    std::unique_ptr<AutomationServer> server_;
    bool nameTaken_ = false;
};

}  // namespace tolver::spooler

#pragma once
// What the automation objects need of the spooler: its shared state, the driver
// (through the client wrapper, whose failures arrive as exceptions), the cashier
// sign-on, the reports window and the tray menu. CoreHost implements it over the core
// (the windows through the core's view); the tests put a fake in its place.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "spooler/cashdriverauto.h"
#include "spooler/openreceipt.h"
#include "spooler/spoolerclient.h"

namespace tolver::spooler {

class AutomationHost {
public:
    // The driver wrapper; a failing driver member raises an exception, which the
    // objects swallow.
    virtual TCashDriverAutoClient& Driver() = 0;
    // The one open receipt, shared by every client.
    virtual TOpenReceipt& Receipt() = 0;
    // The driver has opened the register's line: false while the last connect failed
    // (its cause is in the status window), when commands would wait for ever.
    virtual bool DriverReady() const = 0;
    virtual const TSpoolerSetup& Setup() const = 0;
    // The driver's limits (all 0 before a driver is attached).
    virtual const TCashDriverConstraints& Constraints() const = 0;

    // Appends a SpoolAuto1 object to / removes it from the result relay's clients;
    // removing the last one closes the main window by the closing sequence.
    virtual void AddClient(ISpoolerClient* client) = 0;
    virtual void RemoveClient(ISpoolerClient* client) = 0;

    virtual std::int32_t RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports,
                                         const std::string& Password) = 0;
    virtual std::int32_t UnregisterCashier() = 0;
    // The modal sign-on dialog. It is shown without blocking the event loop; done gets
    // the sign-on result (-1 when cancelled) once the dialog has closed.
    virtual void ShowRegDialog(std::function<void(std::int32_t)> done) = 0;
    virtual void ShowReports() = 0;
    // The text that the connection dialog's driver list shows now.
    virtual std::string DriverInfo() = 0;
    // The driver's receipt header, else the setup's header lines, each ended by CR LF.
    virtual std::string GetBeginMsg() = 0;
    // Enables the tray menu's connection, settings, programming and pause items and
    // picks the default item.
    virtual void SetControlEnabled(bool enabled) = 0;

protected:
    ~AutomationHost() = default;
};

}  // namespace tolver::spooler

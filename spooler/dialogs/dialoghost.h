#pragma once
// What the dialogs need of the main window: its setups and the driver's limits, the
// driver wrapper's calls, the open-receipt flag and the steps that
// replace the live driver (questions go through the spooler's message box,
// spooler/spoolermessage.h). The main window implements it; the tests fake it.
//
// Driver calls raise an exception on failure (the dialogs swallow them where the
// designed behaviour does). The defaults stand for "no driver bound".

#include <stdexcept>
#include <string>

#include "common/cashgl.h"
#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"

namespace tolver {

class TDialogHost {
public:
    virtual ~TDialogHost() = default;

    virtual TSpoolerSetup& Setup() = 0;       // the live setup
    virtual TSpoolerSetup& EditSetup() = 0;   // the copy the dialogs edit
    virtual const TCashDriverConstraints& Constraints() const = 0;

    // Whether the driver wrapper exists (a driver is bound).
    virtual bool DriverExists() const { return false; }
    virtual std::string XReportItems() { throw std::runtime_error("no driver"); }
    virtual std::string ZReportItems() { throw std::runtime_error("no driver"); }
    virtual std::string ProgramItems() { throw std::runtime_error("no driver"); }
    virtual void GetXReport(const std::string& items) { throw std::runtime_error("no driver"); }
    virtual void GetZReport(const std::string& items) { throw std::runtime_error("no driver"); }
    virtual void GetProgram(const std::string& items) { throw std::runtime_error("no driver"); }
    // An unclosed receipt closed in cash (CloseCheck(0, Cash)).
    virtual void CloseReceiptFirst() { throw std::runtime_error("no driver"); }
    // The live driver object (Setup.DriverSetup.DriverObject), null without one.
    virtual ComPtr<IDispatch> DriverObject() const { return {}; }

    // Saves the live setup to the registry store.
    virtual void SaveSetup() = 0;
    // The settings dialog's OK, once the live setup holds the edits: sort the lists,
    // hand the setup to the driver, take its advanced settings back, save.
    virtual void ApplySettings() = 0;
    // The connection dialog's OK: release the live driver object before the setup
    // changes, then make the new one and reconnect the link after it was saved.
    virtual void ReleaseDriverObject() = 0;
    virtual void CreateDriverObject() = 0;
    virtual void RequestReconnect() = 0;
};

}  // namespace tolver

#pragma once
// The spooler's logic apart from its widgets, one class a job, joined here over the
// window around them (ISpoolerView) so that tests drive it with a fake view and by
// calling the tick handlers:
//   - TSetupStore: the live setup and its edit copy in the registry store;
//   - TDriverBinding: the driver object, the client wrapper attached to it, its limits;
//   - TLinkMachine: the link's state machine over the two 1 s timers;
//   - TResultRelay: command results to every sink of every client;
//   - TProtocolLog: the daily protocol log;
//   - TOpenReceipt: the one open receipt, its owner and whether it was abandoned;
//   - TCashierSignOn: the cashier's sign-on.
// The driver's events go to them: the log and info texts to the log, errors and
// questions to the spooler's message box, printed characters to the cash tape, a
// model change to the limits, a completion to the link, the receipt and the relay. The main
// window holds one; the automation server and the dialogs reach it through the main
// window. Everything runs on the main thread.

#include <string>

#include "spooler/cashiersignon.h"
#include "spooler/driverbinding.h"
#include "spooler/linkmachine.h"
#include "spooler/openreceipt.h"
#include "spooler/protocollog.h"
#include "spooler/resultrelay.h"
#include "spooler/setupstore.h"
#include "spooler/spoolerview.h"

namespace tolver {

class TSpoolerCore {
public:
    using TObjectFactory = TDriverBinding::TObjectFactory;

    explicit TSpoolerCore(ISpoolerView& view, TObjectFactory createObject = {});
    ~TSpoolerCore();
    TSpoolerCore(const TSpoolerCore&) = delete;
    TSpoolerCore& operator=(const TSpoolerCore&) = delete;

    TSetupStore& Store() { return store_; }
    TSpoolerSetup& Setup() { return store_.Setup(); }
    const TSpoolerSetup& Setup() const { return store_.Setup(); }
    TDriverBinding& Binding() { return binding_; }
    const TDriverBinding& Binding() const { return binding_; }
    TOpenReceipt& Receipt() { return receipt_; }
    const TOpenReceipt& Receipt() const { return receipt_; }
    TCashierSignOn& Cashier() { return cashier_; }
    const TCashierSignOn& Cashier() const { return cashier_; }
    TProtocolLog& Log() { return log_; }
    TResultRelay& Relay() { return relay_; }
    const TResultRelay& Relay() const { return relay_; }
    TLinkMachine& Link() { return link_; }
    const TLinkMachine& Link() const { return link_; }

    // The apply step after the settings dialog has filled the setup: sort the lists,
    // hand the setup to the driver, take the driver's advanced settings back, save.
    void ApplySettings();
    // The receipt header: the driver's, else the setup's header lines, each ended by CR LF.
    std::string GetBeginMsg();

private:
    void BindDriverEvents();

    ISpoolerView& view_;
    TSetupStore store_;
    TDriverBinding binding_;
    TOpenReceipt receipt_;
    TCashierSignOn cashier_;
    TProtocolLog log_;
    TResultRelay relay_;
    TLinkMachine link_;
};

}  // namespace tolver

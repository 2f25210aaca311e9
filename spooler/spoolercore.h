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
// model change to the limits, a completion to the link, the receipt and the relay.
// The program makes the core first (TSpoolerProgram), then the main window over it,
// which attaches itself as the view, and the automation server over it. Everything
// runs on the main thread.

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

    // createObject: how driver objects are made (tests put a fake in).
    explicit TSpoolerCore(TObjectFactory createObject = {});
    ~TSpoolerCore();
    TSpoolerCore(const TSpoolerCore&) = delete;
    TSpoolerCore& operator=(const TSpoolerCore&) = delete;

    // The window over the core; until one is set, and once it is cleared, what the
    // core asks of a view does nothing (a box answers "Нет", a sign-on is cancelled).
    void SetView(ISpoolerView* view) { view_.target = view; }
    ISpoolerView& View() { return view_; }

    // After the setup is loaded: creates the driver object and connects it; the view
    // learns of it (Started), with the reason the setup could not be read, if so.
    void Start();
    // Releases the driver object, with no event of it after this point.
    void Stop();

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
    // The parts' view: forwards to the window once it is set.
    struct TViewSlot final : ISpoolerView {
        ISpoolerView* target = nullptr;
        void SetInfo(const std::string& text) override;
        void ShowStatus() override;
        void HideStatus() override;
        void SetMenuFull(bool full) override;
        void PrintChar(std::int32_t code) override;
        void StartCommandResultTimer() override;
        void PushDriverProperties() override;
        void PostClose() override;
        int ShowMessage(const std::string& text, const std::string& title, bool yesNo) override;
        void PostMessage(const std::string& text, const std::string& title) override;
        void LinkChanged() override;
        void Started(const std::string& loadError) override;
        void PostRegDialog(std::function<void(std::int32_t)> done) override;
        void ShowReports() override;
        std::string DriverInfo() override;
        void SetControlEnabled(bool enabled) override;
    };

    void BindDriverEvents();
    void DetachDriver();

    TViewSlot view_;
    TSetupStore store_;
    TDriverBinding binding_;
    TOpenReceipt receipt_;
    TCashierSignOn cashier_;
    TProtocolLog log_;
    TResultRelay relay_;
    TLinkMachine link_;
};

}  // namespace tolver

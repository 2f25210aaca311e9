#pragma once
// A main window for the automation objects' tests: its driver wrapper is attached to
// the contract's fake (contract/testing), whose calls it records among its own as
// text and whose operations get its next command id (or fail on request); it keeps
// the client list, relays command results to the clients as the real one does, and
// holds the sign-on dialog open until the test closes it. Its open receipt is the spooler's own, whose register accepts every
// close by the time the test looks (checkOpen).

#include <QTimer>
#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <stdexcept>
#include <string>
#include <vector>

#include "drivers/contract/testing/fake_cash_driver.h"
#include "spooler/automation/automationhost.h"

namespace tolver::spooler::testing {

inline constexpr GUID IID_FakeHostDriverEvents = MakeGUID("{6A0E3C51-2F4B-4D8E-9B17-5C3D2A8E4F60}");

class FakeHost : public AutomationHost {
public:
    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    std::vector<std::string> calls;
    bool driverFails = false;      // every driver member raises an error
    bool lineClosed = false;       // the driver could not open the register's line
    std::int32_t nextResult = 1;   // the id the next command gets; -1 refuses
    // The open receipt as the tests set and read it: reading it first has the register
    // accept the closes sent so far; setting it opens a receipt, or forgets it (false).
    struct ReceiptFlag {
        FakeHost& host;
        operator bool() const {
            host.AcceptCloses();
            return host.receipt_->Open();
        }
        ReceiptFlag& operator=(bool open) {
            host.AcceptCloses();
            if (!open) host.receipt_.emplace(host.wrapper_);
            else if (!host.receipt_->Open()) host.receipt_->Opened();
            return *this;
        }
    } checkOpen{*this};
    std::vector<std::int32_t> closes;  // the ids of the closes sent, until accepted
    TSpoolerSetup setup;
    TCashDriverConstraints constraints;
    std::vector<ISpoolerClient*> clients;
    int closeRequests = 0;         // the last client left
    // Results queued by the driver go out to every client 50 ms later, when set.
    bool relayResults = false;
    std::function<void(std::int32_t)> regDialogDone;  // set while the dialog is open
    bool controlEnabledFails = false;
    bool controlEnabled = true;

    // ---- AutomationHost
    TCashDriverAutoClient& Driver() override { return wrapper_; }
    TOpenReceipt& Receipt() override { return *receipt_; }
    bool DriverReady() const override { return !lineClosed; }
    void AcceptCloses() {
        for (const std::int32_t id : std::exchange(closes, {})) receipt_->CommandCompleted(id, 0);
    }
    const TSpoolerSetup& Setup() const override { return setup; }
    const TCashDriverConstraints& Constraints() const override { return constraints; }
    void AddClient(ISpoolerClient* client) override { clients.push_back(client); }
    void RemoveClient(ISpoolerClient* client) override {
        std::erase(clients, client);
        if (clients.empty()) ++closeRequests;
    }
    std::int32_t RegisterCashier(std::int32_t NOp, const std::string& Name, bool DoReports,
                                 const std::string& Password) override {
        return Command("RegisterCashier(" + std::to_string(NOp) + "," + Name + "," + (DoReports ? "reports" : "none") +
                       "," + Password + ")");
    }
    std::int32_t UnregisterCashier() override { return Command("UnregisterCashier"); }
    void ShowRegDialog(std::function<void(std::int32_t)> done) override {
        calls.push_back("ShowRegDialog");
        regDialogDone = std::move(done);
    }
    void ShowReports() override { calls.push_back("ShowReports"); }
    std::string DriverInfo() override { return "не установлен"; }
    std::string GetBeginMsg() override { return "Header\r\n"; }
    void SetControlEnabled(bool enabled) override {
        if (controlEnabledFails) throw std::runtime_error("menu gone");
        controlEnabled = enabled;
    }

    // Hands a completion to every client, in order, as the relay does.
    void Relay(std::int32_t id, std::int32_t result) {
        const auto copy = clients;
        for (ISpoolerClient* c : copy)
            for (const auto& sink : c->Sinks()) try {
                    sink->OnCommandResult(id, result);
                } catch (const std::exception&) {
                }
    }
    void CloseRegDialog(std::int32_t result) {
        auto done = std::move(regDialogDone);
        regDialogDone = nullptr;
        done(result);
    }

    // A call on the host or the driver, and a command that gets the next id.
    void Query(const std::string& call) {
        if (driverFails) throw std::runtime_error("driver not attached");
        calls.push_back(call);
    }
    std::int32_t Command(const std::string& call) {
        Query(call);
        return NextCommand();
    }
    std::int32_t NextCommand() {
        const std::int32_t id = nextResult;
        if (id >= 0) {
            ++nextResult;
            if (relayResults) QTimer::singleShot(50, [this, id] { Relay(id, 0); });
        }
        return id;
    }

private:
    ComPtr<testutil::TFakeCashDriver> driver_;
    TCashDriverAuto1 wrapper_;
    std::optional<TOpenReceipt> receipt_{std::in_place, wrapper_};
};

inline FakeHost::FakeHost() : driver_(MakeComObject<testutil::TFakeCashDriver>(IID_FakeHostDriverEvents)) {
    driver_->Returns("InInteraction", true);
    driver_->Returns("ID", "ER-350F 1234");
    driver_->Returns("XReportItems", "X1;X2;");
    driver_->Returns("ZReportItems", "Z1;");
    driver_->Returns("TrashID", "trash");
    wrapper_.ConnectKind = TCashDriverAutoClient::TConnectKind::ckAttachToInterface;
    wrapper_.ConnectTo(driver_.get());
    // From here on every call on the driver is the automation objects'.
    driver_->OnCall = [this](const testutil::TDriverCall& call) { Query(call.Text()); };
    driver_->OnOperation = [this](const testutil::TDriverCall& call) {
        const std::int32_t id = NextCommand();
        if (call.Name() == "CloseCheck" && id > 0) closes.push_back(id);
        return id;
    };
}

inline FakeHost::~FakeHost() { wrapper_.Disconnect(); }

}  // namespace tolver::spooler::testing

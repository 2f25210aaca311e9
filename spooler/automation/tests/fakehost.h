#pragma once
// A main window for the automation objects' tests: it records every driver call as
// text, answers with the next command id (or fails on request), keeps the client list,
// relays command results to the clients as the real one does, and holds the sign-on
// dialog open until the test closes it.

#include <QTimer>
#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "spooler/automation/automationhost.h"

namespace tolver::spooler::testing {

class FakeHost : public AutomationHost, public AutomationDriver {
public:
    std::vector<std::string> calls;
    bool driverFails = false;      // every driver member raises an error
    std::int32_t nextResult = 1;   // the id the next command gets; -1 refuses
    bool checkOpen = false;
    TSpoolerSetup setup;
    TCashDriverConstraints constraints;
    std::vector<AutomationClient*> clients;
    int closeRequests = 0;         // the last client left
    // Results queued by the driver go out to every client 50 ms later, when set.
    bool relayResults = false;
    std::function<void(std::int32_t)> regDialogDone;  // set while the dialog is open
    bool controlEnabledFails = false;
    bool controlEnabled = true;

    // ---- AutomationHost
    AutomationDriver& Driver() override { return *this; }
    bool CheckOpen() const override { return checkOpen; }
    void SetCheckOpen(bool open) override { checkOpen = open; }
    const TSpoolerSetup& Setup() const override { return setup; }
    const TCashDriverConstraints& Constraints() const override { return constraints; }
    void AddClient(AutomationClient* client) override { clients.push_back(client); }
    void RemoveClient(AutomationClient* client) override {
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
        for (AutomationClient* c : copy)
            for (const auto& sink : c->SinkList()) try {
                    sink(id, result);
                } catch (const std::exception&) {
                }
    }
    void CloseRegDialog(std::int32_t result) {
        auto done = std::move(regDialogDone);
        regDialogDone = nullptr;
        done(result);
    }

    // ---- AutomationDriver
    std::int32_t AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                           std::int32_t NDep) override {
        return Command("AddPayDep(" + Name + "," + Num(Count) + "," + SumWithoutNDS.ToString() + "," + Sum.ToString() + "," +
                       std::to_string(NDep) + ")");
    }
    std::int32_t AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) override {
        return Command("AddPayArt(" + Num(Count) + "," + SumWithoutNDS.ToString() + "," + Sum.ToString() + "," +
                       std::to_string(NArt) + ")");
    }
    std::int32_t AddCash(Currency Sum, TPayType PayType, const std::string& Info) override {
        return Command("AddCash(" + Sum.ToString() + "," + std::to_string(int(PayType)) + "," + Info + ")");
    }
    std::int32_t ReturnCash(Currency Sum, TPayType PayType, const std::string& Info) override {
        return Command("ReturnCash(" + Sum.ToString() + "," + std::to_string(int(PayType)) + "," + Info + ")");
    }
    std::int32_t CloseCheck(Currency Sum, TPayType PayType) override {
        return Command("CloseCheck(" + Sum.ToString() + "," + std::to_string(int(PayType)) + ")");
    }
    std::int32_t AddInfo(const std::string& Text) override { return Command("AddInfo(" + Text + ")"); }
    bool InInteraction() override { return Query("InInteraction"), true; }
    std::string ID() override { return Query("ID"), "ER-350F 1234"; }
    std::int32_t DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep) override {
        return Command("DelPayDep(" + SumWithoutNDS.ToString() + "," + Sum.ToString() + "," + std::to_string(NDep) + ")");
    }
    std::int32_t DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) override {
        return Command("DelPayArt(" + SumWithoutNDS.ToString() + "," + Sum.ToString() + "," + std::to_string(NArt) + ")");
    }
    std::string XReportItems() override { return Query("XReportItems"), "X1;X2;"; }
    std::string ZReportItems() override { return Query("ZReportItems"), "Z1;"; }
    std::int32_t GetXReport(const std::string& Items) override { return Command("GetXReport(" + Items + ")"); }
    std::int32_t GetZReport(const std::string& Items) override { return Command("GetZReport(" + Items + ")"); }
    std::string TrashID() override { return Query("TrashID"), "trash"; }
    std::int32_t OpenCheck(const std::string& Info) override { return Command("OpenCheck(" + Info + ")"); }
    std::int32_t SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                        const std::string& Description, bool Return) override {
        return Command("SetArt(" + std::to_string(NArt) + "," + std::to_string(NDep) + "," + std::to_string(NTax) + "," +
                       Price.ToString() + "," + Description + "," + (Return ? "1" : "0") + ")");
    }

private:
    static std::string Num(double v) {
        std::string s = std::to_string(v);
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
        return s;
    }
    void Query(const std::string& call) {
        if (driverFails) throw std::runtime_error("driver not attached");
        calls.push_back(call);
    }
    std::int32_t Command(const std::string& call) {
        Query(call);
        const std::int32_t id = nextResult;
        if (id >= 0) {
            ++nextResult;
            if (relayResults) QTimer::singleShot(50, [this, id] { Relay(id, 0); });
        }
        return id;
    }
};

}  // namespace tolver::spooler::testing

#pragma once
// A main window for the automation objects' tests: its driver wrapper is attached to a
// driver that records every call on the host as text and answers with the next
// command id (or fails on request); it keeps the client list, relays command results
// to the clients as the real one does, and holds the sign-on dialog open until the
// test closes it. Its open receipt is the spooler's own, whose register accepts every
// close by the time the test looks (checkOpen).

#include <QTimer>
#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/com/connpoint.h"
#include "spooler/automation/automationhost.h"

namespace tolver::spooler::testing {

class FakeHostDriver;

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

    // For the driver: a query, and a command that gets the next id.
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

private:
    ComPtr<FakeHostDriver> driver_;
    TCashDriverAuto1 wrapper_;
    std::optional<TOpenReceipt> receipt_{std::in_place, wrapper_};
};

inline constexpr GUID IID_FakeHostDriverEvents = MakeGUID("{6A0E3C51-2F4B-4D8E-9B17-5C3D2A8E4F60}");

// The contract's members that the automation objects call, recorded on the host; the
// others are not implemented.
class FakeHostDriver final : public TConnectableAutoObject<ICashDriverAuto> {
public:
    explicit FakeHostDriver(FakeHost& host) : host_(host) { ConnectionPoints.Add(IID_FakeHostDriverEvents, SinkLimit::Single); }

    HRESULT AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep,
                      std::int32_t* Value) override {
        return Command("AddPayDep(" + Name + "," + FakeHost::Num(Count) + "," + SumWithoutNDS.ToString() + "," +
                           Sum.ToString() + "," + std::to_string(NDep) + ")",
                       Value);
    }
    HRESULT AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt, std::int32_t* Value) override {
        return Command("AddPayArt(" + FakeHost::Num(Count) + "," + SumWithoutNDS.ToString() + "," + Sum.ToString() + "," +
                           std::to_string(NArt) + ")",
                       Value);
    }
    HRESULT AddCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) override {
        return Command("AddCash(" + Sum.ToString() + "," + std::to_string(int(PayType)) + "," + Info + ")", Value);
    }
    HRESULT ReturnCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) override {
        return Command("ReturnCash(" + Sum.ToString() + "," + std::to_string(int(PayType)) + "," + Info + ")", Value);
    }
    HRESULT CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) override {
        const HRESULT hr = Command("CloseCheck(" + Sum.ToString() + "," + std::to_string(int(PayType)) + ")", Value);
        if (SUCCEEDED(hr) && *Value > 0) host_.closes.push_back(*Value);
        return hr;
    }
    HRESULT AddInfo(const std::string& Text, std::int32_t* Value) override { return Command("AddInfo(" + Text + ")", Value); }
    HRESULT get_InInteraction(bool* Value) override { return Query("InInteraction", Value, true); }
    HRESULT get_ID(std::string* Value) override { return Query("ID", Value, std::string("ER-350F 1234")); }
    HRESULT DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep, std::int32_t* Value) override {
        return Command("DelPayDep(" + SumWithoutNDS.ToString() + "," + Sum.ToString() + "," + std::to_string(NDep) + ")",
                       Value);
    }
    HRESULT DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt, std::int32_t* Value) override {
        return Command("DelPayArt(" + SumWithoutNDS.ToString() + "," + Sum.ToString() + "," + std::to_string(NArt) + ")",
                       Value);
    }
    HRESULT get_XReportItems(std::string* Value) override { return Query("XReportItems", Value, std::string("X1;X2;")); }
    HRESULT get_ZReportItems(std::string* Value) override { return Query("ZReportItems", Value, std::string("Z1;")); }
    HRESULT GetXReport(const std::string& Items, std::int32_t* Value) override {
        return Command("GetXReport(" + Items + ")", Value);
    }
    HRESULT GetZReport(const std::string& Items, std::int32_t* Value) override {
        return Command("GetZReport(" + Items + ")", Value);
    }
    HRESULT get_TrashID(std::string* Value) override { return Query("TrashID", Value, std::string("trash")); }
    HRESULT OpenCheck(const std::string& Info, std::int32_t* Value) override { return Command("OpenCheck(" + Info + ")", Value); }
    HRESULT SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price, const std::string& Description,
                   bool Return, std::int32_t* Value) override {
        return Command("SetArt(" + std::to_string(NArt) + "," + std::to_string(NDep) + "," + std::to_string(NTax) + "," +
                           Price.ToString() + "," + Description + "," + (Return ? "1" : "0") + ")",
                       Value);
    }
    // The wrapper attaches to the events interface named here.
    HRESULT get_EventIID(std::string* Value) override {
        *Value = GUIDToString(IID_FakeHostDriverEvents);
        return S_OK;
    }

    HRESULT get_PropertiesForm(std::int32_t*) override { return E_NOTIMPL; }
    HRESULT get_InfoForm(std::int32_t*) override { return E_NOTIMPL; }
    HRESULT get_Properties(Variant*) override { return E_NOTIMPL; }
    HRESULT set_Properties(const Variant&) override { return E_NOTIMPL; }
    HRESULT Init(const Variant&, std::string*, std::int32_t*) override { return E_NOTIMPL; }
    HRESULT Done() override { return E_NOTIMPL; }
    HRESULT get_ComNumber(std::uint8_t*) override { return E_NOTIMPL; }
    HRESULT set_ComNumber(std::uint8_t) override { return E_NOTIMPL; }
    HRESULT get_Baud(std::int32_t*) override { return E_NOTIMPL; }
    HRESULT set_Baud(std::int32_t) override { return E_NOTIMPL; }
    HRESULT get_AdvProperties(Variant*) override { return E_NOTIMPL; }
    HRESULT set_AdvProperties(const Variant&) override { return E_NOTIMPL; }
    HRESULT get_AdvPropertiesForm(std::int32_t*) override { return E_NOTIMPL; }
    HRESULT get_ProgramItems(std::string*) override { return E_NOTIMPL; }
    HRESULT GetProgram(const std::string&, std::int32_t*) override { return E_NOTIMPL; }
    HRESULT set_SpoolerSetup(const Variant&) override { return E_NOTIMPL; }
    HRESULT RegOp(std::int32_t, const std::string&, const std::string&, std::int32_t*) override { return E_NOTIMPL; }
    HRESULT UnRegOp(std::int32_t*) override { return E_NOTIMPL; }
    HRESULT Restore(std::int32_t*) override { return E_NOTIMPL; }
    HRESULT Terminate(std::int32_t*) override { return E_NOTIMPL; }
    HRESULT get_Constraints(Variant*) override { return E_NOTIMPL; }
    HRESULT ProgramAfterReg(const std::string&, std::int32_t*) override { return E_NOTIMPL; }
    HRESULT get_BeginMsg(std::string*) override { return E_NOTIMPL; }
    HRESULT get_CashModelDescription(std::string*) override { return E_NOTIMPL; }

private:
    HRESULT Command(const std::string& call, std::int32_t* Value) {
        return Guard([&] { *Value = host_.Command(call); });
    }
    template <class T>
    HRESULT Query(const std::string& call, T* Value, T answer) {
        return Guard([&] {
            host_.Query(call);
            *Value = std::move(answer);
        });
    }

    FakeHost& host_;
};

inline FakeHost::FakeHost() : driver_(MakeComObject<FakeHostDriver>(*this)) {
    wrapper_.ConnectKind = TCashDriverAutoClient::TConnectKind::ckAttachToInterface;
    wrapper_.ConnectTo(driver_.get());
}

inline FakeHost::~FakeHost() { wrapper_.Disconnect(); }

}  // namespace tolver::spooler::testing

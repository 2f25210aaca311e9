#pragma once
// A scriptable in-process driver object for the spooler's tests: it answers the
// contract, raises its events under an events identifier of its own, records every
// member call in order, and lets a test choose what Restore, Terminate, Init and the
// polls answer and which members fail.

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/connpoint.h"
#include "platform/com/hresult.h"
#include "spooler/spoolermessage.h"
#include "spooler/spoolerview.h"

namespace tolver::testing {

inline constexpr GUID IID_FakeDriverEvents = MakeGUID("{3C1F9A70-6B2D-4E55-9D41-0A7B5E2C8F01}");

class TFakeDriver final : public TConnectableAutoObject<ICashDriverAuto> {
public:
    TFakeDriver() { events_ = &ConnectionPoints.Add(IID_FakeDriverEvents, SinkLimit::Single); }

    // ---- the script ----------------------------------------------------------------
    std::vector<std::string> Calls;  // "RegOp(3,,5173)" and the like, in order
    std::int32_t RestoreResult = -1;
    std::int32_t TerminateResult = -1;
    std::int32_t InitResult = 0;
    std::string InitCause;
    std::deque<bool> Polls;   // answers of InInteraction; true when empty
    std::set<std::string> Failing;  // member names that fail with "<name> failed"
    std::string BeginMsgText;
    std::int32_t NextId = 100;
    std::int32_t MaxOp = 9;  // of the limits

    void RaiseCommandResult(std::int32_t id, std::int32_t result) {
        events_->Raise(ICashDriverAutoEvents::OnCommandResult, id, result);
    }
    void RaiseText(DISPID id, const std::string& text) { events_->Raise(id, text); }
    void RaisePrint(std::int32_t c) { events_->Raise(ICashDriverAutoEvents::OnPrint, c); }
    HRESULT RaiseRaw(DISPID id, std::span<Variant> args) { return events_->Raise(id, args); }
    bool HasSink() const { return events_->HasSinks(); }
    // Calls whose name begins with prefix.
    std::vector<std::string> CallsOf(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : Calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

    // ---- the contract ----------------------------------------------------------------
    HRESULT get_PropertiesForm(std::int32_t* Value) override { return Do("PropertiesForm", [&] { *Value = 0; }); }
    HRESULT get_InfoForm(std::int32_t* Value) override { return Do("InfoForm", [&] { *Value = 0; }); }
    HRESULT get_Properties(Variant* Value) override { return Do("Properties", [&] { *Value = Variant(); }); }
    HRESULT set_Properties(const Variant&) override { return Do("SetProperties", [] {}); }
    HRESULT Init(const Variant&, std::string* Cause, std::int32_t* Value) override {
        return Do("Init", [&] {
            *Cause = InitCause;
            *Value = InitResult;
        });
    }
    HRESULT Done() override { return Do("Done", [] {}); }
    HRESULT get_ComNumber(std::uint8_t* Value) override { return Do("ComNumber", [&] { *Value = 1; }); }
    HRESULT set_ComNumber(std::uint8_t v) override { return Do("SetComNumber(" + std::to_string(v) + ")", [] {}); }
    HRESULT get_Baud(std::int32_t* Value) override { return Do("Baud", [&] { *Value = 9600; }); }
    HRESULT set_Baud(std::int32_t v) override { return Do("SetBaud(" + std::to_string(v) + ")", [] {}); }
    HRESULT get_AdvProperties(Variant* Value) override {
        return Do("AdvProperties", [&] { *Value = Variant("adv"); });
    }
    HRESULT set_AdvProperties(const Variant&) override { return Do("SetAdvProperties", [] {}); }
    HRESULT get_AdvPropertiesForm(std::int32_t* Value) override { return Do("AdvPropertiesForm", [&] { *Value = 0; }); }
    HRESULT get_ProgramItems(std::string* Value) override { return Do("ProgramItems", [&] { *Value = "P;"; }); }
    HRESULT get_XReportItems(std::string* Value) override { return Do("XReportItems", [&] { *Value = "X;"; }); }
    HRESULT get_ZReportItems(std::string* Value) override { return Do("ZReportItems", [&] { *Value = "Z;"; }); }
    HRESULT GetXReport(const std::string& Items, std::int32_t* Value) override { return Id("GetXReport(" + Items + ")", Value); }
    HRESULT GetZReport(const std::string& Items, std::int32_t* Value) override { return Id("GetZReport(" + Items + ")", Value); }
    HRESULT GetProgram(const std::string& Items, std::int32_t* Value) override { return Id("GetProgram(" + Items + ")", Value); }
    HRESULT set_SpoolerSetup(const Variant&) override { return Do("SpoolerSetup", [] {}); }
    HRESULT AddPayDep(const std::string& Name, double, Currency, Currency, std::int32_t NDep, std::int32_t* Value) override {
        return Id("AddPayDep(" + Name + "," + std::to_string(NDep) + ")", Value);
    }
    HRESULT AddPayArt(double, Currency, Currency, std::int32_t NArt, std::int32_t* Value) override {
        return Id("AddPayArt(" + std::to_string(NArt) + ")", Value);
    }
    HRESULT AddCash(Currency, TPayType, const std::string&, std::int32_t* Value) override { return Id("AddCash", Value); }
    HRESULT CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) override {
        return Id("CloseCheck(" + std::to_string(Sum.raw()) + "," + std::to_string(static_cast<int>(PayType)) + ")", Value);
    }
    HRESULT RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password, std::int32_t* Value) override {
        return Id("RegOp(" + std::to_string(NOp) + "," + NameOp + "," + Password + ")", Value);
    }
    HRESULT UnRegOp(std::int32_t* Value) override { return Id("UnRegOp", Value); }
    HRESULT get_InInteraction(bool* Value) override {
        return Do("InInteraction", [&] {
            *Value = Polls.empty() ? true : Polls.front();
            if (!Polls.empty()) Polls.pop_front();
        });
    }
    HRESULT get_ID(std::string* Value) override { return Do("ID", [&] { *Value = "FAKE-1"; }); }
    HRESULT AddInfo(const std::string& Text, std::int32_t* Value) override { return Id("AddInfo(" + Text + ")", Value); }
    HRESULT Restore(std::int32_t* Value) override { return Do("Restore", [&] { *Value = RestoreResult; }); }
    HRESULT Terminate(std::int32_t* Value) override { return Do("Terminate", [&] { *Value = TerminateResult; }); }
    HRESULT get_EventIID(std::string* Value) override {
        return Do("EventIID", [&] { *Value = GUIDToString(IID_FakeDriverEvents); });
    }
    HRESULT get_Constraints(Variant* Value) override {
        return Do("Constraints", [&] {
            TCashDriverConstraints c;
            c.VersionName = "Fake";
            c.MaxOp = MaxOp;
            c.MaxDep = 16;
            *Value = CashDriverConstraintsToVariant(c);
        });
    }
    HRESULT ReturnCash(Currency, TPayType, const std::string&, std::int32_t* Value) override { return Id("ReturnCash", Value); }
    HRESULT DelPayDep(Currency, Currency, std::int32_t, std::int32_t* Value) override { return Id("DelPayDep", Value); }
    HRESULT DelPayArt(Currency, Currency, std::int32_t, std::int32_t* Value) override { return Id("DelPayArt", Value); }
    HRESULT get_TrashID(std::string* Value) override { return Do("TrashID", [&] { *Value = "FAKE-1"; }); }
    HRESULT OpenCheck(const std::string&, std::int32_t* Value) override { return Id("OpenCheck", Value); }
    HRESULT ProgramAfterReg(const std::string& Param, std::int32_t* Value) override {
        return Do("ProgramAfterReg(" + Param + ")", [&] { *Value = 0; });
    }
    HRESULT SetArt(std::int32_t, std::int32_t, std::int32_t, Currency, const std::string&, bool, std::int32_t* Value) override {
        return Id("SetArt", Value);
    }
    HRESULT get_BeginMsg(std::string* Value) override { return Do("BeginMsg", [&] { *Value = BeginMsgText; }); }
    HRESULT get_CashModelDescription(std::string* Value) override {
        return Do("CashModelDescription", [&] { *Value = "Fake"; });
    }

private:
    template <class F>
    HRESULT Do(const std::string& call, F&& body) {
        Calls.push_back(call);
        const std::string name = call.substr(0, call.find('('));
        return Guard([&] {
            if (Failing.count(name)) throw Exception(name + " failed");
            body();
        });
    }
    HRESULT Id(const std::string& call, std::int32_t* Value) {
        return Do(call, [&] { *Value = NextId++; });
    }

    TConnectionPoint* events_ = nullptr;
};

// A view that records what the logic asked of the window.
class TFakeView final : public ISpoolerView {
public:
    std::string Info;
    bool Shown = false;
    bool MenuFull = true;
    std::vector<std::int32_t> Printed;
    int TimerStarts = 0, Pushes = 0, Closes = 0, LinkChanges = 0;
    std::vector<std::string> Posted;

    void SetInfo(const std::string& text) override { Info = text; }
    void ShowStatus() override { Shown = true; }
    void HideStatus() override { Shown = false; }
    void SetMenuFull(bool full) override { MenuFull = full; }
    void PrintChar(std::int32_t code) override { Printed.push_back(code); }
    void StartCommandResultTimer() override { ++TimerStarts; }
    void PushDriverProperties() override { ++Pushes; }
    void PostClose() override { ++Closes; }
    // The boxes go to the box itself, which the tests script (TSpoolerMessageScript).
    int ShowMessage(const std::string& text, const std::string& title, bool yesNo) override {
        return ShowSpoolerMessage(text, title, yesNo);
    }
    void PostMessage(const std::string& text, const std::string&) override { Posted.push_back(text); }
    void LinkChanged() override { ++LinkChanges; }
    void Started(const std::string&) override {}
    void PostRegDialog(std::function<void(std::int32_t)> done) override { done(-1); }
    void ShowReports() override {}
    std::string DriverInfo() override { return {}; }
    void SetControlEnabled(bool) override {}
};

}  // namespace tolver::testing

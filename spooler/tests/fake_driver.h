#pragma once
// The spooler's tests' driver: the contract's fake (contract/testing) with the answers
// of a register on line, and what Restore, Terminate, Init, the polls and the limits
// answer as fields a test sets.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "drivers/contract/testing/fake_cash_driver.h"
#include "spooler/spoolermessage.h"
#include "spooler/spoolerview.h"

namespace tolver::testing {

inline constexpr GUID IID_FakeDriverEvents = MakeGUID("{3C1F9A70-6B2D-4E55-9D41-0A7B5E2C8F01}");

class TFakeDriver final : public testutil::TFakeCashDriver {
public:
    TFakeDriver() : TFakeCashDriverOf(IID_FakeDriverEvents) {
        NextId = 100;
        Returns("ComNumber", std::uint8_t{1});
        Returns("Baud", 9600);
        Returns("AdvProperties", "adv");
        Returns("ProgramItems", "P;");
        Returns("XReportItems", "X;");
        Returns("ZReportItems", "Z;");
        Returns("ID", "FAKE-1");
        Returns("TrashID", "FAKE-1");
        Returns("ProgramAfterReg", 0);
        Returns("CashModelDescription", "Fake");
        On("Init", [this](testutil::TDriverCall& call) {
            call.args[1] = Variant(InitCause);
            return Variant(InitResult);
        });
        On("Restore", [this](testutil::TDriverCall&) { return Variant(RestoreResult); });
        On("Terminate", [this](testutil::TDriverCall&) { return Variant(TerminateResult); });
        On("BeginMsg", [this](testutil::TDriverCall&) { return Variant(BeginMsgText); });
        On("InInteraction", [this](testutil::TDriverCall&) {
            if (Polls.empty()) return Variant(true);
            const bool answer = Polls.front();
            Polls.pop_front();
            return Variant(answer);
        });
        On("Constraints", [this](testutil::TDriverCall&) {
            TCashDriverConstraints c;
            c.VersionName = "Fake";
            c.MaxOp = MaxOp;
            c.MaxDep = 16;
            return CashDriverConstraintsToVariant(c);
        });
    }

    // ---- the script beside the fake's own (Calls, Failing, NextId) -----------------
    std::int32_t RestoreResult = -1;
    std::int32_t TerminateResult = -1;
    std::int32_t InitResult = 0;
    std::string InitCause;
    std::deque<bool> Polls;   // answers of InInteraction; true when empty
    std::string BeginMsgText;
    std::int32_t MaxOp = 9;  // of the limits
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

// The cashier's sign-on: the receipt closed first, the reports around RegOp, errors
// that end the sequence but keep the cashier, and the tray menu's receipt close.

#include <gtest/gtest.h>

#include "platform/testing/gui_test_main.h"
#include "spooler/tests/core_rig.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

class CashierTest : public ::testing::Test, public TCoreRig {};

// ---- sign-on ---------------------------------------------------------------------------

TEST_F(CashierTest, SignOnClosesTheReceiptAndRunsReportsAroundRegOp) {
    Start();
    auto* op = static_cast<TCashOpProperties*>(setup.OpList.CreateItem(2));
    op->Password = "77";
    setup.AutoXReportsBefore = "0;";
    setup.AutoZReportsBefore = "1;";
    setup.AutoXReportsAfter = "2;";
    setup.AutoZReportsAfter = "";
    core.Receipt().Opened();
    driver->Calls.clear();
    driver->NextId = 10;
    EXPECT_EQ(core.Cashier().RegisterCashier(2, "Петров", true, ""), 13);
    const std::vector<std::string> expected = {"CloseCheck(0,0)", "GetXReport(0;)", "GetZReport(1;)",
                                               "RegOp(2,Петров,77)", "ProgramAfterReg(BeginMsg)", "GetXReport(2;)"};
    EXPECT_EQ(driver->Calls, expected);
    EXPECT_TRUE(core.Receipt().Open());  // until the register takes the close
    driver->RaiseCommandResult(10, 0);
    EXPECT_FALSE(core.Receipt().Open());
    EXPECT_EQ(core.Cashier().CashierN(), 2);

    // Without reports none runs; a typed password goes as typed.
    driver->Calls.clear();
    core.Cashier().RegisterCashier(2, "", false, "secret");
    EXPECT_EQ(driver->Calls, (std::vector<std::string>{"RegOp(2,,secret)", "ProgramAfterReg(BeginMsg)"}));
}

TEST_F(CashierTest, SignOnErrorsEndTheSequenceButKeepTheCashier) {
    Start();
    setup.AutoXReportsAfter = "0;";
    driver->Failing.insert("ProgramAfterReg");
    driver->NextId = 50;
    EXPECT_EQ(core.Cashier().RegisterCashier(4, "", true, ""), 50);  // RegOp's id stays the result
    EXPECT_TRUE(driver->CallsOf("GetXReport").empty());
    EXPECT_EQ(core.Cashier().CashierN(), 4);

    driver->Failing = {"RegOp"};
    EXPECT_EQ(core.Cashier().RegisterCashier(5, "", false, ""), -1);
    EXPECT_EQ(core.Cashier().CashierN(), 5);
    driver->Failing = {"UnRegOp"};
    EXPECT_EQ(core.Cashier().UnregisterCashier(), -1);
    EXPECT_EQ(core.Cashier().CashierN(), -1);
}

// The link signs on again only a cashier it lost: a sign-on just before its first good
// poll stays as it is, and so does the receipt opened after it.
TEST_F(CashierTest, TheLinkSignsOnAgainOnlyACashierItLost) {
    Start();
    auto* op = static_cast<TCashOpProperties*>(setup.OpList.CreateItem(2));
    op->Password = "77";
    ASSERT_GT(core.Cashier().RegisterCashier(2, "Петров", false, ""), 0);
    core.Receipt().Opened();  // a sale opened the receipt
    driver->Calls.clear();
    Ticks(3);  // good polls
    EXPECT_TRUE(driver->CallsOf("RegOp").empty());
    EXPECT_TRUE(driver->CallsOf("CloseCheck").empty());
    EXPECT_TRUE(core.Receipt().Open());

    // The register goes silent long enough for the failure box, then answers again.
    setup.DriverSetup.NotificationOn = false;
    driver->Polls = std::deque<bool>(5, false);
    Ticks(5);
    EXPECT_FALSE(link.CashierRestored());
    Ticks(1);
    EXPECT_EQ(driver->CallsOf("RegOp"), (std::vector<std::string>{"RegOp(2,,77)"}));
    EXPECT_TRUE(link.CashierRestored());

    // A sign-on the driver refuses leaves the cashier to be signed on again.
    driver->Polls = std::deque<bool>(5, false);
    Ticks(5);
    driver->Failing = {"RegOp"};
    EXPECT_EQ(core.Cashier().RegisterCashier(3, "", false, ""), -1);
    EXPECT_FALSE(link.CashierRestored());
}

TEST_F(CashierTest, CloseCheckFromTheMenuSwallowsErrors) {
    Start();
    core.Receipt().Opened();
    driver->Failing.insert("CloseCheck");
    core.Cashier().CloseCheckNow();
    EXPECT_TRUE(core.Receipt().Open());  // nothing closed it
}

// ---- the open receipt --------------------------------------------------------------------

// A receipt closes when the register accepts its close, not when the close is sent:
// a refused close leaves it open for everyone, and a close on its way is not sent
// again by the members that close a receipt first.
TEST_F(CashierTest, TheReceiptClosesWhenTheRegisterTakesTheClose) {
    Start();
    TOpenReceipt& receipt = core.Receipt();
    receipt.SetCaller("a");
    receipt.Opened();
    driver->Calls.clear();
    driver->NextId = 20;
    EXPECT_EQ(receipt.Close(Currency::Parse("10"), TPayType::Cash), 20);
    EXPECT_TRUE(receipt.Open());
    EXPECT_FALSE(receipt.Unclosed());
    core.Cashier().UnregisterCashier();  // closes first, but the close is on its way
    EXPECT_EQ(driver->CallsOf("CloseCheck").size(), 1u);

    driver->RaiseCommandResult(20, -1);  // refused: still open, and closed first again
    EXPECT_TRUE(receipt.Open());
    EXPECT_TRUE(receipt.Unclosed());
    EXPECT_EQ(receipt.Owner(), "a");
    driver->NextId = 30;
    core.Cashier().UnregisterCashier();
    EXPECT_EQ(driver->CallsOf("CloseCheck").size(), 2u);
    driver->RaiseCommandResult(29, 0);  // another command's outcome changes nothing
    EXPECT_TRUE(receipt.Open());
    driver->RaiseCommandResult(30, 0);
    EXPECT_FALSE(receipt.Open());
    EXPECT_EQ(receipt.Owner(), "");
}

// A sale queued behind a close on its way opens the next receipt, its caller's: it
// stays open when that close is accepted, and joins the old one when it is refused.
// An owner that leaves the bus abandons only a receipt that is not being closed.
TEST_F(CashierTest, ASaleBehindAPendingCloseOpensTheNextReceipt) {
    Start();
    for (const std::int32_t outcome : {0, -1}) {
        SCOPED_TRACE(outcome);
        TOpenReceipt receipt(core.Binding().Driver());
        receipt.SetCaller("a");
        receipt.Opened();
        driver->NextId = 40;
        receipt.Close(Currency(), TPayType::Cash);
        receipt.OwnerLeft("a");
        EXPECT_FALSE(receipt.Abandoned());
        receipt.SetCaller("b");
        receipt.Opened();
        EXPECT_EQ(receipt.Owner(), "b");
        EXPECT_TRUE(receipt.Unclosed());  // a close-first member closes the new one
        receipt.CommandCompleted(40, outcome);
        EXPECT_TRUE(receipt.Open());
        EXPECT_TRUE(receipt.Unclosed());
        receipt.OwnerLeft("b");
        EXPECT_TRUE(receipt.Abandoned());
    }
}
}  // namespace

TOLVER_GUI_TEST_MAIN()

// The spooler's logic joined: the driver's events reach their handlers by DISPID, a
// completion goes to the link and then to the relay, the link signs the cashier on
// again, the apply step, the receipt header, and the driver wrapper.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include "common/utilgl.h"
#include "platform/com/hresult.h"
#include "platform/testing/gui_test_main.h"
#include "spooler/tests/core_rig.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

class CoreTest : public ::testing::Test, public TCoreRig {};

TEST_F(CoreTest, RestoreCompletionConnectsAndIsQueuedForClients) {
    driver->RestoreResult = 5;
    Start();
    driver->RaiseCommandResult(5, 0);
    EXPECT_EQ(link.State(), lsConnected);
    EXPECT_EQ(link.RestoreID(), -1);
    ASSERT_EQ(core.Relay().CommandResults().size(), 1u);
    EXPECT_EQ(view.TimerStarts, 1);
}

TEST_F(CoreTest, CashierIsSignedOnAgainWhenTheLinkReturns) {
    auto* op = static_cast<TCashOpProperties*>(setup.OpList.CreateItem(3));
    op->Password = "5173";
    Start();
    Ticks(1);  // the first good poll: nobody to sign on yet
    core.Cashier().RegisterCashier(3, "Иванова", false, "");
    driver->Calls.clear();
    driver->Polls = {false, false, false, false, false, true, true};
    Ticks(7);
    EXPECT_EQ(driver->CallsOf("RegOp"), std::vector<std::string>{"RegOp(3,,5173)"});
    EXPECT_TRUE(driver->CallsOf("GetXReport").empty());

    // After a sign-off nobody is signed on again.
    core.Cashier().UnregisterCashier();
    driver->Calls.clear();
    driver->Polls = {false, false, false, false, false, true};
    Ticks(6);
    EXPECT_TRUE(driver->CallsOf("RegOp").empty());
}

// ---- driver events -------------------------------------------------------------------------

TEST_F(CoreTest, EventsReachTheirHandlersByDispid) {
    setup.DriverSetup.ProtocolOn = true;
    Start();
    driver->RaiseCommandResult(7, -1);
    ASSERT_EQ(core.Relay().CommandResults().size(), 1u);
    EXPECT_EQ(core.Relay().CommandResults()[0].CommandID, 7);
    EXPECT_EQ(core.Relay().CommandResults()[0].CommandResult, -1);
    driver->RaisePrint('A');
    EXPECT_EQ(view.Printed, std::vector<std::int32_t>{'A'});
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolError, "Бумага закончилась");
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolQuery, "Поверните ключ в положение X");
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(boxes.Boxes[0].Title, "Тольвер. Ошибка");
    EXPECT_EQ(boxes.Boxes[1].Title, "Тольвер. Запрос");
    EXPECT_FALSE(boxes.Boxes[1].YesNo);
    // Another DISPID is ignored.
    Variant arg("x");
    EXPECT_EQ(driver->RaiseRaw(42, std::span<Variant>(&arg, 1)), S_OK);
    EXPECT_EQ(core.Relay().CommandResults().size(), 1u);
    // A model change re-reads the limits.
    driver->MaxOp = 0;
    driver->RaiseRaw(ICashDriverAutoEvents::OnModelChange, {});
    EXPECT_EQ(core.Binding().Constraints().MaxOp, 0);
    driver->MaxOp = 9;
    driver->RaiseRaw(ICashDriverAutoEvents::OnModelChange, {});
    EXPECT_EQ(core.Binding().Constraints().MaxOp, 9);
    // The log and info texts go to the protocol log, one after the other.
    core.Log().SetToday([] { return QDate(2026, 3, 7); });
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolLog, "log ");
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolInfo, "info");
    std::ifstream in(registry.dir() / "state" / "07-03-2026_Spooler.log.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "log info");
}

TEST_F(CoreTest, BeginMsgFallsBackToTheSetupLines) {
    Start();
    setup.BeginMsg = {"МАГАЗИН", "ДОБРО ПОЖАЛОВАТЬ"};
    EXPECT_EQ(core.GetBeginMsg(), "МАГАЗИН\r\nДОБРО ПОЖАЛОВАТЬ\r\n");
    driver->BeginMsgText = "ИЗ КАССЫ";
    EXPECT_EQ(core.GetBeginMsg(), "ИЗ КАССЫ");
    driver->Failing.insert("BeginMsg");
    EXPECT_EQ(core.GetBeginMsg(), "МАГАЗИН\r\nДОБРО ПОЖАЛОВАТЬ\r\n");
}

TEST_F(CoreTest, ApplySettingsSortsHandsOverAndSavesDespiteDriverErrors) {
    Start();
    setup.DepList.CreateItem(5);
    setup.DepList.CreateItem(2);
    driver->Failing.insert("SpoolerSetup");
    core.ApplySettings();
    EXPECT_EQ(setup.DepList.Item<TCashDepProperties>(0)->N, 2);
    EXPECT_EQ(setup.DriverSetup.AdvPropertiesData, Variant("adv"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey));
}

// ---- the wrapper -------------------------------------------------------------------------

TEST(CashDriverAuto, FailuresRaiseWithTheDriversText) {
    TCashDriverAuto1 w;
    w.ConnectKind = TCashDriverAutoClient::TConnectKind::ckAttachToInterface;
    try {
        w.Call(&ICashDriverAuto::Restore);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), TCashDriverAutoClient::kNotConnected);
    }
    auto driver = MakeComObject<TFakeDriver>();
    w.ConnectToEvents(driver.get(), IID_FakeDriverEvents);
    EXPECT_TRUE(driver->HasSink());
    driver->Failing.insert("AddPayDep");
    try {
        w.Call(&ICashDriverAuto::AddPayDep, "Хлеб", 1, Currency(), Currency(), 1);
        FAIL() << "no error";
    } catch (const EOleError& e) {
        EXPECT_NE(std::string(e.what()).find("AddPayDep failed"), std::string::npos);
        EXPECT_TRUE(FAILED(e.ErrorCode()));
    }
    w.Disconnect();
    EXPECT_FALSE(driver->HasSink());
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

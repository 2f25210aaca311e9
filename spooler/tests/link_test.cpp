// The link's state machine against a scriptable driver and a recording view: the
// connect sequence and its failures, the restore and terminate waits, the polls and
// the failure box, the pause and the closing sequence.

#include <gtest/gtest.h>

#include "platform/testing/gui_test_main.h"
#include "spooler/tests/core_rig.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

class LinkTest : public ::testing::Test, public TCoreRig {};

// ---- connect sequence and link timing ---------------------------------------------------

TEST_F(LinkTest, RestoreDoneAtOnceConnectsWithoutTheRestoringText) {
    driver->RestoreResult = -1;
    Start();
    EXPECT_EQ(link.State(), lsConnected);
    EXPECT_EQ(view.Info, "");
    EXPECT_FALSE(link.DriverError());
    // The connect sequence, in order, with the port settings before Init.
    setup.DriverSetup.ComNumber = 0;
    const std::vector<std::string> expected = {"ProgramAfterReg()", "SpoolerSetup=[...]", "ComNumber=0", "Baud=0",
                                               "Init()", "Restore()"};
    std::vector<std::string> calls;
    for (const auto& c : driver->Calls)
        if (c != "EventIID" && c != "Constraints") calls.push_back(c);
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(core.Binding().Constraints().MaxOp, 9);
}

TEST_F(LinkTest, RestoreThatNeverCompletesGivesUpOnTheFourthTick) {
    driver->RestoreResult = 5;
    Start();
    EXPECT_EQ(link.State(), lsRestoring);
    EXPECT_EQ(view.Info, kTextRestoring);
    EXPECT_TRUE(view.Shown);
    EXPECT_FALSE(view.MenuFull);
    Ticks(3);
    EXPECT_EQ(link.State(), lsRestoring);
    Ticks(1);
    EXPECT_EQ(link.State(), lsConnected);
    EXPECT_EQ(link.RestoreID(), -1);
    EXPECT_EQ(link.RestoreTicks(), 0);
}


TEST_F(LinkTest, TerminateUnderWayStopsOnCompletionOrTheSecondTick) {
    Start();
    driver->TerminateResult = 7;
    link.RequestDisconnect();
    EXPECT_EQ(link.State(), lsTerminating);
    EXPECT_EQ(view.Info, kTextTerminating);
    Ticks1(1);
    EXPECT_EQ(link.State(), lsTerminating);
    Ticks1(1);
    EXPECT_EQ(link.State(), lsStopped);
    EXPECT_EQ(link.TerminateID(), -1);

    Start();
    link.RequestDisconnect();
    driver->RaiseCommandResult(7, 0);
    EXPECT_EQ(link.State(), lsStopped);
}

TEST_F(LinkTest, ConnectFailuresLeaveTheLinkAndShowTheirText) {
    struct Case {
        const char* what;
        std::function<void(TCoreRig&)> arrange;
        std::string text;
    };
    const Case cases[] = {
        {"no driver chosen", [](TCoreRig& t) { t.setup.DriverSetup.CashDriverProperties->AutoObjectName = ""; },
         kTextNoDriver},
        {"no usable EventIID", [](TCoreRig& t) { t.driver->Failing.insert("EventIID"); }, kTextNoDriver},
        {"Init refuses", [](TCoreRig& t) {
             t.driver->InitResult = -1;
             t.driver->InitCause = "Порт COM7 занят";
         }, "Порт COM7 занят"},
        {"Init raises", [](TCoreRig& t) { t.driver->Failing.insert("Init"); }, kTextDriverUnavailable},
        {"an older driver", [](TCoreRig& t) { t.driver->Failing.insert("ProgramAfterReg"); }, kTextDriverOutdated},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCoreRig t;
        c.arrange(t);
        t.Start();
        EXPECT_TRUE(t.link.DriverError());
        EXPECT_EQ(t.view.Info, c.text);
        EXPECT_TRUE(t.view.Shown);
        EXPECT_TRUE(t.view.MenuFull);
        EXPECT_EQ(t.link.State(), lsStopped);
        // The status window stays while the error lasts.
        t.Ticks1(2);
        EXPECT_TRUE(t.view.Shown);
    }
}

TEST_F(LinkTest, AnOldTerminateIdDoesNotEndANewRestoreWait) {
    // Terminate 3 is given up; the new connection's Restore happens to get id 3 too.
    Start();
    driver->TerminateResult = 3;
    link.RequestDisconnect();
    Ticks1(2);
    ASSERT_EQ(link.State(), lsStopped);
    driver->RestoreResult = 3;
    link.SetPendingAction(paReconnect);
    Ticks1(1);
    ASSERT_EQ(link.State(), lsRestoring);
    EXPECT_EQ(view.Pushes, 1);
    driver->RaiseCommandResult(3, 0);
    EXPECT_EQ(link.State(), lsConnected);
}

// ---- polls and the failure box ---------------------------------------------------------

TEST_F(LinkTest, FailureBoxComesAtEveryFifthFailedPoll) {
    Start();
    // Four failures, one success, one failure: the fifth failure asks.
    driver->Polls = {false, false, false, false, true, false};
    Ticks(5);
    EXPECT_TRUE(boxes.Boxes.empty());
    Ticks(1);
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, kTextLinkFailure);
    EXPECT_EQ(boxes.Boxes[0].Title, "Тольвер. Ошибка");
    EXPECT_TRUE(boxes.Boxes[0].YesNo);
    EXPECT_EQ(link.FailCount(), 0);
    EXPECT_FALSE(link.CashierRestored());
}

TEST_F(LinkTest, NoSilencesTheBoxUntilAGoodPoll) {
    Start();
    boxes.Answers = {-1};
    driver->Polls = std::deque<bool>(10, false);
    Ticks(10);
    EXPECT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_TRUE(link.NotifyDeclined());
    driver->Polls = {true, false, false, false, false, false};
    Ticks(6);
    EXPECT_EQ(boxes.Boxes.size(), 2u);
}

TEST_F(LinkTest, WithNotificationOffTheBoxNeverComes) {
    setup.DriverSetup.NotificationOn = false;
    Start();
    driver->Polls = std::deque<bool>(10, false);
    Ticks(10);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_FALSE(link.CashierRestored());
    EXPECT_TRUE(view.MenuFull);
}

TEST_F(LinkTest, PauseHoldsTheLinkDownWhileItsBoxIsOpen) {
    Start();
    boxes.WhileOpen = [&](const TSpoolerMessageScript::Box&) {
        EXPECT_EQ(link.State(), lsStopped);
        Ticks1(2);  // the timers go on inside the box: no reconnect yet
        EXPECT_EQ(driver->CallsOf("Restore").size(), 1u);
    };
    link.Pause();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Связь с кассовым аппратом временно прервана.");
    EXPECT_EQ(boxes.Boxes[0].Title, "Тольвер. Сообщение");
    EXPECT_FALSE(boxes.Boxes[0].YesNo);
    EXPECT_EQ(link.PendingAction(), paReconnect);
    Ticks1(1);
    EXPECT_EQ(driver->CallsOf("Restore").size(), 2u);
    EXPECT_EQ(driver->CallsOf("Done").size(), 1u);
    EXPECT_EQ(link.State(), lsConnected);
}

// ---- the closing sequence ------------------------------------------------------------------

TEST_F(LinkTest, CloseRoadTakesTheLinkDownFirst) {
    Start();
    driver->TerminateResult = 9;
    EXPECT_FALSE(link.CloseQuery());
    EXPECT_EQ(link.State(), lsTerminating);
    EXPECT_FALSE(link.CloseQuery());  // a second close does not start it again
    EXPECT_EQ(driver->CallsOf("Terminate").size(), 1u);
    Ticks1(2);
    EXPECT_EQ(view.Closes, 0);
    Ticks1(1);
    EXPECT_TRUE(link.CanQuit());
    EXPECT_EQ(view.Closes, 1);
    EXPECT_TRUE(link.CloseQuery());
    EXPECT_FALSE(driver->HasSink());
}

TEST_F(LinkTest, CloseWithoutDriverEndsAtTheNextTick) {
    setup.DriverSetup.CashDriverProperties->AutoObjectName = "";
    Start();
    EXPECT_FALSE(link.CloseQuery());
    EXPECT_EQ(link.State(), lsStopped);
    Ticks1(1);
    EXPECT_TRUE(link.CanQuit());
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

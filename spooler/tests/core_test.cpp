// The main window's logic against a scriptable driver and a recording view: the
// connect sequence and link timing, the failure box, the re-sign-on, the relay, the
// protocol log, the sign-on order, the setup migration and the close road.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "platform/registry/temp_registry.h"
#include "platform/testing/gui_test_main.h"
#include "common/utilgl.h"
#include "platform/com/hresult.h"
#include "spooler/spoolermessage.h"
#include "spooler/tests/fake_driver.h"

using namespace tolver;
using namespace tolver::testing;

namespace {

// A driver, a view and the logic between them, with a registry store and a state
// folder of their own.
struct TCoreRig {
    TCoreRig() {
        ::setenv("TOLVER_STATE_DIR", (registry.dir() / "state").c_str(), 1);
        driver = MakeComObject<TFakeDriver>();
        core.Setup.DriverSetup.CashDriverProperties->AutoObjectName = "Fake.Driver";
    }
    ~TCoreRig() { ::unsetenv("TOLVER_STATE_DIR"); }

    // Creates the driver object and runs the connect sequence, as the window does.
    void Start() {
        core.CreateDriverObject();
        core.ConnectDriver();
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) core.TimerStateTick();
    }
    void Ticks1(int n) {
        for (int i = 0; i < n; ++i) core.TimerState1Tick();
    }

    TempRegistry registry;
    ComPtr<TFakeDriver> driver;
    TFakeView view;
    TSpoolerCore core{view, [this](const std::string& progId) -> ComPtr<IDispatch> {
                          if (progId != "Fake.Driver") throw Exception("Class not registered");
                          return ComPtr<IDispatch>(driver.get());
                      }};
    TSpoolerMessageScript boxes;
};

class CoreTest : public ::testing::Test, public TCoreRig {};

// ---- connect sequence and link timing ---------------------------------------------------

TEST_F(CoreTest, RestoreDoneAtOnceConnectsWithoutTheRestoringText) {
    driver->RestoreResult = -1;
    Start();
    EXPECT_EQ(core.LinkState, lsConnected);
    EXPECT_EQ(view.Info, "");
    EXPECT_FALSE(core.DriverError);
    // The connect sequence, in order, with the port settings before Init.
    core.Setup.DriverSetup.ComNumber = 0;
    const std::vector<std::string> expected = {"ProgramAfterReg()", "SpoolerSetup", "SetComNumber(0)", "SetBaud(0)",
                                               "Init", "Restore"};
    std::vector<std::string> calls;
    for (const auto& c : driver->Calls)
        if (c != "EventIID" && c != "Constraints") calls.push_back(c);
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(core.Constraints.MaxOp, 9);
}

TEST_F(CoreTest, RestoreThatNeverCompletesGivesUpOnTheFourthTick) {
    driver->RestoreResult = 5;
    Start();
    EXPECT_EQ(core.LinkState, lsRestoring);
    EXPECT_EQ(view.Info, kTextRestoring);
    EXPECT_TRUE(view.Shown);
    EXPECT_FALSE(view.MenuFull);
    Ticks(3);
    EXPECT_EQ(core.LinkState, lsRestoring);
    Ticks(1);
    EXPECT_EQ(core.LinkState, lsConnected);
    EXPECT_EQ(core.RestoreID, -1);
    EXPECT_EQ(core.RestoreTicks, 0);
}

TEST_F(CoreTest, RestoreCompletionConnectsAndIsQueuedForClients) {
    driver->RestoreResult = 5;
    Start();
    driver->RaiseCommandResult(5, 0);
    EXPECT_EQ(core.LinkState, lsConnected);
    EXPECT_EQ(core.RestoreID, -1);
    ASSERT_EQ(core.CommandResults.size(), 1u);
    EXPECT_EQ(view.TimerStarts, 1);
}

TEST_F(CoreTest, TerminateUnderWayStopsOnCompletionOrTheSecondTick) {
    Start();
    driver->TerminateResult = 7;
    core.RequestDisconnect();
    EXPECT_EQ(core.LinkState, lsTerminating);
    EXPECT_EQ(view.Info, kTextTerminating);
    Ticks1(1);
    EXPECT_EQ(core.LinkState, lsTerminating);
    Ticks1(1);
    EXPECT_EQ(core.LinkState, lsStopped);
    EXPECT_EQ(core.TerminateID, -1);

    Start();
    core.RequestDisconnect();
    driver->RaiseCommandResult(7, 0);
    EXPECT_EQ(core.LinkState, lsStopped);
}

TEST_F(CoreTest, ConnectFailuresLeaveTheLinkAndShowTheirText) {
    struct Case {
        const char* what;
        std::function<void(TCoreRig&)> arrange;
        std::string text;
    };
    const Case cases[] = {
        {"no driver chosen", [](TCoreRig& t) { t.core.Setup.DriverSetup.CashDriverProperties->AutoObjectName = ""; },
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
        EXPECT_TRUE(t.core.DriverError);
        EXPECT_EQ(t.view.Info, c.text);
        EXPECT_TRUE(t.view.Shown);
        EXPECT_TRUE(t.view.MenuFull);
        EXPECT_EQ(t.core.LinkState, lsStopped);
        // The status window stays while the error lasts.
        t.Ticks1(2);
        EXPECT_TRUE(t.view.Shown);
    }
}

TEST_F(CoreTest, AnOldTerminateIdDoesNotEndANewRestoreWait) {
    // Terminate 3 is given up; the new connection's Restore happens to get id 3 too.
    Start();
    driver->TerminateResult = 3;
    core.RequestDisconnect();
    Ticks1(2);
    ASSERT_EQ(core.LinkState, lsStopped);
    driver->RestoreResult = 3;
    core.PendingAction = paReconnect;
    Ticks1(1);
    ASSERT_EQ(core.LinkState, lsRestoring);
    EXPECT_EQ(view.Pushes, 1);
    driver->RaiseCommandResult(3, 0);
    EXPECT_EQ(core.LinkState, lsConnected);
}

// ---- polls and the failure box ---------------------------------------------------------

TEST_F(CoreTest, FailureBoxComesAtEveryFifthFailedPoll) {
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
    EXPECT_EQ(core.FailCount, 0);
    EXPECT_FALSE(core.CashierRestored);
}

TEST_F(CoreTest, NoSilencesTheBoxUntilAGoodPoll) {
    Start();
    boxes.Answers = {-1};
    driver->Polls = std::deque<bool>(10, false);
    Ticks(10);
    EXPECT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_TRUE(core.NotifyDeclined);
    driver->Polls = {true, false, false, false, false, false};
    Ticks(6);
    EXPECT_EQ(boxes.Boxes.size(), 2u);
}

TEST_F(CoreTest, WithNotificationOffTheBoxNeverComes) {
    core.Setup.DriverSetup.NotificationOn = false;
    Start();
    driver->Polls = std::deque<bool>(10, false);
    Ticks(10);
    EXPECT_TRUE(boxes.Boxes.empty());
    EXPECT_FALSE(core.CashierRestored);
    EXPECT_TRUE(view.MenuFull);
}

TEST_F(CoreTest, CashierIsSignedOnAgainWhenTheLinkReturns) {
    auto* op = static_cast<TCashOpProperties*>(core.Setup.OpList.CreateItem(3));
    op->Password = "5173";
    Start();
    Ticks(1);  // the first good poll: nobody to sign on yet
    core.RegisterCashier(3, "Иванова", false, "");
    driver->Calls.clear();
    driver->Polls = {false, false, false, false, false, true, true};
    Ticks(7);
    EXPECT_EQ(driver->CallsOf("RegOp"), std::vector<std::string>{"RegOp(3,,5173)"});
    EXPECT_TRUE(driver->CallsOf("GetXReport").empty());

    // After a sign-off nobody is signed on again.
    core.UnregisterCashier();
    driver->Calls.clear();
    driver->Polls = {false, false, false, false, false, true};
    Ticks(6);
    EXPECT_TRUE(driver->CallsOf("RegOp").empty());
}

TEST_F(CoreTest, PauseHoldsTheLinkDownWhileItsBoxIsOpen) {
    Start();
    boxes.WhileOpen = [&](const TSpoolerMessageScript::Box&) {
        EXPECT_EQ(core.LinkState, lsStopped);
        Ticks1(2);  // the timers go on inside the box: no reconnect yet
        EXPECT_EQ(driver->CallsOf("Restore").size(), 1u);
    };
    core.Pause();
    ASSERT_EQ(boxes.Boxes.size(), 1u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Связь с кассовым аппратом временно прервана.");
    EXPECT_EQ(boxes.Boxes[0].Title, "Тольвер. Сообщение");
    EXPECT_FALSE(boxes.Boxes[0].YesNo);
    EXPECT_EQ(core.PendingAction, paReconnect);
    Ticks1(1);
    EXPECT_EQ(driver->CallsOf("Restore").size(), 2u);
    EXPECT_EQ(driver->CallsOf("Done").size(), 1u);
    EXPECT_EQ(core.LinkState, lsConnected);
}

// ---- the close road ------------------------------------------------------------------

TEST_F(CoreTest, CloseRoadTakesTheLinkDownFirst) {
    Start();
    driver->TerminateResult = 9;
    EXPECT_FALSE(core.CloseQuery());
    EXPECT_EQ(core.LinkState, lsTerminating);
    EXPECT_FALSE(core.CloseQuery());  // a second close does not start it again
    EXPECT_EQ(driver->CallsOf("Terminate").size(), 1u);
    Ticks1(2);
    EXPECT_EQ(view.Closes, 0);
    Ticks1(1);
    EXPECT_TRUE(core.CanQuit);
    EXPECT_EQ(view.Closes, 1);
    EXPECT_TRUE(core.CloseQuery());
    EXPECT_FALSE(driver->HasSink());
}

TEST_F(CoreTest, CloseWithoutDriverEndsAtTheNextTick) {
    core.Setup.DriverSetup.CashDriverProperties->AutoObjectName = "";
    Start();
    EXPECT_FALSE(core.CloseQuery());
    EXPECT_EQ(core.LinkState, lsStopped);
    Ticks1(1);
    EXPECT_TRUE(core.CanQuit);
}

// ---- relay ---------------------------------------------------------------------------

struct TRecordingSink : ISpoolerSink {
    std::vector<std::pair<int, int>> got;
    std::function<void()> during;
    bool fail = false;
    void OnCommandResult(std::int32_t id, std::int32_t result) override {
        if (during) during();
        if (fail) throw Exception("the client is gone");
        got.emplace_back(id, result);
    }
};

struct TTestClient : ISpoolerClient {
    std::vector<std::shared_ptr<ISpoolerSink>> sinks;
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override { return sinks; }
};

TEST_F(CoreTest, RelayGoesToEverySinkOfEveryClientInOrder) {
    auto a1 = std::make_shared<TRecordingSink>(), bad = std::make_shared<TRecordingSink>(),
         a2 = std::make_shared<TRecordingSink>(), b1 = std::make_shared<TRecordingSink>();
    bad->fail = true;
    auto a = std::make_shared<TTestClient>(), b = std::make_shared<TTestClient>();
    a->sinks = {a1, bad, a2};
    b->sinks = {b1};
    core.AddClient(a);
    core.AddClient(b);
    core.DoCommandResult(1, 0);
    core.DoCommandResult(2, -1);
    core.DoCommandResult(3, 0);
    core.TimerCommandResultTick();
    const std::vector<std::pair<int, int>> all = {{1, 0}, {2, -1}, {3, 0}};
    EXPECT_EQ(a1->got, all);
    EXPECT_EQ(a2->got, all);
    EXPECT_EQ(b1->got, all);
    EXPECT_TRUE(core.CommandResults.empty());
}

TEST_F(CoreTest, ClientsComingAndGoingInsideDeliveryDoNotDisturbIt) {
    auto a = std::make_shared<TTestClient>(), b = std::make_shared<TTestClient>(), c = std::make_shared<TTestClient>();
    auto sa = std::make_shared<TRecordingSink>(), sb = std::make_shared<TRecordingSink>(),
         sc = std::make_shared<TRecordingSink>();
    a->sinks = {sa};
    b->sinks = {sb};
    c->sinks = {sc};
    // While the first result reaches a, b leaves and c comes.
    sa->during = [&] {
        if (sa->got.empty()) {
            core.RemoveClient(b.get());
            core.AddClient(c);
        }
    };
    core.AddClient(a);
    core.AddClient(b);
    core.DoCommandResult(1, 0);
    core.DoCommandResult(2, 0);
    core.TimerCommandResultTick();
    EXPECT_EQ(sa->got.size(), 2u);
    EXPECT_TRUE(sb->got.empty());
    EXPECT_EQ(sc->got, (std::vector<std::pair<int, int>>{{2, 0}}));
}

TEST_F(CoreTest, ResultsWaitWhileNoClientIsConnected) {
    core.DoCommandResult(1, 0);
    core.TimerCommandResultTick();
    EXPECT_EQ(core.CommandResults.size(), 1u);
    auto a = std::make_shared<TTestClient>();
    auto s = std::make_shared<TRecordingSink>();
    a->sinks = {s};
    core.AddClient(a);
    core.DoCommandResult(2, 0);
    core.TimerCommandResultTick();
    EXPECT_EQ(s->got, (std::vector<std::pair<int, int>>{{1, 0}, {2, 0}}));
}

TEST_F(CoreTest, LastClientLeavingClosesTheWindowFromTheEventLoop) {
    auto a = std::make_shared<TTestClient>(), b = std::make_shared<TTestClient>();
    core.AddClient(a);
    core.AddClient(b);
    core.RemoveClient(a.get());
    EXPECT_EQ(view.Closes, 0);
    core.RemoveClient(b.get());
    EXPECT_EQ(view.Closes, 1);
    core.RemoveClient(b.get());  // unknown: nothing
    EXPECT_EQ(view.Closes, 1);
}

// ---- driver events -------------------------------------------------------------------------

TEST_F(CoreTest, EventsReachTheirHandlersByDispid) {
    core.Setup.DriverSetup.ProtocolOn = true;
    Start();
    driver->RaiseCommandResult(7, -1);
    ASSERT_EQ(core.CommandResults.size(), 1u);
    EXPECT_EQ(core.CommandResults[0].CommandID, 7);
    EXPECT_EQ(core.CommandResults[0].CommandResult, -1);
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
    EXPECT_EQ(core.CommandResults.size(), 1u);
    // A model change re-reads the limits.
    core.Constraints.MaxOp = 0;
    driver->RaiseRaw(ICashDriverAutoEvents::OnModelChange, {});
    EXPECT_EQ(core.Constraints.MaxOp, 9);
}

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(CoreTest, ProtocolLogIsOneFilePerDayWithTextsAsSent) {
    const auto dir = registry.dir() / "state";
    QDate day(2026, 3, 7);
    core.Today = [&] { return day; };
    core.DoProtocolLog("lost\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "07-03-2026_Spooler.log.txt"));
    core.Setup.DriverSetup.ProtocolOn = true;
    core.DoProtocolLog("12:00:00.000 -> 1B\r\n");
    core.DoProtocolInfo("AddInfo: x");
    day = day.addDays(1);
    core.DoProtocolLog("next day");
    EXPECT_EQ(ReadFile(dir / "07-03-2026_Spooler.log.txt"), "12:00:00.000 -> 1B\r\nAddInfo: x");
    EXPECT_EQ(ReadFile(dir / "08-03-2026_Spooler.log.txt"), "next day");
    EXPECT_TRUE(view.Posted.empty());
}

TEST_F(CoreTest, ProtocolLogFailureIsReportedOnceAndStaysOutOfTheDriver) {
    if (::geteuid() == 0) {
        // root writes anywhere: make the log's name a folder instead.
        std::filesystem::create_directories(registry.dir() / "state" / "07-03-2026_Spooler.log.txt");
    } else {
        std::filesystem::create_directories(registry.dir() / "state");
        ::chmod((registry.dir() / "state").c_str(), 0500);
    }
    core.Today = [] { return QDate(2026, 3, 7); };
    core.Setup.DriverSetup.ProtocolOn = true;
    Start();
    EXPECT_EQ(driver->RaiseRaw(ICashDriverAutoEvents::OnProtocolLog, std::span<Variant>()), S_OK);
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolLog, "a");
    driver->RaiseText(ICashDriverAutoEvents::OnProtocolLog, "b");
    ASSERT_EQ(view.Posted.size(), 1u);
    EXPECT_NE(view.Posted[0].find("07-03-2026_Spooler.log.txt"), std::string::npos);
    ::chmod((registry.dir() / "state").c_str(), 0700);
}

TEST_F(CoreTest, EveryBoxShownIsToldOnStandardErrorAndInTheProtocolLogBeforeItWaits) {
    core.Today = [] { return QDate(2026, 3, 7); };
    core.Setup.DriverSetup.ProtocolOn = true;
    Start();
    const auto log = registry.dir() / "state" / "07-03-2026_Spooler.log.txt";
    const TSpoolerMessageHandler scripted = SetSpoolerMessageHandler({});  // the real box
    const struct {
        std::function<void()> show;
        const char* notice;
    } cases[] = {
        {[&] { driver->RaiseText(ICashDriverAutoEvents::OnProtocolError, "Касса не открыта"); },
         "Окно \"Тольвер. Ошибка\" ждет ответа \"OK\": Касса не открыта"},
        {[&] { driver->RaiseText(ICashDriverAutoEvents::OnProtocolQuery, "Поверните ключ\r\nв положение X"); },
         "Окно \"Тольвер. Запрос\" ждет ответа \"OK\": Поверните ключ в положение X"},
        {[] { ShowSpoolerMessage(kTextLinkFailure, kTitleError, true); },
         "Окно \"Тольвер. Ошибка\" ждет ответа \"Да\" или \"Нет\": Сбой коммуникации с КА: Возможные причины:  "
         "-кассовый аппарат выключен;  -обрыв кабеля;  -неисправность кассового аппарата  Выводить в дальнейшем это "
         "сообщение?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.notice);
        std::string logWhileOpen;
        bool answered = false;
        QTimer::singleShot(0, [&] {
            logWhileOpen = ReadFile(log);
            if (QWidget* box = QApplication::activeModalWidget()) {
                QTest::keyClick(box, Qt::Key_Escape);
                answered = true;
            }
        });
        ::testing::internal::CaptureStderr();
        c.show();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(answered);
        EXPECT_NE(err.find(std::string("Spooler: ") + c.notice + "\n"), std::string::npos) << err;
        // A time-stamped line, there while the box still waits.
        const std::size_t at = logWhileOpen.find(std::string(c.notice) + "\r\n");
        ASSERT_NE(at, std::string::npos) << logWhileOpen;
        ASSERT_GE(at, 13u);
        EXPECT_EQ(logWhileOpen[at - 1], ' ');
        EXPECT_EQ(logWhileOpen[at - 5], '.');
    }
    SetSpoolerMessageHandler(scripted);
}

// ---- sign-on ---------------------------------------------------------------------------

TEST_F(CoreTest, SignOnClosesTheReceiptAndRunsReportsAroundRegOp) {
    Start();
    auto* op = static_cast<TCashOpProperties*>(core.Setup.OpList.CreateItem(2));
    op->Password = "77";
    core.Setup.AutoXReportsBefore = "0;";
    core.Setup.AutoZReportsBefore = "1;";
    core.Setup.AutoXReportsAfter = "2;";
    core.Setup.AutoZReportsAfter = "";
    core.CheckOpen = true;
    driver->Calls.clear();
    driver->NextId = 10;
    EXPECT_EQ(core.RegisterCashier(2, "Петров", true, ""), 13);
    const std::vector<std::string> expected = {"CloseCheck(0,0)", "GetXReport(0;)", "GetZReport(1;)",
                                               "RegOp(2,Петров,77)", "ProgramAfterReg(BeginMsg)", "GetXReport(2;)"};
    EXPECT_EQ(driver->Calls, expected);
    EXPECT_FALSE(core.CheckOpen);
    EXPECT_EQ(core.CashierN, 2);

    // Without reports none runs; a typed password goes as typed.
    driver->Calls.clear();
    core.RegisterCashier(2, "", false, "secret");
    EXPECT_EQ(driver->Calls, (std::vector<std::string>{"RegOp(2,,secret)", "ProgramAfterReg(BeginMsg)"}));
}

TEST_F(CoreTest, SignOnErrorsEndTheSequenceButKeepTheCashier) {
    Start();
    core.Setup.AutoXReportsAfter = "0;";
    driver->Failing.insert("ProgramAfterReg");
    driver->NextId = 50;
    EXPECT_EQ(core.RegisterCashier(4, "", true, ""), 50);  // RegOp's id stays the result
    EXPECT_TRUE(driver->CallsOf("GetXReport").empty());
    EXPECT_EQ(core.CashierN, 4);

    driver->Failing = {"RegOp"};
    EXPECT_EQ(core.RegisterCashier(5, "", false, ""), -1);
    EXPECT_EQ(core.CashierN, 5);
    driver->Failing = {"UnRegOp"};
    EXPECT_EQ(core.UnregisterCashier(), -1);
    EXPECT_EQ(core.CashierN, -1);
}

TEST_F(CoreTest, BeginMsgFallsBackToTheSetupLines) {
    Start();
    core.Setup.BeginMsg = {"МАГАЗИН", "ДОБРО ПОЖАЛОВАТЬ"};
    EXPECT_EQ(core.GetBeginMsg(), "МАГАЗИН\r\nДОБРО ПОЖАЛОВАТЬ\r\n");
    driver->BeginMsgText = "ИЗ КАССЫ";
    EXPECT_EQ(core.GetBeginMsg(), "ИЗ КАССЫ");
    driver->Failing.insert("BeginMsg");
    EXPECT_EQ(core.GetBeginMsg(), "МАГАЗИН\r\nДОБРО ПОЖАЛОВАТЬ\r\n");
}

TEST_F(CoreTest, CloseCheckFromTheMenuSwallowsErrors) {
    Start();
    core.CheckOpen = true;
    driver->Failing.insert("CloseCheck");
    core.CloseCheckNow();
    EXPECT_FALSE(core.CheckOpen);
}

// ---- setup -----------------------------------------------------------------------------

TEST_F(CoreTest, SettingsUnderTheOldKeyAreReadAndSavedUnderTheNewOne) {
    {
        TSpoolerSetup old;
        old.DigitCount = 3;
        old.BeginMsg = {"СТАРЫЙ"};
        static_cast<TCashOpProperties*>(old.OpList.CreateItem(1))->Description = "Кассир 1";
        old.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerKey);
    }
    core.LoadSetup();
    EXPECT_EQ(core.Setup.DigitCount, 3);
    EXPECT_EQ(core.Setup.BeginMsg, std::vector<std::string>{"СТАРЫЙ"});
    ASSERT_EQ(core.Setup.OpList.Count(), 1);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey));
    core.SaveSetup();
    ASSERT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey));
    TSpoolerSetup fresh;
    fresh.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    EXPECT_EQ(fresh.DigitCount, 3);
    ASSERT_EQ(fresh.OpList.Count(), 1);
    EXPECT_EQ(fresh.OpList.Item<TCashOpProperties>(0)->Description, "Кассир 1");
}

TEST_F(CoreTest, ApplySettingsSortsHandsOverAndSavesDespiteDriverErrors) {
    Start();
    core.Setup.DepList.CreateItem(5);
    core.Setup.DepList.CreateItem(2);
    driver->Failing.insert("SpoolerSetup");
    core.ApplySettings();
    EXPECT_EQ(core.Setup.DepList.Item<TCashDepProperties>(0)->N, 2);
    EXPECT_EQ(core.Setup.DriverSetup.AdvPropertiesData, Variant("adv"));
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

// The spooler end to end: the main window hosting Sorbel.csh (installed with
// tolver-regsvr, chosen with spooler-setup) against "cashsim er350f" on a
// pseudo-terminal, in real time; and the Spooler program's single-instance start.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>

#include <chrono>
#include <filesystem>
#include <functional>

#include "platform/registry/registry.h"
#include "platform/testing/gui_test_main.h"
#include "platform/testing/run_until.h"
#include "spooler/application.h"
#include "spooler/mainform.h"
#include "spooler/printform.h"
#include "spooler/spoolermessage.h"
#include "sim/simcontrol.h"
#include "spooler/tests/spooler_on_sim.h"

using namespace tolver;
using tolver::testutil::RunUntil;

namespace {

using testutil::TResultClient;

// A registry store, the simulated register on COM7 and Sorbel.csh chosen for it.
class SpoolerEndToEnd : public testutil::SpoolerOnSimulator {
protected:
    void StartSimulator(const QStringList& extra = {}) {
        SpoolerOnSimulator::StartSimulator(QStringList{"er350f", "--print-delay", "100"} + extra, SORBEL_MODULE,
                                           "--driver Sorbel.csh --com 7 --protocol on --notify on");
    }

    TSpoolerMessageScript boxes;
};

TEST_F(SpoolerEndToEnd, ConnectsSellsRelaysAndPauses) {
    StartSimulator();
    TSpoolerProgram program;
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    ASSERT_TRUE(RunUntil([&] { return Connected(main); }, 60000)) << main.lInfo->text().toStdString();
    EXPECT_FALSE(core.Link().DriverError());
    EXPECT_EQ(core.Binding().Constraints().MaxOp > 0, true);
    auto client = std::make_shared<TResultClient>();
    core.Relay().AddClient(client);

    const int reg = core.Cashier().RegisterCashier(1, "Кассир 1", false, "5173");
    const int sale = core.Binding().Driver().Call(&ICashDriverAuto::AddPayDep, "Хлеб", 1, Currency::Parse("10"), Currency::Parse("12"), 1);
    core.Receipt().Opened();
    const int close = core.Binding().Driver().Call(&ICashDriverAuto::CloseCheck, Currency::Parse("20"), TPayType::Cash);
    ASSERT_GT(reg, 0);
    ASSERT_GT(sale, 0);
    ASSERT_GT(close, 0);
    ASSERT_TRUE(RunUntil([&] { return !client->sink->Results(close).empty(); }, 120000));
    EXPECT_EQ(client->sink->Results(reg), std::vector<int>{0});
    EXPECT_EQ(client->sink->Results(sale), std::vector<int>{0});
    EXPECT_EQ(client->sink->Results(close), std::vector<int>{0});
    // In the order the driver reported them.
    std::vector<int> order;
    for (const auto& [id, r] : client->sink->got)
        if (id == reg || id == sale || id == close) order.push_back(id);
    EXPECT_EQ(order, (std::vector<int>{reg, sale, close}));
    // The register's print copy is on the cash tape.
    ASSERT_TRUE(RunUntil([&] { return main.frmPrint()->Lines().join("\n").contains("12"); }, 10000))
        << main.frmPrint()->Lines().join("\n").toStdString();

    // Pause: the link stays down while the box is open and comes back after it.
    bool downInBox = false;
    boxes.WhileOpen = [&](const TSpoolerMessageScript::Box& box) {
        if (box.Text == kTextPause) downInBox = RunUntil([&] { return core.Link().State() == lsStopped; }, 10000);
    };
    main.nPause->trigger();
    EXPECT_TRUE(downInBox);
    EXPECT_EQ(core.Link().PendingAction(), paReconnect);
    ASSERT_TRUE(RunUntil([&] { return core.Link().PendingAction() == paNone && Connected(main); }, 60000));
    EXPECT_FALSE(core.Link().DriverError());
    // The protocol went to the day's log.
    bool logged = false;
    for (const auto& f : std::filesystem::directory_iterator(state_))
        logged = logged || f.path().filename().string().ends_with("_Spooler.log.txt");
    EXPECT_TRUE(logged);
}

// A tender below the receipt is refused before a key goes out; the receipt stays open
// until a close that the register accepts, and the tape shows the one payment.
TEST_F(SpoolerEndToEnd, AShortTenderIsRefusedAndTheReceiptStaysOpen) {
    StartSimulator();
    TSpoolerProgram program;
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    ASSERT_TRUE(RunUntil([&] { return Connected(main); }, 60000)) << main.lInfo->text().toStdString();
    auto client = std::make_shared<TResultClient>();
    core.Relay().AddClient(client);
    TOpenReceipt& receipt = core.Receipt();
    ASSERT_GT(core.Cashier().RegisterCashier(1, "Кассир 1", false, "5173"), 0);
    const int sale = core.Binding().Driver().Call(&ICashDriverAuto::AddPayDep, "", 1, Currency::Parse("30"),
                                                  Currency::Parse("30"), 1);
    ASSERT_GT(sale, 0);
    receipt.Opened();
    EXPECT_EQ(receipt.Close(Currency::Parse("10"), TPayType::Cash), -1);
    EXPECT_TRUE(receipt.Open());
    const int close = receipt.Close(Currency::Parse("50"), TPayType::Cash);
    ASSERT_GT(close, 0);
    EXPECT_TRUE(receipt.Open());
    ASSERT_TRUE(RunUntil([&] { return !client->sink->Results(close).empty(); }, 120000));
    EXPECT_EQ(client->sink->Results(close), std::vector<int>{0});
    EXPECT_FALSE(receipt.Open());
    const auto tape = [&] { return main.frmPrint()->Lines().join("\n"); };
    ASSERT_TRUE(RunUntil([&] { return tape().contains("СДАЧА"); }, 10000)) << tape().toStdString();
    EXPECT_TRUE(tape().contains(QRegularExpression("НАЛИЧНЫМИ +50\\.00"))) << tape().toStdString();
    EXPECT_FALSE(tape().contains("10.00")) << tape().toStdString();
}

// An X report needs the cashier: its queries ask for the key in X and back in P, and
// the queue waits on each box until it is answered; then the sign-off queued behind the
// report goes out and completes. (Turning the key alone answers no box.)
TEST_F(SpoolerEndToEnd, AnXReportWaitsForTheCashierAndTheSignOffBehindItCompletes) {
    const std::string control = (registry.dir() / "cashsim.ctl").string();
    StartSimulator({"--control", QString::fromStdString(control)});
    TSpoolerProgram program;
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    ASSERT_TRUE(RunUntil([&] { return Connected(main); }, 60000));
    auto client = std::make_shared<TResultClient>();
    core.Relay().AddClient(client);
    const int reg = core.Cashier().RegisterCashier(1, "Кассир 1", false, "5173");
    ASSERT_TRUE(RunUntil([&] { return !client->sink->Results(reg).empty(); }, 60000));

    std::vector<std::string> asked;
    boxes.WhileOpen = [&](const TSpoolerMessageScript::Box& box) {
        asked.push_back(box.Text);
        if (box.Title != kTitleQuery) return;
        const char* key = box.Text.find("положение X") != std::string::npos ? "X" : "P";
        EXPECT_TRUE(TurnSimulatorKey(control, key));
    };
    EXPECT_EQ(core.Binding().Driver().Call(&ICashDriverAuto::GetXReport, "0;"), 0);
    const int off = core.Cashier().UnregisterCashier();
    ASSERT_GT(off, 0);
    ASSERT_TRUE(RunUntil([&] { return !client->sink->Results(off).empty(); }, 120000));
    EXPECT_EQ(client->sink->Results(off), std::vector<int>{0});
    EXPECT_EQ(asked, (std::vector<std::string>{"Переключите ключ на КА в положение X и нажмите кнопку ОК",
                                               "Выполнение X-отчетов окончено. Верните ключ в положение Р"}));
}

TEST_F(SpoolerEndToEnd, ASilentRegisterRaisesTheFailureBoxAndTheCashierReturns) {
    // The register goes silent 20 s from now for 25 s, as a pulled cable does. The
    // simulator's "at" counts on the system's steady clock; a second entry counted
    // from its start covers a simulator that counts from there.
    using namespace std::chrono;
    const long long now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    const long long at = 20000, silence = 25000;
    StartSimulator({"--faults", QString("at %1 silent %2; at %3 silent %2").arg(now + at).arg(silence).arg(at)});
    TSpoolerProgram program;
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    ASSERT_TRUE(RunUntil([&] { return Connected(main); }, 60000));
    auto client = std::make_shared<TResultClient>();
    core.Relay().AddClient(client);
    // Cashier 2 of the settings: the re-sign-on takes the password from there.
    auto* op = static_cast<TCashOpProperties*>(core.Setup().OpList.CreateItem(2));
    op->Description = "Кассир 2";
    op->Password = "5173";
    const int reg = core.Cashier().RegisterCashier(2, "Кассир 2", false, "");
    ASSERT_GT(reg, 0);
    ASSERT_TRUE(RunUntil([&] { return !client->sink->Results(reg).empty(); }, 30000));
    ASSERT_TRUE(RunUntil([&] { return core.Link().CashierRestored(); }, 5000));

    const auto failureBoxes = [&] {
        int n = 0;
        for (const auto& b : boxes.Boxes) n += b.Text == kTextLinkFailure;
        return n;
    };
    ASSERT_TRUE(RunUntil([&] { return failureBoxes() > 0; }, 60000));
    EXPECT_FALSE(core.Link().CashierRestored());
    const std::size_t before = client->sink->got.size();
    // The register answers again: the link returns and cashier 2 is signed on again.
    ASSERT_TRUE(RunUntil([&] { return core.Link().CashierRestored() && client->sink->got.size() > before; }, 90000));
    EXPECT_EQ(core.Cashier().CashierN(), 2);
    EXPECT_EQ(client->sink->got.back().second, 0);
}

TEST_F(SpoolerEndToEnd, ASecondStartEndsAtOnceAndLeavesTheFirstAlone) {
    StartSimulator();
    // A runtime folder of this test's own holds the instance lock.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(registry.dir().string()));
    QProcess first, second;
    first.setProcessEnvironment(env);
    // The second start has a registry store of its own, in a folder that stays
    // empty unless it reads its setup (the store's file is made at the first access).
    const std::filesystem::path secondStore = registry.dir() / "second";
    std::filesystem::create_directories(secondStore);
    env.insert("TOLVER_REGISTRY", QString::fromStdString((secondStore / "registry.db").string()));
    second.setProcessEnvironment(env);
    first.start(SPOOLER_EXE, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    // The first one is up once it writes its protocol.
    ASSERT_TRUE(RunUntil(
        [&] {
            std::error_code ec;
            return std::filesystem::exists(state_, ec) && !std::filesystem::is_empty(state_, ec);
        },
        30000));
    second.start(SPOOLER_EXE, {});
    ASSERT_TRUE(second.waitForStarted(5000));
    EXPECT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("a spooler already runs"));
    EXPECT_TRUE(std::filesystem::is_empty(secondStore));

    // A start with a runtime folder of its own on the same bus finds the first one
    // holding the automation server's name, says so and ends as well.
    ASSERT_TRUE(RunUntil(
        [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.tolver.Spooler").value(); },
        30000));
    const std::filesystem::path otherRuntime = registry.dir() / "runtime2";
    std::filesystem::create_directories(otherRuntime);
    std::filesystem::permissions(otherRuntime, std::filesystem::perms::owner_all);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(otherRuntime.string()));
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(SPOOLER_EXE, {});
    EXPECT_TRUE(third.waitForFinished(15000));
    EXPECT_EQ(third.exitCode(), 1);
    EXPECT_TRUE(third.readAllStandardError().contains("another spooler runs on this session bus"));
    EXPECT_TRUE(std::filesystem::is_empty(secondStore));
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    first.waitForFinished(10000);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

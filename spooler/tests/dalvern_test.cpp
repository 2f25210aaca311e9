// Dalvern.csh hosted by the spooler: chosen as "РФ 2160" in the stored setup
// (spooler-setup, as the connection dialog does on OK), found by discovery, bound
// through its own events interface, and driven against "cashsim rf2160" on a
// pseudo-terminal in real time; every result reaches the spooler's client, and the
// register's journal (cashsim --journal) shows what it booked.

#include <gtest/gtest.h>

#include <QLabel>
#include <QProcess>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "platform/registry/registry.h"
#include "platform/testing/gui_test_main.h"
#include "platform/testing/run_until.h"
#include "spooler/application.h"
#include "spooler/mainform.h"
#include "spooler/spoolermessage.h"
#include "spooler/tests/spooler_on_sim.h"

using namespace tolver;

namespace {

using testutil::RunUntil;

using testutil::TResultClient;

class DalvernInTheSpooler : public testutil::SpoolerOnSimulator {
protected:
    void StartSimulator(const QStringList& options = {}) {
        SpoolerOnSimulator::StartSimulator(
            QStringList{"rf2160", "--reply-delay", "20", "--journal", QString::fromStdString(journal_.string())} + options,
            DALVERN_MODULE, "--driver Dalvern.csh --com " + std::to_string(kCom));
    }
    // What the register has booked so far.
    std::vector<std::string> Journal() const {
        std::vector<std::string> lines;
        std::ifstream in(journal_);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::filesystem::path journal_ = registry.dir() / "journal.txt";
    TSpoolerMessageScript boxes;
};

TEST_F(DalvernInTheSpooler, AReceiptReachesTheClient) {
    StartSimulator();
    // The stored choice is this driver, by its name and ProgID.
    TSpoolerSetup stored;
    stored.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    EXPECT_EQ(stored.DriverSetup.CashDriverProperties->AutoObjectName, "Dalvern.RegFisc2160CashDriverAuto");
    EXPECT_EQ(stored.DriverSetup.CashDriverProperties->CashType, 3);

    TSpoolerProgram program;
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    ASSERT_TRUE(RunUntil([&] { return Connected(main); }, 60000))
        << main.lInfo->text().toStdString();
    EXPECT_FALSE(core.Link().DriverError());
    EXPECT_EQ(core.Binding().Constraints().MaxArt, 8000);
    auto client = std::make_shared<TResultClient>();
    core.Relay().AddClient(client);

    std::vector<int> ids;
    ids.push_back(core.Cashier().RegisterCashier(2, "Анна", false, "1234"));
    core.Receipt().Opened();
    ids.push_back(core.Binding().Driver().Call(&ICashDriverAuto::AddPayArt, 1, Currency::Parse("10"), Currency::Parse("12"), 5));
    ids.push_back(core.Binding().Driver().Call(&ICashDriverAuto::DelPayArt, Currency::Parse("10"), Currency::Parse("12"), 5));
    ids.push_back(core.Binding().Driver().Call(&ICashDriverAuto::AddCash, Currency::Parse("100"), TPayType::Cash, ""));
    ids.push_back(core.Binding().Driver().Call(&ICashDriverAuto::ReturnCash, Currency::Parse("50"), TPayType::Cash, ""));
    EXPECT_EQ(core.Binding().Driver().Call(&ICashDriverAuto::AddInfo, "Спасибо за покупку"), 0);
    ids.push_back(core.Binding().Driver().Call(&ICashDriverAuto::CloseCheck, Currency::Parse("20"), TPayType::Cash));
    for (const int id : ids) ASSERT_GT(id, 0);
    ASSERT_TRUE(RunUntil([&] { return !client->sink->Results(ids.back()).empty(); }, 120000));
    for (const int id : ids) EXPECT_EQ(client->sink->Results(id), std::vector<int>{0}) << id;
    EXPECT_FALSE(core.Link().DriverError());
    const std::vector<std::string> booked = {
        "sign-on 2", "sale art 5 qty 1.000 price 12.00 sum 12.00", "void art 5 qty 1.000 sum -12.00",
        "cash-in cash 100.00", "drawer", "cash-out cash 50.00", "drawer", "text Спасибо за покупку",
        "close 1 total 0.00 cash tender 20.00 change 20.00", "drawer"};
    EXPECT_TRUE(RunUntil([&] { return Journal().size() >= booked.size(); }, 10000));
    EXPECT_EQ(Journal(), booked);
}

// The operator's Pause while the register prints a sale (its status not yet come):
// the register has booked the sale, the client hears -1 for it, and after the
// reconnection the receipt closes with that one sale.
TEST_F(DalvernInTheSpooler, APauseWhileASaleIsAwaitedBooksItOnce) {
    StartSimulator({"--faults", "cmd 2 late-reply 600000"});  // cmd 1 is the mode switch
    TSpoolerProgram program;
    TfrmMain& main = program.Main();
    TSpoolerCore& core = main.Core();
    ASSERT_TRUE(RunUntil([&] { return Connected(main); }, 60000)) << main.lInfo->text().toStdString();
    auto client = std::make_shared<TResultClient>();
    core.Relay().AddClient(client);
    core.Receipt().Opened();
    const int sale = core.Binding().Driver().Call(&ICashDriverAuto::AddPayArt, 1, Currency::Parse("12.34"), Currency::Parse("12.34"), 5);
    const int close = core.Binding().Driver().Call(&ICashDriverAuto::CloseCheck, Currency::Parse("20"), TPayType::Cash);
    ASSERT_GT(sale, 0);
    ASSERT_GT(close, 0);
    const std::string sold = "sale art 5 qty 1.000 price 12.34 sum 12.34";
    ASSERT_TRUE(RunUntil([&] { return Journal() == std::vector<std::string>{sold}; }, 60000));
    EXPECT_TRUE(client->sink->got.empty());
    main.nPause->trigger();
    ASSERT_TRUE(RunUntil([&] { return !client->sink->Results(close).empty(); }, 120000));
    EXPECT_EQ(client->sink->Results(sale), std::vector<int>{-1});
    EXPECT_EQ(client->sink->Results(close), std::vector<int>{0});
    const std::vector<std::string> booked = {sold, "close 1 total 12.34 cash tender 20.00 change 7.66", "drawer"};
    EXPECT_TRUE(RunUntil([&] { return Journal().size() >= booked.size(); }, 10000));
    EXPECT_EQ(Journal(), booked);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

// Dalvern.csh hosted by the spooler: chosen as "РФ 2160" in the stored setup
// (spooler-setup, as the connection dialog does on OK), found by discovery, bound
// through its own events interface, and driven against "cashsim rf2160" on a
// pseudo-terminal in real time; every result reaches the spooler's client.

#include <gtest/gtest.h>

#include <QLabel>
#include <QProcess>

#include <filesystem>
#include <functional>
#include <map>

#include "common/cashgl.h"
#include "platform/registry/registry.h"
#include "platform/testing/gui_test_main.h"
#include "platform/testing/run_until.h"
#include "platform/testing/spooler_on_sim.h"
#include "spooler/mainform.h"
#include "spooler/spoolermessage.h"

using namespace tolver;

namespace {

using testutil::RunUntil;

struct TResultSink : ISpoolerSink {
    std::map<int, std::vector<int>> got;
    void OnCommandResult(std::int32_t id, std::int32_t result) override { got[id].push_back(result); }
};

struct TResultClient : ISpoolerClient {
    std::shared_ptr<TResultSink> sink = std::make_shared<TResultSink>();
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override { return {sink}; }
};

class DalvernInTheSpooler : public testutil::SpoolerOnSimulator {
protected:
    void StartSimulator() {
        SpoolerOnSimulator::StartSimulator({"rf2160", "--reply-delay", "20"}, DALVERN_MODULE,
                                           "--driver Dalvern.csh --com " + std::to_string(kCom));
    }

    TSpoolerMessageScript boxes;
};

TEST_F(DalvernInTheSpooler, AReceiptReachesTheClient) {
    StartSimulator();
    // The stored choice is this driver, by its name and ProgID.
    TSpoolerSetup stored;
    stored.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    EXPECT_EQ(stored.DriverSetup.CashDriverProperties->AutoObjectName, "Dalvern.RegFisc2160CashDriverAuto");
    EXPECT_EQ(stored.DriverSetup.CashDriverProperties->CashType, 3);

    TfrmMain main;
    ASSERT_TRUE(RunUntil([&] { return main.LinkState == lsConnected && main.LastPollOk; }, 60000))
        << main.lInfo->text().toStdString();
    EXPECT_FALSE(main.DriverError);
    EXPECT_EQ(main.Constraints.MaxArt, 8000);
    auto client = std::make_shared<TResultClient>();
    main.AddClient(client);

    std::vector<int> ids;
    ids.push_back(main.RegisterCashier(2, "Анна", false, "1234"));
    main.CheckOpen = true;
    ids.push_back(main.Driver.AddPayArt(1, Currency::Parse("10"), Currency::Parse("12"), 5));
    ids.push_back(main.Driver.DelPayArt(Currency::Parse("10"), Currency::Parse("12"), 5));
    ids.push_back(main.Driver.AddCash(Currency::Parse("100"), TPayType::Cash, ""));
    ids.push_back(main.Driver.ReturnCash(Currency::Parse("50"), TPayType::Cash, ""));
    EXPECT_EQ(main.Driver.AddInfo("Спасибо за покупку"), 0);
    ids.push_back(main.Driver.CloseCheck(Currency::Parse("20"), TPayType::Cash));
    for (const int id : ids) ASSERT_GT(id, 0);
    ASSERT_TRUE(RunUntil([&] { return client->sink->got.count(ids.back()) == 1; }, 120000));
    for (const int id : ids) EXPECT_EQ(client->sink->got[id], std::vector<int>{0}) << id;
    EXPECT_FALSE(main.DriverError);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

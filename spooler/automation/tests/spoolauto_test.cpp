// The automation objects' logic: the open-receipt rules of both interfaces, the
// sign-on password split, the item lists, failing drivers and a missing main window,
// the client list and the event sinks.

#include <gtest/gtest.h>

#include "platform/com/hresult.h"
#include "spooler/automation/spoolauto.h"
#include "spooler/automation/tests/fakehost.h"

namespace tolver::spooler {
namespace {

using testing::FakeHost;
using Calls = std::vector<std::string>;

Currency Cy(const char* text) { return Currency::Parse(text); }

// The two interfaces differ on what opens a receipt: SpoolAuto takes any accepted sale,
// SpoolAuto1 only an accepted sale with a positive sum.
TEST(SpoolAutoCheckOpen, SaleOpensTheReceiptByEachInterfacesRule) {
    struct Case {
        const char* sum;
        std::int32_t result;
        bool before;
        bool spoolAuto;   // CheckOpen afterwards through SpoolAuto
        bool spoolAuto1;  // and through SpoolAuto1
    };
    const Case cases[] = {
        {"6.00", 1, false, true, true},    {"-6.00", 1, false, true, false}, {"0", 1, false, true, false},
        {"6.00", -1, false, false, false}, {"6.00", -1, true, true, true},  {"-6.00", 1, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.sum) + " -> " + std::to_string(c.result) + (c.before ? " open" : " closed"));
        {
            FakeHost host;
            host.checkOpen = c.before;
            host.nextResult = c.result;
            TSpoolAuto(&host).AddPayDep(Cy(c.sum), Cy("1"), Cy(c.sum), 3);
            EXPECT_EQ(host.checkOpen, c.spoolAuto);
            EXPECT_EQ(host.calls, Calls{"AddPayDep(,1," + Cy(c.sum).ToString() + "," + Cy(c.sum).ToString() + ",3)"});
        }
        for (bool art : {false, true}) {
            FakeHost host;
            host.checkOpen = c.before;
            host.nextResult = c.result;
            TSpoolAuto1 client(&host);
            const std::int32_t value = art ? client.AddPayArt(2.5, Cy(c.sum), Cy(c.sum), 5)
                                           : client.AddPayDep("Хлеб", 2.5, Cy(c.sum), Cy(c.sum), 3);
            EXPECT_EQ(value, c.result);
            EXPECT_EQ(host.checkOpen, c.spoolAuto1);
        }
    }
}

TEST(SpoolAutoCheckOpen, ClosingMembersCloseAnOpenReceiptFirst) {
    FakeHost host;
    host.checkOpen = true;
    TSpoolAuto1 client(&host);
    EXPECT_EQ(client.AddCash(Cy("10"), TPayType::Check, "in"), 2);
    EXPECT_FALSE(host.checkOpen);
    EXPECT_EQ(host.calls, (Calls{"CloseCheck(0,0)", "AddCash(10,1,in)"}));

    // The members that must not close a receipt leave it open.
    host.calls.clear();
    host.checkOpen = true;
    client.AddInfo("x");
    client.SetArt(1, 2, 3, Cy("4"), "a", true);
    client.ID();
    client.ArtItems();
    EXPECT_TRUE(host.checkOpen);
    EXPECT_EQ(host.calls, (Calls{"AddInfo(x)", "SetArt(1,2,3,4,a,1)", "ID"}));

    // Each of these closes first.
    using Member = std::function<void()>;
    const std::pair<const char*, Member> closing[] = {
        {"ReturnCash(1,2,)", [&] { client.ReturnCash(Cy("1"), TPayType::Credit, ""); }},
        {"RegisterCashier(1,Ann,none,pw)", [&] { client.RegOp(1, "Ann", "pw"); }},
        {"UnregisterCashier", [&] { client.UnRegOp(); }},
        {"GetXReport(0;)", [&] { client.GetXReport("0;"); }},
        {"GetZReport(1;)", [&] { client.GetZReport("1;"); }},
        {"OpenCheck(no 5)", [&] { client.OpenCheck("no 5"); }},
    };
    for (const auto& [call, member] : closing) {
        host.calls.clear();
        host.checkOpen = true;
        member();
        EXPECT_EQ(host.calls, (Calls{"CloseCheck(0,0)", call}));
        EXPECT_FALSE(host.checkOpen);
    }
}

TEST(SpoolAutoCheckOpen, SpoolAutoCashMovesOnlyWhenPrinted) {
    FakeHost host;
    host.checkOpen = true;
    TSpoolAuto legacy(&host);
    legacy.AddCash(Cy("5"), false);
    legacy.ReturnCash(Cy("5"), false);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(host.checkOpen);
    legacy.ReturnCash(Cy("5"), true);
    EXPECT_EQ(host.calls, (Calls{"CloseCheck(0,0)", "ReturnCash(5,0,)"}));
    EXPECT_FALSE(host.checkOpen);
    // Ident only prints; the receipt stays as it is.
    host.checkOpen = true;
    legacy.SetIdent("Касса 1");
    legacy.SetIdentOnce("Касса 2");
    EXPECT_TRUE(host.checkOpen);
}

TEST(SpoolAutoCheckOpen, FailedCloseKeepsTheReceiptOpenAndCancelsNeedAnOpenReceipt) {
    FakeHost host;
    host.checkOpen = true;
    host.driverFails = true;
    TSpoolAuto1 client(&host);
    EXPECT_EQ(client.CloseCheck(Cy("0"), TPayType::Cash), -1);
    TSpoolAuto(&host).CloseCheck(Cy("0"));
    EXPECT_TRUE(host.checkOpen);

    host.driverFails = false;
    host.checkOpen = false;
    EXPECT_EQ(client.DelPayArt(Cy("1"), Cy("1"), 5), -1);
    EXPECT_EQ(client.DelPayDep(Cy("1"), Cy("1"), 5), -1);
    EXPECT_TRUE(host.calls.empty());
    host.checkOpen = true;
    EXPECT_EQ(client.DelPayArt(Cy("1"), Cy("1.5"), 5), 1);
    EXPECT_EQ(host.calls, Calls{"DelPayArt(1,1.5,5)"});
    EXPECT_TRUE(host.checkOpen);
}

TEST(SpoolAutoCheckOpen, CanExitAnswersForTheOpenReceipt) {
    FakeHost host;
    TSpoolAuto1 client(&host);
    TSpoolAuto legacy(&host);
    std::string info = "untouched";
    EXPECT_TRUE(client.CanExit(info));
    EXPECT_TRUE(legacy.CanExit(info));
    EXPECT_EQ(info, "untouched");
    host.checkOpen = true;
    EXPECT_FALSE(client.CanExit(info));
    EXPECT_EQ(info, kUnfinishedCheckText);
    info.clear();
    EXPECT_FALSE(legacy.CanExit(info));
    EXPECT_EQ(info, "Имеется незавершенный чек");
}

TEST(RegOpPassword, SplitsAtTheLastSeparator) {
    struct Case {
        std::string given, password;
        bool reports;
    };
    const Case cases[] = {
        {"1234", "1234", false},
        {"1234\x01" "DoReports", "1234", true},
        {"\x01" "DoReports", "", true},
        {"1234\x01", "", false},              // the tail is "1234"
        {"ab\x01" "cd\x01", "ab", false},     // tail "cd"
        {"1234\x01" "doreports", "1234", false},
        {"a\x01" "b\x01" "DoReports", "a\x01" "b", true},
        {"", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        const RegOpPassword split = SplitRegOpPassword(c.given);
        EXPECT_EQ(split.password, c.password);
        EXPECT_EQ(split.doReports, c.reports);
    }
    FakeHost host;
    TSpoolAuto1(&host).RegOp(3, "Ann", "77\x01" "DoReports");
    EXPECT_EQ(host.calls, Calls{"RegisterCashier(3,Ann,reports,77)"});
}

TEST(SpoolAutoItems, ListsAndParamsComeFromTheSetup) {
    FakeHost host;
    TSpoolAuto1 client(&host);
    EXPECT_EQ(client.ArtItems(), "");
    for (auto [n, name] : {std::pair{7, "first"}, std::pair{3, "other"}, std::pair{7, "second"}}) {
        auto* art = static_cast<TCashArtProperties*>(host.setup.ArtList.CreateItem(n));
        art->Description = name;
        art->NDep = n;
        art->NTax = 2;
        art->Price = Cy("1.25");
    }
    auto* tax = static_cast<TCashTaxProperties*>(host.setup.TaxList.CreateItem(2));
    tax->Description = "НДС";
    tax->Value = Cy("20");
    tax->ValueAdv = Cy("1.5");
    static_cast<TCashDepProperties*>(host.setup.DepList.CreateItem(4))->NTax = 2;
    EXPECT_EQ(client.ArtItems(), "7;3;7;");
    EXPECT_EQ(client.TaxItems(), "2;");
    EXPECT_EQ(client.DepItems(), "4;");

    std::string description = "in";
    std::int32_t nDep = -5, nTax = -5;
    Currency price = Cy("9");
    EXPECT_EQ(client.GetArtParams(7, description, nDep, nTax, price), 0);
    EXPECT_EQ(description, "first");
    EXPECT_EQ(price, Cy("1.25"));
    description = "in";
    nDep = -5;
    EXPECT_EQ(client.GetArtParams(8, description, nDep, nTax, price), -1);
    EXPECT_EQ(description, "in");
    EXPECT_EQ(nDep, -5);
    Currency value, adv;
    EXPECT_EQ(client.GetTaxParams(2, description, value, adv), 0);
    EXPECT_EQ(description, "НДС");
    EXPECT_EQ(adv, Cy("1.5"));
    EXPECT_EQ(client.GetDepParams(4, description, nTax), 0);
    EXPECT_EQ(nTax, 2);
}

TEST(SpoolAutoFailures, FailingDriverLeavesTheInitialValues) {
    FakeHost host;
    host.driverFails = true;
    TSpoolAuto1 client(&host);
    EXPECT_EQ(client.AddPayArt(1, Cy("1"), Cy("1"), 1), -1);
    EXPECT_FALSE(host.checkOpen);
    EXPECT_FALSE(client.InInteraction());
    EXPECT_EQ(client.ID(), "");
    EXPECT_EQ(client.XReportItems(), "");
    EXPECT_EQ(TSpoolAuto(&host).ID(), "");
    EXPECT_EQ(client.BeginMsg(), "Header\r\n");
    // The menu's failure goes back to the caller.
    host.controlEnabledFails = true;
    try {
        client.SetControlEnabled(false);
        ADD_FAILURE() << "no error";
    } catch (const EOleError& e) {
        EXPECT_EQ(e.ErrorCode(), E_FAIL);
        EXPECT_STREQ(e.what(), "menu gone");
    }
}

// A driver that could not open the register's line would queue commands that never
// get a result: every command is refused, nothing reaches the driver, and the
// questions are still answered.
TEST(SpoolAutoFailures, ADriverWithoutItsLineTakesNoCommand) {
    FakeHost host;
    host.lineClosed = true;
    host.checkOpen = true;
    TSpoolAuto1 client(&host);
    TSpoolAuto legacy(&host);
    const std::int32_t commands[] = {
        client.AddPayArt(1, Cy("1"), Cy("1"), 1),
        client.AddPayDep("", 1, Cy("1"), Cy("1"), 1),
        client.DelPayArt(Cy("1"), Cy("1"), 1),
        client.CloseCheck(Cy("5"), TPayType::Cash),
        client.AddCash(Cy("5"), TPayType::Cash, ""),
        client.ReturnCash(Cy("5"), TPayType::Cash, ""),
        client.RegOp(1, "", "1"),
        client.UnRegOp(),
        client.GetXReport("0;"),
        client.OpenCheck("x"),
        client.AddInfo("x"),
        client.SetArt(1, 1, 1, Cy("1"), "a", false),
    };
    for (const std::int32_t value : commands) EXPECT_EQ(value, -1);
    legacy.AddPayArt(Cy("1"), Cy("0"), Cy("1"), 1);
    legacy.CloseCheck(Cy("0"));
    legacy.AddCash(Cy("5"), true);
    EXPECT_EQ(client.ID(), "ER-350F 1234");
    EXPECT_EQ(host.calls, std::vector<std::string>{"ID"});
    EXPECT_TRUE(host.checkOpen);
}

TEST(SpoolAutoFailures, WithoutMainWindowMembersAnswerTheirInitialValues) {
    TSpoolAuto1 client(nullptr);
    TSpoolAuto legacy(nullptr);
    std::string info = "kept";
    EXPECT_EQ(client.AddPayArt(1, Cy("1"), Cy("1"), 1), -1);
    EXPECT_EQ(client.RegOp(1, "", ""), -1);
    EXPECT_EQ(client.ID(), "");
    EXPECT_TRUE(client.CanExit(info));
    EXPECT_TRUE(legacy.CanExit(info));
    EXPECT_EQ(legacy.DriverInfo(), "");
    EXPECT_EQ(info, "kept");
    std::int32_t reg = 0;
    client.GetRegDialog([&](std::int32_t v) { reg = v; });
    EXPECT_EQ(reg, -1);
    EXPECT_THROW(client.SetControlEnabled(true), EOleError);
}

TEST(SpoolAutoClients, JoinsAndLeavesTheClientListWithItsSinksInOrder) {
    FakeHost host;
    std::vector<std::string> seen;
    {
        TSpoolAuto legacy(&host);
        EXPECT_TRUE(host.clients.empty());
    }
    EXPECT_EQ(host.closeRequests, 0);  // a SpoolAuto never closes the spooler
    {
        TSpoolAuto1 first(&host);
        auto second = std::make_unique<TSpoolAuto1>(&host);
        ASSERT_EQ(host.clients.size(), 2u);
        first.Advise([&](std::int32_t id, std::int32_t r) { seen.push_back("a" + std::to_string(id) + ":" + std::to_string(r)); });
        const auto dropped = first.Advise([&](std::int32_t id, std::int32_t) { seen.push_back("x" + std::to_string(id)); });
        first.Advise([&](std::int32_t id, std::int32_t) { seen.push_back("b" + std::to_string(id)); });
        second->Advise([&](std::int32_t id, std::int32_t) { seen.push_back("c" + std::to_string(id)); });
        host.Relay(5, 0);
        EXPECT_TRUE(first.Unadvise(dropped));
        EXPECT_FALSE(first.Unadvise(dropped));
        host.Relay(6, -1);
        second.reset();
        EXPECT_EQ(host.closeRequests, 0);
    }
    EXPECT_EQ(seen, (Calls{"a5:0", "x5", "b5", "c5", "a6:-1", "b6", "c6"}));
    EXPECT_EQ(host.closeRequests, 1);
}

}  // namespace
}  // namespace tolver::spooler

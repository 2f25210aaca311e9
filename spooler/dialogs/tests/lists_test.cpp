// The item lists between the driver and the dialogs, and running the marked reports
// and programming positions.

#include <gtest/gtest.h>

#include "drivers/contract/chosenitems.h"
#include "spooler/dialogs/itemlists.h"
#include "spooler/dialogs/reportsrun.h"
#include "spooler/dialogs/tests/dialog_fixture.h"
#include "spooler/spoolermessage.h"

namespace tolver {
namespace {

using testutil::FakeHost;
using Names = std::vector<std::string>;

TEST(ItemLists, SplitKeepsEveryPosition) {
    const struct {
        const char* text;
        Names names;
    } cases[] = {
        {"", {}},
        {"A;B;", {"A", "B"}},
        {"A;B", {"A", "B"}},  // the last ";" is forgiven
        {";B;", {"", "B"}},   // an empty name keeps B at position 1
        {"A;;C;", {"A", "", "C"}},
        {";", {""}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitItemNames(c.text), c.names) << c.text;
}

TEST(ItemLists, PicksArePositionsEachFollowedBySemicolon) {
    EXPECT_EQ(PicksToText({true, false, true}), "0;2;");
    EXPECT_EQ(PicksToText({false, false}), "");
    std::vector<bool> twelve(12);
    twelve[11] = true;
    EXPECT_EQ(PicksToText(twelve), "11;");

    // The stored picks read back as the drivers read them.
    const struct {
        const char* picks;
        int row;
        bool picked;
    } cases[] = {
        {"0;2;", 0, true}, {"0;2;", 2, true}, {"0;2;", 1, false},
        {"11;", 1, false},  // whole numbers only
        {"11;", 11, true},  {"", 0, false},
        {"0;2", 2, true},  // the last ";" is forgiven
        {"x;", 0, false},
    };
    for (const auto& c : cases) EXPECT_EQ(TChosenItems(c.picks).Has(c.row), c.picked) << c.picks << " " << c.row;
    EXPECT_TRUE(TChosenItems(PicksToText(twelve)).Has(11));
}

class RunReportsTest : public ::testing::Test {
protected:
    FakeHost host;
    TSpoolerMessageScript boxes;
    TMarkedRows x{{"X0", "X1", "X2"}, {true, false, true}};
    TMarkedRows z{{"Z0", "Z1"}, {false, true}};
};

TEST_F(RunReportsTest, XBeforeZWithoutQuestions) {
    host.setup.ConfirmXReport = false;
    host.setup.ConfirmZReport = false;
    RunReports(host, x, z);
    EXPECT_EQ(host.calls, (Names{"X:0;2;", "Z:1;"}));
    EXPECT_TRUE(boxes.Boxes.empty());
}

TEST_F(RunReportsTest, DeclinedXStillRunsZAfterItsOwnQuestion) {
    host.setup.ConfirmXReport = true;
    host.setup.ConfirmZReport = true;
    boxes.Answers = {-1, 0};
    RunReports(host, x, z);
    EXPECT_EQ(host.calls, (Names{"Z:1;"}));
    ASSERT_EQ(boxes.Boxes.size(), 2u);
    EXPECT_EQ(boxes.Boxes[0].Text, "Вы уверены, что хотите выполнить следующие текущие Х-отчеты?\r\n  -X0\r\n  -X2\r\n");
    EXPECT_EQ(boxes.Boxes[0].Title, "Тольвер. Подтверждение");
    EXPECT_TRUE(boxes.Boxes[0].YesNo);
    EXPECT_EQ(boxes.Boxes[1].Text, "Вы уверены, что хотите выполнить следующие обнуляющие Z-отчеты?\r\n  -Z1\r\n");
}

TEST_F(RunReportsTest, OpenReceiptClosedOnceBeforeTheFirstCommand) {
    host.setup.ConfirmZReport = false;
    host.checkOpen = true;
    RunReports(host, x, z);
    EXPECT_EQ(host.calls, (Names{"CloseCheck", "X:0;2;", "Z:1;"}));
    EXPECT_FALSE(host.checkOpen);

    host.calls.clear();
    host.checkOpen = true;
    RunProgram(host, {false, true});
    EXPECT_EQ(host.calls, (Names{"CloseCheck", "P:1;"}));
    EXPECT_FALSE(host.checkOpen);
}

TEST_F(RunReportsTest, DriverFailuresAreSwallowedAndNothingMarkedSendsNothing) {
    host.setup.ConfirmZReport = false;
    host.failing = true;
    RunReports(host, x, z);  // X fails, Z is still tried
    EXPECT_EQ(host.calls, (Names{"X:0;2;", "Z:1;"}));

    host.calls.clear();
    RunReports(host, {{"X0"}, {false}}, {{"Z0"}, {false}});
    RunProgram(host, {false, false});
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace
}  // namespace tolver

// The cash statement on a small archive: the shift statement with its receipt, the
// period and operator statements, the opening balance and service movements with
// their debug-log lines, and the per-article keys.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "reports/merrow/merrowreport.h"
#include "reports/tests/report_fixture.h"

namespace tolver {
namespace {

using namespace testutil;

const std::string kRule = "<R>-------------------------------------------------------------------------";
const std::string kHead = "<H>   Найменування операції|                 Прибуток|     Видаток|   Кількість";
std::string S(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
// "caption|" + 18 blanks + a sum right-aligned in 9
std::string MoneyLine(const std::string& caption, const std::string& sum) {
    return caption + "|" + S(18) + S(9 - static_cast<int>(sum.size())) + sum;
}
const std::string kSubHead = "|                                        у гривнях|   у гривнях";

class Merrow : public ReportFixture {
protected:
    void SetUp() override {
        ReportFixture::SetUp();
        ArchiveRow nameless = Pay("13:00", "", "999.00");
        nameless.DescriptionNull = true;
        WriteDay(0, {Pay("08:00", "Внесение", "500.00"), Pay("08:30", "Хлеб", "60.00", 2, 7, 1),
                     Pay("09:00", "Хлеб", "15.00", 1, -7, 1), Pay("09:30", "Конверты", "9.00", 3, 0, 3),
                     Pay("10:00", "Возврат", "-20.00", 1, 12345), Pay("10:05", "Возврат", "-5.00", 1, 12346),
                     Pay("11:00", "Инкассация", "-200.00"), Pay("12:00", "Размен", "50.00", 1, -1, -1),
                     Pay("12:30", "Вес", "12.50", 0.5, 3), nameless});
        report = MakeComObject<TPostCashReport>();
    }
    // The debug-log lines written so far (their text after the time stamp).
    std::vector<std::string> DebugLines() {
        std::vector<std::string> lines;
        const auto dir = std::filesystem::path(stateDir) / "Debug";
        if (!std::filesystem::exists(dir)) return lines;
        for (const auto& f : std::filesystem::directory_iterator(dir)) {
            EXPECT_TRUE(f.path().filename().string().ends_with("_1.txt")) << f.path();
            std::ifstream in(f.path());
            for (std::string l; std::getline(in, l);) lines.push_back(l.substr(13, l.size() - 14));
        }
        return lines;
    }
    ComPtr<TPostCashReport> report;
};

TEST_F(Merrow, ShiftStatementWithTheReceipt) {
    THostShift shift{At(0, 8, 0), At(0, 20, 0), "Петренко"};
    ExpectLines(report->ShiftReport(&shift, "Каса 1"),
                {"     КАСА 1" + S(14) + "  ДАТА:01.03.2026  ЧАС:20:00:00" + S(17),
                 "     -КАСОВА ДОВIДКА-" + S(4) + "  Оператор: ПЕТРЕНКО" + S(28),
                 "",
                 kRule,
                 kHead,
                 kSubHead,
                 kRule,
                 MoneyLine("   Початковий залишок:", "500,00"),
                 "",
                 "     Конверты                        |        9,00|        0,00|           3",
                 "   3 Вес                             |       12,50|        0,00|         ...",
                 "   7 Хлеб                            |       75,00|        0,00|           3",
                 "12345 Возврат                        |                       0,00|       20,00|           1",
                 "12346 Возврат                        |                       0,00|        5,00|           1",
                 "",
                 S(16) + "Разом:|" + S(18) + "    96,50|       25,00",
                 "",
                 MoneyLine("               Всього:", "571,50"),
                 MoneyLine("       Здано до банку:", "150,00"),
                 MoneyLine("     Кінцевий залишок:", "421,50"),
                 "",
                 "             Оператор:___________",
                 "            Контролер:___________",
                 "",
                 "<R>- - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - - -",
                 "                          РОЗПИСКА",
                 "В остаточний розрахунок за робочий день прийнято від оператора___________",
                 "по касовій довідці за 01.03.2026",
                 "__ ___________20__",
                 "                                        Прийняв головний касир___________<no CR LF>"});
    EXPECT_EQ(DebugLines(), (std::vector<std::string>{"-200,00", "50,00"}));
}

TEST_F(Merrow, PeriodAndOperatorStatementsShowServiceMovements) {
    const std::vector<std::string> tail = {"",
                                           S(16) + "Разом:|" + S(18) + "    96,50|       25,00",
                                           "",
                                           MoneyLine("    Службове внесення:", "550,00"),
                                           MoneyLine("               Всього:", "71,50"),
                                           "   Службове вилучення:|" + S(27) + "|      200,00",
                                           MoneyLine("     Кінцевий залишок:", "421,50"),
                                           "",
                                           "             Оператор:___________",
                                           "            Контролер:___________"};
    std::vector<std::string> lines = SplitLines(report->PeriodReport(Day(0), At(0, 23, 0), ""));
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(Visible(lines[0]), S(27) + "ПЕРIОД: З 00:00 ПО 23:00 01.03.2026" + S(11));
    EXPECT_EQ(Visible(lines[1]), "     -КАСОВА ДОВIДКА-" + S(4));
    EXPECT_EQ(Visible(lines[7]), "     Конверты                        |        9,00|        0,00|           3");
    for (std::size_t i = 0; i < tail.size(); ++i) EXPECT_EQ(Visible(lines[12 + i]), tail[i]) << i;

    // The same day as two shifts of an operator: the opening balance is the first
    // movement of the whole run.
    THostOperator op{"Петренко", {{At(0, 8, 0), At(0, 10, 2), ""}, {At(0, 10, 2), At(0, 20, 0), ""}}};
    lines = SplitLines(report->OperatorReport(Day(0), At(0, 20, 0), &op, "Каса 1"));
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(Visible(lines[1]), "     -КАСОВА ДОВIДКА-" + S(4) + "  Оператор: ПЕТРЕНКО" + S(28));
    for (std::size_t i = 0; i < tail.size(); ++i) EXPECT_EQ(Visible(lines[12 + i]), tail[i]) << i;
}

TEST_F(Merrow, OpeningBalanceCases) {
    struct Case {
        const char* name;
        std::vector<ArchiveRow> rows;
        const char *opening, *deposits, *withdrawals;
        std::vector<std::string> log;
    } cases[] = {
        {"a sale first", {Pay("08:00", "Хлеб", "10.00", 1, 7), Pay("09:00", "Внесение", "100.00")}, "0", "100", "0",
         {"100,00"}},
        {"a withdrawal first", {Pay("08:00", "Инкассация", "-30.00"), Pay("09:00", "Внесение", "100.00")}, "0", "100",
         "30", {"-30,00", "100,00"}},
        {"a zero movement first", {Pay("08:00", "Внесение", "0"), Pay("09:00", "Внесение", "100.00")}, "0", "100",
         "0", {"100,00"}},
        {"nothing", {}, "0", "0", "0", {}},
    };
    int day = 10;
    for (Case& c : cases) {
        WriteDay(day, c.rows);
        std::filesystem::remove_all(std::filesystem::path(stateDir) / "Debug");
        std::string body;
        report->BuildServiceBody(Day(day), Day(day) + 0.99, body);
        EXPECT_EQ(report->Opening, Currency::Parse(c.opening)) << c.name;
        EXPECT_EQ(report->Deposits, Currency::Parse(c.deposits)) << c.name;
        EXPECT_EQ(report->Withdrawals, Currency::Parse(c.withdrawals)) << c.name;
        EXPECT_EQ(DebugLines(), c.log) << c.name;
        ++day;
    }
}

TEST_F(Merrow, RowKeys) {
    EXPECT_EQ(TPostCashReport::RowKey(7, "Хлеб"), "   7 Хлеб");
    EXPECT_EQ(TPostCashReport::RowKey(-7, "Хлеб"), "   7 Хлеб");
    EXPECT_EQ(TPostCashReport::RowKey(0, "Конверты"), "     Конверты");
    EXPECT_EQ(TPostCashReport::RowKey(-1, "Конверты"), "     Конверты");
    EXPECT_EQ(TPostCashReport::RowKey(-2147483647 - 1, "X"), "2147483648 X");
}

TEST_F(Merrow, AStoppingSinkLeavesTheHeaderAndNoArchiveGivesZeroTotals) {
    ComPtr<TRecordingSink> sink(new TRecordingSink());
    sink->stopAt = 0;
    report->Advise(static_cast<IReportProgress*>(sink.get()));
    EXPECT_EQ(SplitLines(report->PeriodReport(Day(0), At(0, 23, 0), "")).size(), 3u);
    report->Unadvise(static_cast<IReportProgress*>(sink.get()));

    TOptionsStandIn::WriteSection("Архивы", "");
    auto empty = MakeComObject<TPostCashReport>();
    const std::vector<std::string> lines = SplitLines(empty->PeriodReport(Day(0), At(0, 23, 0), ""));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(Visible(lines[13]), MoneyLine("     Кінцевий залишок:", "0,00"));
}

}  // namespace
}  // namespace tolver

// The payments statement on a small archive: flat and grouped, narrowed by the
// settings or by the chosen names, by period, shift and operator, and what missing
// tables, bad rows and a stopping sink leave of it.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>

#include "platform/ini/inifile.h"
#include "reports/tests/report_fixture.h"
#include "reports/vora/vorareport.h"

namespace tolver {
namespace {

using namespace testutil;

const std::string kRule = "<R>----------------------------------------------------------------------------";
const std::string kGroupHead =
    "   №|   Дата| Время|  Информация|                              Кол-во|      Сумма";

class Vora : public ReportFixture {
protected:
    void SetUp() override {
        ReportFixture::SetUp();
        WriteDay(0, {Pay("08:15", "Газ", "150.00", 1, 0, 3, "л/с 123"), Pay("09:00", "Вода  ", "40.50", 2, 0, 1),
                     Pay("10:30", "вода", "10.00", 1.5, 0, 1, "кв. 5"), Pay("11:00", "Марка", "45.00", 3, 2, 7),
                     Pay("21:00", "Газ", "1.00", 1, 0, 3)});
        WriteDay(1, {Pay("09:00", "Газ", "200.00", 1, 0, 3, "л/с 456")});
        report = MakeComObject<TVoraReport>();
        ini = (registry.dir() / "Reports.ini").string();
        report->IniFileName = ini;
    }
    std::string Period(int mode) {
        report->Mode = mode;
        return report->PeriodReport(At(0, 8, 0), At(1, 20, 0), "");
    }
    ComPtr<TVoraReport> report;
    std::string ini;
};

TEST_F(Vora, FlatStatementOfAPeriod) {
    ExpectLines(Period(0),
                {"  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО ВСЕМ ПЛАТЕЖАМ ЗА ПЕРИОД",
                 "  С 08:00 01.03.2026 ПО 20:00 02.03.2026",
                 "",
                 "",
                 "   №|   Дата| Время|  Платеж|            Информация|            Кол-во|      Сумма",
                 kRule,
                 "   1|  01.03 |08:15  |Газ              | л/с 123           |         1|     150,00",
                 "   2|  01.03 |09:00  |Вода  |                              |         2|      40,50",
                 "   3|  01.03 |10:30  |вода             | кв. 5             |     1,500|      10,00",
                 "   4|  01.03 |11:00  |Марка|                               |         3|      45,00",
                 "   5|  01.03 |21:00  |Газ|                                 |         1|       1,00",
                 "   6|  02.03 |09:00  |Газ              | л/с 456           |         1|     200,00",
                 kRule,
                 "ИТОГО:|||||                                                      9,500|     446,50"});
}

TEST_F(Vora, EachPaymentGroupedWhateverTheCaseAndTrailingBlanksOfItsName) {
    ExpectLines(Period(1),
                {"  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО КАЖДОМУ ПЛАТЕЖУ ЗА ПЕРИОД",
                 "  С 08:00 01.03.2026 ПО 20:00 02.03.2026",
                 "",
                 "",
                 "ВОДА:",
                 "",
                 kGroupHead,
                 kRule,
                 "   1|  01.03 |09:00  |                                     |         2|      40,50",
                 "   2|  01.03 |10:30  |кв. 5                                |     1,500|      10,00",
                 kRule,
                 "ВСЕГО:||||                                                      3,500|      50,50",
                 "",
                 "",
                 "ГАЗ:",
                 "",
                 kGroupHead,
                 kRule,
                 "   1|  01.03 |08:15  |л/с 123                              |         1|     150,00",
                 "   2|  01.03 |21:00  |                                     |         1|       1,00",
                 "   3|  02.03 |09:00  |л/с 456                              |         1|     200,00",
                 kRule,
                 "ВСЕГО:||||                                                          3|     351,00",
                 "",
                 "",
                 "МАРКА:",
                 "",
                 kGroupHead,
                 kRule,
                 "   1|  01.03 |11:00  |                                     |         3|      45,00",
                 kRule,
                 "ВСЕГО:||||                                                          3|      45,00",
                 "",
                 "ИТОГО:||||                                                      9,500|     446,50"});
}

TEST_F(Vora, AGroupsRowsComeByArticleDepartmentNameAndTime) {
    // Read in time order, a day's rows of one payment still come as the query by
    // article would give them: a NULL article first, then by article, department, the
    // name's bytes and the time.
    WriteDay(10, {Pay("08:00", "Газ  ", "1.00", 1, 0, 3, "d"), Pay("09:00", "газ", "1.00", 1, 0, 3, "e"),
                  Pay("10:00", "Газ", "1.00", 1, 0, 3, "c"), Pay("11:00", "Газ", "1.00", 1, 0, 2, "b"),
                  Pay("12:00", "Газ", "1.00", 1, 0, 3, "a"), Pay("13:00", "Свет", "1.00", 1, 0, 1, "f")});
    WriteDay(11, {Pay("07:00", "газ", "1.00", 1, 0, 3, "g")});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(archive.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE \"2026-03-11_Vora\" SET NArt=NULL WHERE Info='a'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    report->Mode = 1;
    const std::vector<std::string> lines = SplitLines(report->PeriodReport(Day(10), At(11, 20, 0), ""));
    std::string order;
    for (const std::string& line : lines)
        if (line.size() > 30 && line[4] == '\x06') order += line.substr(22, 1);
    EXPECT_EQ(order, "fabcdeg");  // СВЕТ (department 1) before ГАЗ (its first row: department 3)
    EXPECT_EQ(lines[4], "СВЕТ:");
    EXPECT_EQ(Visible(lines[22]), "   6|  12.03 |07:00  |g                                    |         1|       1,00");
}

TEST_F(Vora, ALongWalkNarrowedToOnePayment) {
    // Twenty days of ten payments: the group's room, reserved ahead after the first
    // day, holds the whole statement, which takes it over.
    for (int d = 0; d < 20; ++d) {
        std::vector<ArchiveRow> rows = {Pay("08:00", "Свет", "7.00", 1, 0, 2)};
        for (int i = 0; i < 10; ++i) rows.push_back(Pay(("09:0" + std::to_string(i)).c_str(), "Газ", "10.00", 1, 0, 3));
        WriteDay(10 + d, rows);
    }
    report->SetProperties("3:0:газ\r\n");
    const std::vector<std::string> lines = SplitLines(report->PeriodReport(Day(10), At(29, 20, 0), ""));
    ASSERT_EQ(lines.size(), 4 + 4 + 200 + 4u);
    EXPECT_EQ(lines[0], "  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО ВЫБОРУ ЗА ПЕРИОД");
    EXPECT_EQ(lines[4], "ГАЗ:");
    EXPECT_EQ(Visible(lines[6]), kGroupHead);
    EXPECT_EQ(Visible(lines[8]), "   1|  11.03 |09:00  |                                     |         1|      10,00");
    EXPECT_EQ(Visible(lines[207]), " 200|  30.03 |09:09  |                                     |         1|      10,00");
    EXPECT_EQ(Visible(lines[208]), kRule);
    EXPECT_EQ(Visible(lines[209]), "ВСЕГО:||||" + std::string(51, ' ') + "     200|    2000,00");
    EXPECT_EQ(lines[210], "");
    EXPECT_EQ(Visible(lines[211]), "ИТОГО:||||" + std::string(51, ' ') + "     200|    2000,00");
}

TEST_F(Vora, ChosenNamesNarrowTheGroupsAndTheHeaderSeparatesThem) {
    TIniFile(ini).WriteInteger("Vora", "EmptyLines", 0);
    TIniFile(ini).WriteString("Vora", "FinalText", "Кассир;Бухгалтер");
    report->SetProperties("3:0:ГАЗ\r\nмарка\r\n");
    const std::string text = Period(3);
    const std::string header = report->HeaderText;
    EXPECT_EQ(header, "  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО ВЫБОРУ ЗА ПЕРИОД\r\n  С 08:00 01.03.2026 ПО 20:00 02.03.2026\r\n\r\n");
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(lines.size(), 28u);
    EXPECT_EQ(lines[4], "ГАЗ:");
    EXPECT_EQ(lines[12], "ВСЕГО:\x06\x06\x06\x06" + std::string(51, ' ') + "       3\x06" "     351,00");
    // The next group follows the whole header (and the CR LF of its one line).
    EXPECT_EQ(lines[13], "  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО ВЫБОРУ ЗА ПЕРИОД");
    EXPECT_EQ(lines[16], "");
    EXPECT_EQ(lines[17], "МАРКА:");
    EXPECT_EQ(lines[24], "ИТОГО:\x06\x06\x06\x06" + std::string(51, ' ') + "       6\x06" "     396,00");
    EXPECT_EQ(lines[25], "");
    EXPECT_EQ(lines[26], "Кассир");
    EXPECT_EQ(lines[27], "Бухгалтер");
}

TEST_F(Vora, NamesFromTheSettingsOrNothingChosen) {
    TIniFile(ini).WriteString("Vora", "SomeVora", "вода; Марка ;Свет");
    std::vector<std::string> lines = SplitLines(Period(2));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО НЕКОТОРЫМ ПЛАТЕЖАМ ЗА ПЕРИОД");
    EXPECT_EQ(lines[4], "ВОДА:");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "МАРКА:"), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "ГАЗ:"), lines.end());

    // Nothing chosen (or a name that only looks like a condition): no groups, no
    // total, the final text still follows.
    TIniFile(ini).WriteString("Vora", "FinalText", "Конец");
    for (const char* props : {"3:0:", "3:0:Газ\" OR \"1\"=\"1", "3:0:') OR 1=1 --"}) {
        report->SetProperties(props);
        ExpectLines(Period(3), {"  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО ВЫБОРУ ЗА ПЕРИОД", "  С 08:00 01.03.2026 ПО 20:00 02.03.2026",
                                "", "", "", "Конец"});
    }
    TIniFile(ini).WriteString("Vora", "SomeVora", "");
    EXPECT_EQ(SplitLines(Period(2)).size(), 6u);
}

TEST_F(Vora, ShiftAndOperatorStatements) {
    report->Mode = 0;
    THostShift shift{At(0, 9, 0), At(0, 10, 30), "Петрова"};
    std::vector<std::string> lines = SplitLines(report->ShiftReport(&shift, "Касса 1"));
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0], "  ВЕДОМОСТЬ ПЛАТЕЖЕЙ ПО ВСЕМ ПЛАТЕЖАМ ЗА СМЕНУ");
    EXPECT_EQ(lines[4], "  Касса 1");
    EXPECT_EQ(Visible(lines[9]), "   2|  01.03 |10:30  |вода             | кв. 5             |     1,500|      10,00");

    ComPtr<TRecordingSink> sink(new TRecordingSink());
    report->Advise(static_cast<IReportProgress*>(sink.get()));
    report->Mode = 1;
    THostOperator op{"Петрова", {{At(0, 8, 0), At(0, 9, 0), "Петрова"}, {At(1, 8, 0), At(1, 9, 0), "Петрова"}}};
    lines = SplitLines(report->OperatorReport(Day(0), Day(1), &op, ""));
    EXPECT_EQ(sink->percents, (std::vector<int>{50, 50, 100, 100}));  // no final question
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_EQ(lines[2], "  Оператор: Петрова");
    EXPECT_EQ(lines[5], "ВОДА:");
    EXPECT_EQ(lines[14], "ГАЗ:");
    EXPECT_EQ(Visible(lines[23]), "ИТОГО:||||" + std::string(51, ' ') + "       4|     390,50");
}

TEST_F(Vora, MissingTablesBadRowsAndAStoppingSink) {
    // Day 1 has no table, day 2 a row whose amount is not fixed point: the day that
    // cannot be read whole makes the statement not built.
    TArchiveWriter(archive).WriteDay(Day(1) + 1, {Pay("08:00", "Газ", "5.00"), Pay("09:00", "Газ", "6.00")});
    {
        TArchiveWriter w(archive);
        w.WriteDay(Day(1), {});
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(archive.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE \"2026-03-02_Vora\"; UPDATE \"2026-03-03_Vora\" SET Summa='6,00' "
                               "WHERE Tim=32400000",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    report->Mode = 0;
    std::vector<std::string> lines = SplitLines(report->PeriodReport(At(0, 0, 0), At(2, 23, 0), ""));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4], "  ОТЧЕТ НЕ ПОСТРОЕН: АРХИВ ЗА 03.03.2026 НЕ ПРОЧИТАН");
    // Without that day: the rows of day 0, the missing table a day without payments.
    lines = SplitLines(report->PeriodReport(At(0, 0, 0), At(1, 23, 0), ""));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(Visible(lines[12]), "ИТОГО:|||||" + std::string(51, ' ') + "   8,500|     246,50");

    ComPtr<TRecordingSink> sink(new TRecordingSink());
    sink->stopAt = 0;
    report->Advise(static_cast<IReportProgress*>(sink.get()));
    const std::string text = report->PeriodReport(At(0, 8, 0), At(1, 20, 0), "");
    EXPECT_EQ(text, report->HeaderText + "\r\n");
    EXPECT_EQ(sink->percents, (std::vector<int>{50, 100}));
}

TEST_F(Vora, LongNamesKeepTheirColumnBreakAndWideCountsShowDots) {
    WriteDay(5, {Pay("10:00", "Оплата услуг кабельного телевидения и связи", "1.00", 123456789.0)});
    report->Mode = 0;
    const std::vector<std::string> lines = SplitLines(report->PeriodReport(Day(5), Day(5) + 0.9, ""));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(Visible(lines[6]),
              "   1|  06.03 |10:00  |Оплата услуг кабельного телевидения ||       ...|       1,00");
}

TEST(VoraOrder, GroupsWithoutArticleComeFirstByDepartmentThenByArticle) {
    std::vector<TVoraList> groups = {{"a", {}, 0, {}, 5, 0}, {"b", {}, 0, {}, 0, 3}, {"c", {}, 0, {}, 2, 9},
                                     {"d", {}, 0, {}, -1, 1}, {"e", {}, 0, {}, 1, 0}};
    std::stable_sort(groups.begin(), groups.end(), VoraListLess);
    std::string order;
    for (const auto& g : groups) order += g.Name;
    EXPECT_EQ(order, "dbeca");
}

}  // namespace
}  // namespace tolver

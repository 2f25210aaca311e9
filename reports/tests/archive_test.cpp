// The statements over hostile archives: values of the wrong kind, a damaged page, a
// table without a column a reader names, texts with control characters, a writer
// holding the archive's lock, and a stop while a day is read. A statement is whole or
// says that it is not.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>

#include "report_fixture.h"
#include "reports/merrow/merrowreport.h"
#include "reports/vora/vorareport.h"

namespace tolver {
namespace {

using namespace testutil;

enum Statement { Flat, EachPayment, Cash };
const char* const kStatementNames[] = {"flat", "each payment", "cash"};

const std::string kVoraUnread = "  ОТЧЕТ НЕ ПОСТРОЕН: АРХИВ ЗА 02.03.2026 НЕ ПРОЧИТАН";
const std::string kCashUnread = "     ДОВІДКУ НЕ СКЛАДЕНО: АРХІВ ЗА 02.03.2026 НЕ ПРОЧИТАНО";
const std::string kDay1 = "the day 02.03.2026 (table 2026-03-02_Vora) could not be read whole: ";

void Exec(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << sql << ": " << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

// Makes the table's first page unreadable: a page type that no page has.
void DamageTable(const std::string& file, const std::string& table) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, ("SELECT rootpage FROM sqlite_master WHERE name='" + table + "'").c_str(), -1, &st,
                                 nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const int root = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const int pageSize = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_GT(root, 1);
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(root - 1) * pageSize);
    f.put('\x42');
}

class HostileArchive : public ReportFixture {
protected:
    // Day 0 is clean; day 1 holds 100,00 at 08:00, the row at 09:00 that a case spoils,
    // 200,00 at 10:00 and 300,00 at 11:00.
    void WriteArchive(const std::string& file) {
        TArchiveWriter w(file);
        w.WriteDay(Day(0), {Pay("08:00", "Газ", "50.00", 1, 0, 3, "л/с 1")});
        w.WriteDay(Day(1), {Pay("08:00", "Газ", "100.00", 1, 0, 3, "л/с 2"), Pay("09:00", "Газ", "40.00", 2, 0, 3),
                            Pay("10:00", "Газ", "200.00", 1, 0, 3), Pay("11:00", "Марка", "300.00", 3, 2, 7)});
    }
    // The report object that makes statement s.
    static ComPtr<TReport> Make(Statement s) {
        if (s == Cash) return ComPtr<TReport>(MakeComObject<TPostCashReport>().get());
        auto vora = MakeComObject<TVoraReport>();
        vora->Mode = s == Flat ? 0 : 1;
        return ComPtr<TReport>(vora.get());
    }
    // The statement over both days, from the archive file; why: the error information
    // left, leftOut: the days the report left out.
    std::string Run(Statement s, const std::string& file, std::string* why = nullptr, std::string* leftOut = nullptr) {
        TOptionsStandIn::WriteSection("Архивы", file);
        const ComPtr<TReport> report = Make(s);
        const std::string text = report->PeriodReport(Day(0), At(1, 23, 0), "");
        std::string error;
        const bool failed = TakeErrorInfo(kReportFailed, error);
        if (why) *why = failed ? error : std::string();
        if (leftOut) *leftOut = report->DaysLeftOut();
        return text;
    }
};

TEST_F(HostileArchive, ADayNotReadWholeMakesTheStatementNotBuiltAndAMissingColumnLeavesItOut) {
    enum Want { Same, LeftOut, Unread };
    struct Case {
        const char* name;
        std::string spoil;      // on day 1's table
        std::string reference;  // what the statement must equal (Same): that change on a clean archive
        Want want[3];           // flat, each payment, cash
        std::string what;       // Unread: what could not be read
    } cases[] = {
        {"text amount", "UPDATE t SET Summa='abc' WHERE Tim=32400000", "", {Unread, Unread, Unread},
         "Summa holds the text 'abc' where an amount in ten-thousandths belongs (the row of 09:00:00)"},
        {"fractional amount", "UPDATE t SET Summa=1.5 WHERE Tim=32400000", "", {Unread, Unread, Unread},
         "Summa holds the fraction 1.5 where an amount"},
        {"text article", "UPDATE t SET NArt='x' WHERE Tim=32400000", "", {Same, Unread, Unread},
         "NArt holds the text 'x' where an integer belongs"},
        {"fractional department", "UPDATE t SET NDep=2.5 WHERE Tim=32400000", "", {Same, Unread, Unread},
         "NDep holds the fraction 2.5"},
        {"article beyond 32 bits", "UPDATE t SET NArt=5000000000 WHERE Tim=32400000", "", {Same, Unread, Unread},
         "NArt holds the integer 5000000000 where a 32-bit integer belongs"},
        {"text count", "UPDATE t SET PCount='два' WHERE Tim=32400000", "", {Unread, Unread, Unread},
         "PCount holds the text 'два' where a number belongs"},
        {"infinite count", "UPDATE t SET PCount=9e999 WHERE Tim=32400000", "", {Unread, Unread, Unread},
         "PCount holds an infinite value where a number belongs"},
        {"text time", "UPDATE t SET Tim='09:00' WHERE Tim=32400000", "", {Unread, Unread, Unread},
         "Tim holds the text '09:00' where an integer belongs (row "},
        {"text amount without tax", "UPDATE t SET SummaWithoutNDS='x' WHERE Tim=32400000", "",
         {Unread, Same, Unread}, "SummaWithoutNDS holds the text 'x'"},
        {"damaged page", "", "", {Unread, Unread, Unread}, "database disk image is malformed"},
        // What the reports convert on purpose stays: NULL is 0.
        {"nulls", "UPDATE t SET Summa=NULL, PCount=NULL, SummaWithoutNDS=NULL, Info=NULL WHERE Tim=32400000",
         "UPDATE t SET Summa=0, PCount=0, SummaWithoutNDS=0, Info='' WHERE Tim=32400000", {Same, Same, Same}, ""},
        // Each reader names its own columns; a day without one of them is left out.
        {"no amount without tax", "ALTER TABLE t DROP COLUMN SummaWithoutNDS", "", {LeftOut, Same, LeftOut}, ""},
        {"no article or department", "ALTER TABLE t DROP COLUMN NArt; ALTER TABLE t DROP COLUMN NDep", "",
         {Same, LeftOut, LeftOut}, ""},
        {"no information", "ALTER TABLE t DROP COLUMN Info", "", {LeftOut, LeftOut, Same}, ""},
    };
    const std::string table = TPaymentArchive::TableName(Day(1));
    auto named = [&](std::string sql) {
        for (std::size_t at; (at = sql.find(" t ")) != std::string::npos;) sql.replace(at, 3, " \"" + table + "\" ");
        return sql;
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string hostile = (registry.dir() / ("hostile" + std::to_string(n) + ".db")).string();
        const std::string same = (registry.dir() / ("same" + std::to_string(n) + ".db")).string();
        const std::string without = (registry.dir() / ("without" + std::to_string(n) + ".db")).string();
        ++n;
        WriteArchive(hostile);
        WriteArchive(same);
        WriteArchive(without);
        if (!c.spoil.empty()) Exec(hostile, named(c.spoil));
        if (std::string(c.name) == "damaged page") DamageTable(hostile, table);
        if (!c.reference.empty()) Exec(same, named(c.reference));
        Exec(without, "DROP TABLE \"" + table + "\"");
        for (Statement s : {Flat, EachPayment, Cash}) {
            const std::string label = std::string(c.name) + ", " + kStatementNames[s];
            std::string why, leftOut;
            const std::string text = Run(s, hostile, &why, &leftOut);
            switch (c.want[s]) {
            case Same:
                EXPECT_EQ(text, Run(s, same)) << label;
                EXPECT_EQ(why, "") << label;
                EXPECT_EQ(leftOut, "") << label;
                break;
            case LeftOut:
                EXPECT_EQ(text, Run(s, without)) << label;
                EXPECT_EQ(why, "") << label;
                EXPECT_EQ(leftOut.substr(0, 27), "02.03.2026 " + table + " ") << label;
                break;
            case Unread: {
                const std::vector<std::string> lines = SplitLines(text);
                ASSERT_EQ(lines.size(), s == Cash ? 4u : 5u) << label << "\n" << text;
                EXPECT_EQ(lines.back(), s == Cash ? kCashUnread : kVoraUnread) << label;
                EXPECT_EQ(why.rfind(kDay1, 0), 0u) << label << ": " << why;
                EXPECT_NE(why.find(c.what), std::string::npos) << label << ": " << why;
                break;
            }
            }
        }
    }
}

TEST_F(HostileArchive, ControlCharactersOfTextsAreBlanksAndAHugeGrandCountShowsDots) {
    WriteDay(0, {Pay("09:00", "Газ\r\n\x05ИТОГО", "1.00", 1, 0, 3, "л/с\x06" "1\x07"),
                 Pay("10:00", "Газ", "2.00", 1e15, 0, 3)});
    for (Statement s : {Flat, EachPayment, Cash}) {
        TOptionsStandIn::WriteSection("Архивы", archive);
        const ComPtr<TReport> report = Make(s);
        const std::string text = report->PeriodReport(Day(0), At(0, 23, 0), "");
        std::string why;
        EXPECT_FALSE(TakeErrorInfo(kReportFailed, why)) << kStatementNames[s] << ": " << why;
        // Markers only where the statement puts them: at the start of its own rule and
        // header lines, and its own column breaks (none inside a text).
        for (const std::string& line : SplitLines(text)) {
            EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << kStatementNames[s];
            EXPECT_EQ(line.find('\x05', 1), std::string::npos) << kStatementNames[s] << ": " << Visible(line);
            EXPECT_EQ(line.find('\x07', 1), std::string::npos) << kStatementNames[s] << ": " << Visible(line);
        }
        const std::vector<std::string> lines = SplitLines(text);
        if (s == Flat) {
            EXPECT_EQ(Visible(lines[6]), "   1|  01.03 |09:00  |Газ   ИТОГО      | л/с 1             |         1|       1,00");
            EXPECT_EQ(Visible(lines.back()), "ИТОГО:|||||" + std::string(51, ' ') + "     ...|       3,00");
        } else if (s == EachPayment) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), "ГАЗ   ИТОГО:"), lines.end()) << text;
            EXPECT_EQ(Visible(lines.back()), "ИТОГО:||||" + std::string(51, ' ') + "     ...|       3,00");
        } else {
            EXPECT_NE(text.find("Газ   ИТОГО"), std::string::npos) << text;
        }
    }
}

TEST_F(HostileArchive, ADayStoredOutOfTimeOrderReadsAsInTimeOrder) {
    // Each day's rows stored in the order given, and the same rows stored in time
    // order: the statements must be the same, so must what could not be read.
    const std::string big = "500000000000000.00";
    struct Case {
        const char* name;
        std::vector<ArchiveRow> stored;
        std::string why;  // what the statement says could not be read, if anything
    } cases[] = {
        {"a late row stored last, twins in time, several parts of a group",
         {Pay("08:00", "Газ", "1.00", 1, 0, 3, "a"), Pay("09:00", "газ ", "2.00", 1, 0, 3, "b"),
          Pay("09:00", "Газ", "3.00", 1, 0, 3, "c"), Pay("11:00", "Марка", "4.00", 2, 2, 7),
          Pay("10:00", "Газ", "5.00", 1, 0, 3, "d"), Pay("07:00", "Марка", "6.00", 1, 2, 7)},
         ""},
        {"the earliest bad row stored after a later one",
         {Pay("08:00", "Газ", "1.00", 1, 0, 3), Pay("10:00", "Газ", "2.00", 1, 0, 3),
          Pay("09:30", "Газ", "3.00", 1, 0, 3), Pay("09:00", "Газ", "4.00", 1, 0, 3)},
         "Summa holds the text 'x' where an amount in ten-thousandths belongs (the row of 09:00:00)"},
        {"sums that overflow only in the stored order",
         {Pay("08:00", "Газ", big, 1, 0, 3), Pay("10:00", "Газ", big, 1, 0, 3), Pay("09:00", "Газ", "-" + big, 1, 0, 3)},
         ""},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string stored = (registry.dir() / ("stored" + std::to_string(n) + ".db")).string();
        const std::string sorted = (registry.dir() / ("sorted" + std::to_string(n) + ".db")).string();
        ++n;
        std::vector<ArchiveRow> inTime = c.stored;
        std::stable_sort(inTime.begin(), inTime.end(),
                         [](const ArchiveRow& a, const ArchiveRow& b) { return a.TimeMs < b.TimeMs; });
        // The rows in time order from the start of the day on, then the day itself.
        std::vector<ArchiveRow> early;
        for (int i = 0; i < 3000; ++i) early.push_back(Pay("06:00", "Вода", "1.00", 1, 0, 1));
        for (int i = 0; i < 3000; ++i) early[i].TimeMs += i;
        std::vector<ArchiveRow> storedDay = early, sortedDay = early;
        storedDay.insert(storedDay.end(), c.stored.begin(), c.stored.end());
        sortedDay.insert(sortedDay.end(), inTime.begin(), inTime.end());
        TArchiveWriter(stored).WriteDay(Day(0), storedDay);
        TArchiveWriter(sorted).WriteDay(Day(0), sortedDay);
        if (!c.why.empty()) {
            for (const std::string& file : {stored, sorted}) {
                Exec(file, "UPDATE \"" + TPaymentArchive::TableName(Day(0)) + "\" SET Summa='x' WHERE Tim IN (" +
                               std::to_string(9 * 3600000) + ", " + std::to_string(10 * 3600000) + ")");
            }
        }
        for (Statement s : {Flat, EachPayment, Cash}) {
            const std::string label = std::string(c.name) + ", " + kStatementNames[s];
            std::string whyStored, whySorted;
            const std::string text = Run(s, stored, &whyStored);
            EXPECT_EQ(text, Run(s, sorted, &whySorted)) << label;
            EXPECT_EQ(whyStored, whySorted) << label;
            if (c.why.empty())
                EXPECT_EQ(whyStored, "") << label;
            else
                EXPECT_NE(whyStored.find(c.why), std::string::npos) << label << ": " << whyStored;
        }
    }
}

class LockedArchive : public HostileArchive {
protected:
    void SetUp() override {
        HostileArchive::SetUp();
        WriteArchive(archive);
        // A writer in the middle of its transaction: nobody reads until it ends.
        ASSERT_EQ(sqlite3_open(archive.c_str(), &writer), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        report = MakeComObject<TPostCashReport>();
        ASSERT_NE(report->Query(), nullptr);
        sink = ComPtr<TRecordingSink>(new TRecordingSink());
        report->Advise(static_cast<IReportProgress*>(sink.get()));
        report->Query()->AskEvery = std::chrono::milliseconds(10);
    }
    void TearDown() override {
        sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(writer);
        HostileArchive::TearDown();
    }
    std::string Statement() { return report->PeriodReport(Day(0), At(1, 23, 0), ""); }
    sqlite3* writer = nullptr;
    ComPtr<TPostCashReport> report;
    ComPtr<TRecordingSink> sink;
};

TEST_F(LockedArchive, AWriterIsWaitedForAndThePeriodIsOneViewOfTheArchive) {
    // The report was made while the writer held the lock (it holds its archive), and
    // its statement waits for the writer, asking the sinks meanwhile.
    std::string file, why;
    bool released = false, writeRefused = false;
    sink->during = [&] {
        if (!released) {
            released = true;
            sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
            return;
        }
        // After the first day a writer that changes the second one has to wait for
        // the statement: it reads one state of the archive.
        if (sink->percents.size() == 1 && !writeRefused) {
            sqlite3_busy_timeout(writer, 0);
            sqlite3_exec(writer, ("BEGIN; UPDATE \"" + TPaymentArchive::TableName(Day(1)) + "\" SET Summa=Summa*2")
                                     .c_str(),
                         nullptr, nullptr, nullptr);
            writeRefused = sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_BUSY;
            sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    };
    const std::string text = Statement();
    EXPECT_TRUE(released);
    EXPECT_TRUE(writeRefused);
    EXPECT_FALSE(TakeErrorInfo(kReportFailed, why)) << why;
    EXPECT_EQ(sink->percents.front(), 0);  // asked while waiting
    EXPECT_EQ(std::vector<int>(sink->percents.end() - 3, sink->percents.end()), (std::vector<int>{50, 100, 100}));
    sink->during = nullptr;
    EXPECT_EQ(text, Run(Cash, archive));
    EXPECT_EQ(report->CheckArchive(&file, &why), S_OK) << why;
    EXPECT_EQ(file, archive);
}

TEST_F(LockedArchive, ALockThatOutlastsTheWaitOrAStopMeanwhileGivesNoStatement) {
    report->Query()->WriterWait = std::chrono::milliseconds(300);
    std::vector<std::string> lines = SplitLines(Statement());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines.back(), "     ДОВІДКУ НЕ СКЛАДЕНО: АРХІВ ЗА 01.03.2026 НЕ ПРОЧИТАНО");
    std::string why;
    EXPECT_TRUE(TakeErrorInfo(kReportFailed, why));
    EXPECT_NE(why.find("another program held the archive locked for longer than 0.3 s"), std::string::npos) << why;
    std::string file;
    EXPECT_EQ(report->CheckArchive(&file, &why), S_FALSE);
    EXPECT_EQ(why, "another program held the archive locked for longer than 0.3 s");

    // A stop while waiting is answered at once: the header and no body.
    report->Query()->WriterWait = std::chrono::hours(1);
    sink->stopAt = 0;
    lines = SplitLines(Statement());
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_FALSE(TakeErrorInfo(kReportFailed, why)) << why;
}

TEST_F(HostileArchive, ProgressWithinADayAndAStopThereLeaveNoRowsOfIt) {
    std::vector<ArchiveRow> rows;
    for (int i = 0; i < 20000; ++i) rows.push_back(Pay("08:00", "Газ", "1.00", 1, 0, 3));
    for (int i = 0; i < 20000; ++i) rows[static_cast<std::size_t>(i)].TimeMs += i * 2000;
    WriteDay(0, rows);
    auto report = MakeComObject<TVoraReport>();
    ComPtr<TRecordingSink> sink(new TRecordingSink());
    report->Advise(static_cast<IReportProgress*>(sink.get()));
    report->Query()->AskEvery = std::chrono::milliseconds(0);
    for (int mode : {0, 1}) {
        report->Mode = mode;
        sink->percents.clear();
        sink->stopAt = -1;
        report->PeriodReport(Day(0), At(1, 23, 0), "");
        // Asked within the first day with what of it is read, rising, then as ever.
        const std::vector<int>& p = sink->percents;
        EXPECT_TRUE(std::is_sorted(p.begin(), p.end())) << mode;
        EXPECT_NE(std::find_if(p.begin(), p.end(), [](int v) { return v > 0 && v < 50; }), p.end()) << mode;
        EXPECT_EQ(std::vector<int>(p.end() - 2, p.end()), (std::vector<int>{100, 100})) << mode;

        sink->percents.clear();
        sink->stopAt = 1;
        const std::string text = report->PeriodReport(Day(0), At(1, 23, 0), "");
        EXPECT_EQ(text, report->HeaderText + "\r\n") << mode;
        EXPECT_EQ(sink->percents.size(), 3u) << mode;  // the stop, then the last question
        EXPECT_EQ(sink->percents.back(), 100) << mode;
    }
}

}  // namespace
}  // namespace tolver

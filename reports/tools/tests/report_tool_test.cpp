// tolver-report as a new user meets it, run as a program in a registry store of the
// test's own: what it says and how it exits when the reports would find no archive,
// when a date is mistyped and when a report cannot be built.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <sqlite3.h>

#include <fstream>
#include <sstream>

#include "platform/registry/temp_registry.h"
#include "platform/testing/shell_tool.h"
#include "reports/options.h"
#include "reports/samplearchive.h"

namespace tolver {
namespace {

using testutil::Quoted;

const std::string kBin = TOLVER_BIN_DIR;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ReportTool : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TOLVER_STATE_DIR", (registry.dir() / "state").c_str(), 1);
        for (const char* module : {"Vora.rpt", "Merrow.rpt"})
            ASSERT_EQ(testutil::RunTool(kBin + "/tolver-regsvr", Quoted(kBin + "/" + module)), 0) << module;
    }
    ToolRun Report(const std::string& args, const std::string& env = {}) {
        const auto out = registry.dir() / "out.txt", err = registry.dir() / "err.txt";
        const int raw = std::system((env + Quoted(kBin + "/tolver-report") + " " + args + " >" + Quoted(out.string()) +
                                     " 2>" + Quoted(err.string()) + " </dev/null")
                                        .c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(out), ReadAll(err)};
    }
    void TearDown() override { ::unsetenv("TOLVER_STATE_DIR"); }
    void RegisterOptions() {
        ASSERT_EQ(testutil::RunTool(kBin + "/tolver-regsvr", Quoted(kBin + "/Options.srv")), 0);
    }
    TempRegistry registry;
};

TEST_F(ReportTool, SaysWhichArchiveItLookedForAndExitsNonZero) {
    const std::string period = "period Merrow.MerrowReport 2026-12-04 2026-12-05";
    const std::string missing = (registry.dir() / "none.db").string();
    const std::string notes = (registry.dir() / "notes.txt").string();
    std::ofstream(notes) << "Касса 1: смена закрыта.\n";
    const std::string empty = (registry.dir() / "empty.db").string();
    std::ofstream{empty};
    const std::string other = (registry.dir() / "other.db").string();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(other.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE Kassa (N INTEGER)", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    struct Case {
        const char* name;
        std::function<void()> setup;
        std::string said;
    } cases[] = {
        {"no options server", [] {}, "the options server (Options.OptionsAuto), which names the payment archive, "
                                     "is not registered; tolver-regsvr Options.srv registers it"},
        {"no section", [&] { RegisterOptions(); },
         "the options server names no payment archive (section \"Архивы\")"},
        {"no file named", [] { TOptionsStandIn::WriteSection(kArchiveSection, ""); },
         "the options server's section \"Архивы\" names no file for the payment archive"},
        {"a missing file", [&] { TOptionsStandIn::WriteSection(kArchiveSection, missing); },
         "the payment archive " + missing + " (named by the options server's \"Архивы\") does not exist"},
        {"not a database", [&] { TOptionsStandIn::WriteSection(kArchiveSection, notes); },
         "cannot read the payment archive " + notes + ": file is not a database"},
        {"a folder", [&] { TOptionsStandIn::WriteSection(kArchiveSection, registry.dir().string()); },
         "cannot read the payment archive " + registry.dir().string() + ": it is a folder, not a SQLite database"},
        {"an empty file", [&] { TOptionsStandIn::WriteSection(kArchiveSection, empty); },
         "cannot read the payment archive " + empty + ": the file is empty, not a SQLite database"},
        {"no payment table", [&] { TOptionsStandIn::WriteSection(kArchiveSection, other); },
         "cannot read the payment archive " + other + ": it holds no payment table (no table named yyyy-mm-dd_Vora)"},
    };
    for (const Case& c : cases) {
        c.setup();
        const ToolRun run = Report(period);
        EXPECT_EQ(run.status, 1) << c.name;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.name;  // no all-zero statement
    }
}

TEST_F(ReportTool, AMistypedDateIsNamedAndAReportThatCannotTotalFails) {
    RegisterOptions();
    const std::string archive = (registry.dir() / "archive.db").string();
    const double day = EncodeDate(2026, 12, 4);
    {
        TArchiveWriter writer(archive);
        writer.WriteDay(day, SampleDay(20, 1));
        ArchiveRow big;
        big.Description = "Газ";
        big.Sum = Currency::Parse("500000000000000.00");
        big.TimeMs = 9 * 3600000;
        writer.WriteDay(day + 1, {big, big});
        ArchiveRow row = big;
        row.Sum = Currency::Parse("10.00");
        writer.WriteDay(day + 2, {row, row});
        writer.WriteDay(day + 3, {row});
    }
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(archive.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "UPDATE \"2026-12-06_Vora\" SET Summa='abc' WHERE rowid=2; "
                               "ALTER TABLE \"2026-12-07_Vora\" DROP COLUMN Info",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    TOptionsStandIn::WriteSection(kArchiveSection, archive);

    struct Case {
        std::string args;
        int status;
        std::string said;  // in what it writes to stderr; empty: nothing
    } cases[] = {
        {"period Merrow.MerrowReport 2026-12-04 2026-12-04", 0, ""},
        {"period Merrow.MerrowReport 2026-13-01 2026-12-04", 2,
         "FROM \"2026-13-01\" is not a date: yyyy-mm-dd or yyyy-mm-ddThh:mm[:ss]"},
        {"shift Merrow.MerrowReport 2026-12-04T08:00 2026-12-04T25:00 Петренко", 2,
         "END \"2026-12-04T25:00\" is not a date"},
        {"operator Merrow.MerrowReport 2026-12-04 2026-12-04 Петренко 2026-12-04T08:00 12/04", 2,
         "END \"12/04\" is not a date"},
        {"period Vora.VoraReport 2026-12-04 2026-12-04 --verbose", 2, "unknown option --verbose"},
        {"period Vora.VoraReport 2026-12-05 2026-12-05 --properties 1:0:", 1,
         "the report could not be built: A sum of the report is too large to hold"},
        {"period Vora.VoraReport 2026-12-04 2026-12-04 --title", 2, "--title needs a value"},
        {"period Merrow.MerrowReport 2026-12-06 2026-12-07", 1,
         "the report could not be built: the day 06.12.2026 (table 2026-12-06_Vora) could not be read whole: "
         "Summa holds the text 'abc' where an amount in ten-thousandths belongs (the row of 09:00:00)"},
        {"period Vora.VoraReport 2026-12-07 2026-12-07", 0,
         "the day 07.12.2026 is left out: its table 2026-12-07_Vora has no column Info, which this report reads"},
    };
    for (const Case& c : cases) {
        const ToolRun run = Report(c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        if (c.said.empty())
            EXPECT_EQ(run.err, "") << c.args;
        else
            EXPECT_NE(run.err.find(c.said), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(run.err.find("usage:"), std::string::npos) << c.args;
        if (c.status == 2) {
            EXPECT_EQ(run.out, "") << c.args;
        }
    }
    // The statement that cannot total says so in its text too, and shows no total.
    const ToolRun run = Report("period Vora.VoraReport 2026-12-05 2026-12-05 --properties 1:0:");
    EXPECT_NE(run.out.find("ОТЧЕТ НЕ ПОСТРОЕН: ИТОГ СЛИШКОМ ВЕЛИК"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("ИТОГО"), std::string::npos) << run.out;
    // So does the one with a day it could not read, and it names the day.
    const ToolRun unread = Report("period Merrow.MerrowReport 2026-12-06 2026-12-07");
    EXPECT_NE(unread.out.find("ДОВІДКУ НЕ СКЛАДЕНО: АРХІВ ЗА 06.12.2026 НЕ ПРОЧИТАНО"), std::string::npos) << unread.out;
    EXPECT_EQ(unread.out.find("Разом"), std::string::npos) << unread.out;
}

TEST_F(ReportTool, HelpGoesToStandardOutputAndAMistypedStoreIsNotMade) {
    ToolRun run = Report("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: tolver-report list", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");

    const std::string store = (registry.dir() / "registy.db").string();
    run = Report("list", "TOLVER_REGISTRY=" + Quoted(store) + " ");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("the registry store " + store + " (TOLVER_REGISTRY) does not exist"), std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(store));
}

}  // namespace
}  // namespace tolver

// The report plug-ins over a month of a busy office: 31 days of 100 000 payments a
// day. The cash statement of the whole month, the payments statement flat, per
// payment and narrowed to one payment, each against a bare SQLite scan of the same
// rows in time order measured in the same run, beside it. Times are the processor
// time of the thread, the best of three runs, scan and statement taking turns (the
// machine may be busy).
//
// Counters of a statement:
//   vs_scan         the statement's time / the bare scan's: the figure with a target
//   vs_scan_target  each payment 1.5, flat 1.3, cash 1.2, one payment 1.3
//   mem_per_text    (peak_MB - rest_MB) / text_MB: the memory the statement took
//                   beyond what the process held, per megabyte of its text (the host
//                   gets the text whole, so 1 is the floor); the target is 1.2 where
//                   the text is large (mem_target 0: a text too small to measure by)
//   text_MB         the size of the report text
//   peak_MB         the process's peak resident memory during the statement (reset
//                   before it), rest_MB what the process held before it
//   fresh_MB        the memory the statement touched for the first time (minor page
//                   faults)
//   us_per_row      the statement's time per row it reads, scan_us_per_row the scan's
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/com/cocreate.h"
#include "platform/registry/temp_registry.h"
#include "reports/merrow/merrowreport.h"
#include "reports/options.h"
#include "reports/samplearchive.h"
#include "reports/vora/vorareport.h"

using namespace tolver;

namespace {

constexpr int kDays = 31;
constexpr int kPerDay = 100000;

double FirstDay() { return EncodeDate(2026, 1, 1); }

// The archive and the options server that answers it, made once.
struct Archive {
    TempRegistry registry;
    std::string path = (registry.dir() / "archive.db").string();
    std::uint32_t cookie = 0;
    ComClass options{.clsid = CLSID_OptionsAuto,
                     .progId = "Options.OptionsAuto",
                     .description = "OptionsAuto Object",
                     .create = &CreateObjectOf<TOptionsStandIn>};
    TComClassFactory factory{options};

    Archive() {
        TArchiveWriter writer(path);
        for (int d = 0; d < kDays; ++d) writer.WriteDay(FirstDay() + d, SampleDay(kPerDay, 1000 + d));
        CoRegisterClassObject(CLSID_OptionsAuto, &factory, &cookie);
        TOptionsStandIn::WriteSection("Архивы", path);
    }
};

Archive& TheArchive() {
    static Archive archive;
    return archive;
}

double ReadKb(const char* field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(std::strlen(field)));
    return 0;
}

// Gives what the earlier runs freed back to the system, then starts the peak afresh.
void ResetPeak() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The time the thread spent running, user and system: on a machine that others share
// a statement and its scan are measured by the work they do, not by the waits for a
// processor between.
double CpuNow() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(double since) {
    return CpuNow() - since;
}

double MinorFaults() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_minflt);
}

const char kByTime[] = "ORDER BY Data, Tim";

// Reads every row of the month that the condition takes, in the given order, touching
// each column the readers take; the seconds it took and the rows read.
struct ScanFigures {
    double seconds = 0;
    std::int64_t rows = 0;
};

ScanFigures Scan(const std::string& condition, const char* orderBy) {
    const double start = CpuNow();
    sqlite3* db = nullptr;
    sqlite3_open_v2(TheArchive().path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::int64_t sum = 0, rows = 0;
    for (int d = 0; d < kDays; ++d) {
        const std::string sql = "SELECT Description, Info, PCount, Summa, NArt, NDep, Tim FROM \"" +
                                TPaymentArchive::TableName(FirstDay() + d) + "\" WHERE Tim>=?1 AND Tim<=?2 " +
                                condition + " " + orderBy;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        sqlite3_bind_int(st, 1, 0);
        sqlite3_bind_int(st, 2, 86399999);
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += sqlite3_column_bytes(st, 0) + sqlite3_column_bytes(st, 1) + sqlite3_column_int64(st, 3) +
                   sqlite3_column_int(st, 4) + sqlite3_column_int(st, 5) + sqlite3_column_int(st, 6);
            sum += static_cast<std::int64_t>(sqlite3_column_double(st, 2));
            ++rows;
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    benchmark::DoNotOptimize(sum);
    return {Seconds(start), rows};
}

constexpr int kRuns = 3;

template <class Report, class Setup>
void RunStatement(benchmark::State& state, const std::string& condition, double target, Setup setup) {
    TheArchive();
    double peak = 0, rest = 0, seconds = 1e300, scanSeconds = 1e300, faults = 0;
    std::int64_t rows = 0;
    std::size_t size = 0;
    for (auto _ : state) {
        for (int run = 0; run < kRuns; ++run) {
            const ScanFigures scan = Scan(condition, kByTime);
            scanSeconds = std::min(scanSeconds, scan.seconds);
            rows = scan.rows;
            ResetPeak();
            const double restNow = ReadKb("VmRSS:") / 1024;
            const double faultsNow = MinorFaults();
            const double start = CpuNow();
            auto report = MakeComObject<Report>();
            setup(*report);
            std::string text = report->PeriodReport(FirstDay(), FirstDay() + kDays - 1 + 0.9999, "");
            seconds = std::min(seconds, Seconds(start));
            size = text.size();
            const double peakNow = ReadKb("VmHWM:") / 1024;
            if (peakNow - restNow > peak - rest) {
                peak = peakNow;
                rest = restNow;
                faults = MinorFaults() - faultsNow;
            }
            benchmark::DoNotOptimize(text.data());
        }
    }
    const double textMb = static_cast<double>(size) / (1024 * 1024);
    state.counters["vs_scan"] = seconds / scanSeconds;
    state.counters["vs_scan_target"] = target;
    state.counters["mem_per_text"] = textMb > 0 ? (peak - rest) / textMb : 0;
    state.counters["mem_target"] = textMb >= 16 ? 1.2 : 0;
    state.counters["text_MB"] = textMb;
    state.counters["peak_MB"] = peak;
    state.counters["rest_MB"] = rest;
    state.counters["fresh_MB"] = faults * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
    state.counters["us_per_row"] = seconds * 1e6 / static_cast<double>(rows);
    state.counters["scan_us_per_row"] = scanSeconds * 1e6 / static_cast<double>(rows);
}

void BM_CashStatementMonth(benchmark::State& state) {
    RunStatement<TPostCashReport>(state, "", 1.2, [](TPostCashReport&) {});
}

void BM_PaymentsStatementFlatMonth(benchmark::State& state) {
    RunStatement<TVoraReport>(state, "", 1.3, [](TVoraReport& r) { r.SetProperties("0:0:"); });
}

void BM_PaymentsStatementEachPaymentMonth(benchmark::State& state) {
    RunStatement<TVoraReport>(state, "", 1.5, [](TVoraReport& r) { r.SetProperties("1:0:"); });
}

void BM_PaymentsStatementOnePaymentMonth(benchmark::State& state) {
    RunStatement<TVoraReport>(state, "AND Description='Газ'", 1.3,
                              [](TVoraReport& r) { r.SetProperties("3:0:Газ\r\n"); });
}

void BM_BareSqliteScanMonth(benchmark::State& state) {
    TheArchive();
    for (auto _ : state) {
        ResetPeak();
        const double rest = ReadKb("VmRSS:") / 1024;
        const ScanFigures scan = Scan("", kByTime);
        state.counters["peak_MB"] = ReadKb("VmHWM:") / 1024;
        state.counters["rest_MB"] = rest;
        state.counters["us_per_row"] = scan.seconds * 1e6 / static_cast<double>(scan.rows);
    }
}

}  // namespace

// One benchmark iteration each (of three runs): a month's statement takes seconds.
BENCHMARK(BM_CashStatementMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PaymentsStatementFlatMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PaymentsStatementEachPaymentMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PaymentsStatementOnePaymentMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BareSqliteScanMonth)->Unit(benchmark::kMillisecond)->Iterations(1);

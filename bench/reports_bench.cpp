// The report plug-ins over a month of a busy office: 31 days of 100 000 payments a
// day. The cash statement of the whole month, the payments statement flat, per
// payment and narrowed to one payment, beside a bare SQLite scan of the same rows in
// the same order.
//
// Counters of a statement:
//   text_MB         the size of the report text
//   peak_MB         the process's peak resident memory during the statement (reset
//                   before it), rest_MB what the process held before it
//   extra_per_text  (peak_MB - rest_MB) / text_MB; the target is at most 3 (plus a
//                   constant, which shows in the statements with a small text)
//   fresh_MB        the memory the statement touched for the first time (minor page
//                   faults); writing it is the dearest part of a large text on a
//                   virtual machine
//   us_per_row      the statement's time per row it reads
//   scan_us_per_row the bare scan of the same rows in the same order, per row
//   touch_us_per_row writing a fresh buffer of the text's size once, per row: what
//                   the text itself costs whatever builds it
//   format_share    the part of the statement's time that is neither the scan nor
//                   that one writing of the text
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
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

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double MinorFaults() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_minflt);
}

// The seconds it takes to write a fresh buffer of n bytes once.
double TouchSeconds(std::size_t n) {
    malloc_trim(0);
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<char[]> buffer(new char[n]);
    std::memset(buffer.get(), ' ', n);
    benchmark::DoNotOptimize(buffer.get());
    return Seconds(start);
}

const char kByTime[] = "ORDER BY Data, Tim";
const char kByArticle[] = "ORDER BY NArt, NDep, Description, Data, Tim";

// Reads every row of the month that the condition takes, in the given order, touching
// each column the readers take; the seconds it took and the rows read.
struct ScanFigures {
    double seconds = 0;
    std::int64_t rows = 0;
};

ScanFigures Scan(const std::string& condition, const char* orderBy) {
    const auto start = std::chrono::steady_clock::now();
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

// The bare scan of a statement's rows, measured once.
const ScanFigures& ScanOnce(const std::string& condition, const char* orderBy) {
    static std::map<std::string, ScanFigures> figures;
    const std::string key = condition + orderBy;
    auto it = figures.find(key);
    if (it == figures.end()) it = figures.emplace(key, Scan(condition, orderBy)).first;
    return it->second;
}

template <class Report, class Setup>
void RunStatement(benchmark::State& state, const std::string& condition, const char* orderBy, Setup setup) {
    TheArchive();
    const ScanFigures scan = ScanOnce(condition, orderBy);
    double peak = 0, rest = 0, seconds = 0, faults = 0;
    std::size_t size = 0;
    for (auto _ : state) {
        ResetPeak();
        rest = ReadKb("VmRSS:") / 1024;
        faults = MinorFaults();
        const auto start = std::chrono::steady_clock::now();
        auto report = MakeComObject<Report>();
        setup(*report);
        const std::string text = report->PeriodReport(FirstDay(), FirstDay() + kDays - 1 + 0.9999, "");
        seconds = Seconds(start);
        faults = MinorFaults() - faults;
        size = text.size();
        peak = std::max(peak, ReadKb("VmHWM:") / 1024);
        benchmark::DoNotOptimize(text.data());
    }
    const double rows = static_cast<double>(scan.rows);
    const double textMb = static_cast<double>(size) / (1024 * 1024);
    const double touch = TouchSeconds(size);
    state.counters["text_MB"] = textMb;
    state.counters["peak_MB"] = peak;
    state.counters["rest_MB"] = rest;
    state.counters["extra_per_text"] = textMb > 0 ? (peak - rest) / textMb : 0;
    state.counters["fresh_MB"] = faults * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
    state.counters["us_per_row"] = seconds * 1e6 / rows;
    state.counters["scan_us_per_row"] = scan.seconds * 1e6 / rows;
    state.counters["touch_us_per_row"] = touch * 1e6 / rows;
    state.counters["format_share"] = seconds > 0 ? std::max(0.0, seconds - scan.seconds - touch) / seconds : 0;
}

void BM_CashStatementMonth(benchmark::State& state) {
    RunStatement<TPostCashReport>(state, "", kByTime, [](TPostCashReport&) {});
}

void BM_PaymentsStatementFlatMonth(benchmark::State& state) {
    RunStatement<TVoraReport>(state, "", kByTime, [](TVoraReport& r) { r.SetProperties("0:0:"); });
}

void BM_PaymentsStatementEachPaymentMonth(benchmark::State& state) {
    RunStatement<TVoraReport>(state, "", kByArticle, [](TVoraReport& r) { r.SetProperties("1:0:"); });
}

void BM_PaymentsStatementOnePaymentMonth(benchmark::State& state) {
    RunStatement<TVoraReport>(state, "AND Description='Газ'", kByArticle,
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

// One run each: a month's statement takes seconds, and its figures are its own. Add
// --benchmark_repetitions=N for more.
BENCHMARK(BM_CashStatementMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PaymentsStatementFlatMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PaymentsStatementEachPaymentMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PaymentsStatementOnePaymentMonth)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BareSqliteScanMonth)->Unit(benchmark::kMillisecond)->Iterations(1);

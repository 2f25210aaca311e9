// The report plug-ins over a month of a busy office: 31 days of 100 000 payments a
// day. The cash statement of the whole month and the payments statement narrowed to
// one payment, beside a bare SQLite scan of the same rows. peak_MB is the process's
// peak resident memory during the statement (reset before each run), rest_MB what
// the process held before it.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
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

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

template <class Report, class Setup>
void RunStatement(benchmark::State& state, Setup setup) {
    TheArchive();
    double peak = 0, rest = 0;
    std::size_t size = 0;
    for (auto _ : state) {
        ResetPeak();
        rest = ReadKb("VmRSS:") / 1024;
        auto report = MakeComObject<Report>();
        setup(*report);
        const std::string text = report->PeriodReport(FirstDay(), FirstDay() + kDays - 1 + 0.9999, "");
        size = text.size();
        peak = std::max(peak, ReadKb("VmHWM:") / 1024);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["peak_MB"] = peak;
    state.counters["rest_MB"] = rest;
    state.counters["text_KB"] = static_cast<double>(size) / 1024;
    state.counters["rows"] = static_cast<double>(kDays) * kPerDay;
}

void BM_CashStatementMonth(benchmark::State& state) {
    RunStatement<TPostCashReport>(state, [](TPostCashReport&) {});
}

void BM_PaymentsStatementOnePaymentMonth(benchmark::State& state) {
    RunStatement<TVoraReport>(state, [](TVoraReport& r) { r.SetProperties("3:0:Газ\r\n"); });
}

void BM_BareSqliteScanMonth(benchmark::State& state) {
    const std::string& path = TheArchive().path;
    for (auto _ : state) {
        ResetPeak();
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        std::int64_t sum = 0;
        for (int d = 0; d < kDays; ++d) {
            const std::string sql = "SELECT Description, Info, PCount, Summa, NArt, NDep, Tim FROM \"" +
                                    TPaymentArchive::TableName(FirstDay() + d) +
                                    "\" WHERE Tim>=?1 AND Tim<=?2 ORDER BY Data, Tim";
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
            sqlite3_bind_int(st, 1, 0);
            sqlite3_bind_int(st, 2, 86399999);
            while (sqlite3_step(st) == SQLITE_ROW) sum += sqlite3_column_int64(st, 3);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        benchmark::DoNotOptimize(sum);
        state.counters["peak_MB"] = ReadKb("VmHWM:") / 1024;
    }
}

}  // namespace

BENCHMARK(BM_CashStatementMonth)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PaymentsStatementOnePaymentMonth)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareSqliteScanMonth)->Unit(benchmark::kMillisecond)->Iterations(3);

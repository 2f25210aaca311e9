// The settings dialog on a large setup and the Paradox import: opening the dialog on
// 8000 articles (the pages filled and laid out), saving it (the apply step down to
// the registry store), and importing a table of 8000 articles.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabWidget>
#include <cstdlib>
#include <filesystem>

#include "platform/registry/temp_registry.h"
#include "spooler/dialogs/paradoximport.h"
#include "spooler/dialogs/properties.h"
#include "spooler/dialogs/tests/dialog_fixture.h"
#include "spooler/dialogs/tests/paradox_writer.h"

namespace tolver {
namespace {

constexpr int kArticles = 8000;

QApplication& App() {
    static int argc = 1;
    static char name[] = "bench_dialogs";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(argc, argv);
    return app;
}

// The main window's apply step as it really runs: sort, then save to the store.
class SavingHost : public testutil::FakeHost {
public:
    void ApplySettings() override {
        for (TXtCollection* list : {&setup.TaxList, &setup.DepList, &setup.ArtList, &setup.OpList}) list->Sort();
        setup.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    }
};

void FillArticles(TSpoolerSetup& setup) {
    testutil::FillShopSetup(setup);
    for (int n = 201; n <= kArticles; ++n) {
        auto* art = static_cast<TCashArtProperties*>(setup.ArtList.CreateItem(n));
        art->Description = "Артикул " + std::to_string(n);
        art->NDep = 1 + n % 16;
        art->NTax = 1 + n % 3;
        art->Price = Currency::FromRaw(10000LL * (n % 300));
    }
}

// The dialog over a shop's setup grown to 8000 articles, saving to a store of its own.
struct LargeSetup {
    LargeSetup() {
        host.limits = testutil::ShopLimits();
        FillArticles(host.setup);
    }
    QApplication& app = App();  // before any widget
    TempRegistry registry;
    SavingHost host;
    TfrmProperties dialog{host};
};

void BM_OpenSettings(benchmark::State& state) {
    LargeSetup s;
    s.dialog.show();
    for (auto _ : state) {
        s.dialog.Prepare();
        s.dialog.PageControl->setCurrentIndex(2);
        QApplication::processEvents();  // the pages laid out and painted
    }
    s.dialog.hide();
}
BENCHMARK(BM_OpenSettings)->Unit(benchmark::kMillisecond);

void BM_SaveSettings(benchmark::State& state) {
    LargeSetup s;
    s.dialog.Prepare();
    s.host.ApplySettings();  // the first save creates every key; later saves rewrite them
    for (auto _ : state) s.dialog.Apply();
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

void BM_ImportArticles(benchmark::State& state) {
    TempRegistry registry;  // its folder holds the table
    const std::filesystem::path data = registry.dir() / "old" / "Data";
    std::filesystem::create_directories(data);
    std::vector<std::vector<testutil::PxValue>> rows;
    for (long n = 1; n <= kArticles; ++n)
        rows.push_back({n, std::string("Артикул номер ") + std::to_string(n), 1 + n % 16, 1 + n % 3});
    testutil::WriteParadoxTable((data / "Plat.DB").string(), testutil::kArticleFields, rows);
    for (auto _ : state) {
        TSpoolerSetup setup;
        const TImportResult result = ImportArticles((registry.dir() / "old").string(), setup.ArtList);
        if (!result.Ok || result.Added != kArticles) state.SkipWithError(result.Detail.c_str());
        setup.ArtList.Sort();
        benchmark::DoNotOptimize(setup.ArtList.Count());
    }
}
BENCHMARK(BM_ImportArticles)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolver

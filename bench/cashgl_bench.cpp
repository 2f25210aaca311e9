// A full spooler setup (8 tax rates, 16 departments, 8000 articles, 15 cashiers,
// header and footer lines) exchanged as a variant array, as a flat buffer and
// through the registry store.
#include <benchmark/benchmark.h>

#include "common/cashgl.h"
#include "common/variantstobuf.h"
#include "platform/registry/temp_registry.h"

using namespace tolver;

namespace {

void Fill(TSpoolerSetup& s) {
    s.DriverSetup.ComNumber = 1;
    s.DriverSetup.Baud = 9600;
    s.DriverSetup.CashDriverProperties->AutoObjectName = "Dalvern.RegFisc2160CashDriverAuto";
    s.DriverSetup.PropertiesData = VarArray({VarArray({2, "Dalvern.RegFisc2160CashDriverAuto", "/opt/Dalvern.csh"}), 3, 5, 30, false});
    s.DriverSetup.AdvPropertiesData = VarArray({"1234567890", "0987654321", true, false, false});
    for (int i = 1; i <= 8; ++i) {
        auto* t = static_cast<TCashTaxProperties*>(s.TaxList.CreateItem(i));
        t->Description = "Ставка НДС  " + std::to_string(i);
        t->Value = Currency::FromUnits(20);
    }
    for (int i = 1; i <= 16; ++i) {
        auto* d = static_cast<TCashDepProperties*>(s.DepList.CreateItem(i));
        d->Description = "Отдел " + std::to_string(i);
        d->NTax = i % 8 + 1;
    }
    for (int i = 1; i <= 8000; ++i) {
        auto* a = static_cast<TCashArtProperties*>(s.ArtList.CreateItem(i));
        a->Description = "Артикул " + std::to_string(i);
        a->NDep = i % 16 + 1;
        a->NTax = i % 8 + 1;
        a->Price = Currency::FromRaw(12345 + i);
        a->TotalCount = Currency::FromRaw(1000 * i);
        a->Return = i % 50 == 0;
    }
    for (int i = 1; i <= 15; ++i) {
        auto* o = static_cast<TCashOpProperties*>(s.OpList.CreateItem(i));
        o->Description = "Кассир " + std::to_string(i);
        o->Password = "5173";
    }
    s.BeginMsg = {"ООО \"Норвейл\"", "г. Киев, ул. Крещатик, 1", "Добро пожаловать", "", "Касса 1"};
    s.FinalMsg = {"Спасибо за покупку", "Приходите еще", "", "", "www"};
    s.AutoXReportsBefore = "0;2;";
    s.AutoZReportsAfter = "0;";
}

const TSpoolerSetup& Setup() {
    static TSpoolerSetup s;
    static const bool filled = (Fill(s), true);
    (void)filled;
    return s;
}

void BM_VariantRoundTrip(benchmark::State& state) {
    TSpoolerSetup back;
    for (auto _ : state) {
        back.SetFromVariant(Setup().GetAsVariant());
        benchmark::DoNotOptimize(back.ArtList.Count());
    }
}

void BM_BufferRoundTrip(benchmark::State& state) {
    TSpoolerSetup back;
    std::size_t size = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t> bytes = VariantToBuf(Setup().GetAsVariant());
        Variant v;
        BufToVariant(v, bytes);
        back.SetFromVariant(v);
        size = bytes.size();
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_RegistrySaveAndLoad(benchmark::State& state) {
    TempRegistry temp;
    TSpoolerSetup live, back;
    live.Assign(Setup());
    live.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);  // the former content a save replaces
    for (auto _ : state) {
        live.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        back.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    }
    if (back.ArtList.Count() != 8000) state.SkipWithError("load failed");
}

void BM_RegistrySave(benchmark::State& state) {
    TempRegistry temp;
    TSpoolerSetup live;
    live.Assign(Setup());
    live.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    for (auto _ : state) live.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
}

void BM_RegistryLoad(benchmark::State& state) {
    TempRegistry temp;
    TSpoolerSetup live, back;
    live.Assign(Setup());
    live.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    for (auto _ : state) back.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
}

}  // namespace

BENCHMARK(BM_VariantRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BufferRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegistrySaveAndLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegistrySave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegistryLoad)->Unit(benchmark::kMillisecond);

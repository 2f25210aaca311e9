// The automation runtime's call paths: an early-bound call through the vtable, a
// late-bound call by name (GetIDsOfNames and Invoke with argument conversion) and an
// event raised on a connection point and delivered to a client's sink.

#include <benchmark/benchmark.h>

#include "bench/automation_bench_objects.h"

using namespace tolver;
using namespace tolver::bench;

namespace {

void BM_EarlyBoundCall(benchmark::State& state) {
    ComPtr<IBenchAuto> driver = ComPtr<IBenchAuto>::Query(MakeBenchAuto().get());
    const Currency sum = Currency::FromUnits(12);
    for (auto _ : state) {
        std::int32_t id = 0;
        benchmark::DoNotOptimize(driver->AddPayArt(2.0, sum, sum, 5, &id));
        benchmark::DoNotOptimize(id);
    }
}
BENCHMARK(BM_EarlyBoundCall);

void BM_LateBoundCallByName(benchmark::State& state) {
    ComPtr<IDispatch> disp = ComPtr<IDispatch>::Query(MakeBenchAuto().get());
    const std::string name = "AddPayArt";
    Variant args[] = {2.0, Currency::FromUnits(10), Currency::FromUnits(12), 5};
    for (auto _ : state) {
        DISPID id = 0;
        disp->GetIDsOfNames(GUID_NULL, &name, 1, 0, &id);
        DispParams params{args, 4, nullptr, 0};
        Variant result;
        benchmark::DoNotOptimize(disp->Invoke(id, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_LateBoundCallByName);

void BM_EventToSink(benchmark::State& state) {
    ComPtr<IUnknown> object = MakeBenchAuto();
    std::int64_t total = 0;
    ComPtr<IUnknown> sink = MakeBenchSink(total);
    std::uint32_t cookie = 0;
    if (FAILED(InterfaceConnect(object.get(), IID_IBenchEvents, sink.get(), &cookie))) {
        state.SkipWithError("no connection");
        return;
    }
    std::int32_t n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(RaiseBenchEvent(object.get(), ++n));
    if (total == 0) state.SkipWithError("no event arrived");
}
BENCHMARK(BM_EventToSink);

}  // namespace

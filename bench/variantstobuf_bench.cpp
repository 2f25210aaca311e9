// Encoding and decoding of a nested array of about 100 000 mixed elements, beside a
// plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "common/variantstobuf.h"

using namespace tolver;

namespace {

Variant MixedArray() {
    // 1000 rows of 100 elements: numbers, texts, currency and a small nested array.
    std::vector<Variant> rows;
    for (int r = 0; r < 1000; ++r) {
        std::vector<Variant> row;
        for (int i = 0; i < 100; ++i) {
            switch (i % 6) {
                case 0: row.emplace_back(r * 100 + i); break;
                case 1: row.emplace_back(r * 0.25 + i); break;
                case 2: row.emplace_back("Товар " + std::to_string(i)); break;
                case 3: row.emplace_back(Currency::FromRaw(r * 12345 + i)); break;
                case 4: row.emplace_back(i % 4 == 0); break;
                default: row.emplace_back(VarArray({i, "x"}));
            }
        }
        rows.emplace_back(SafeArray::Of(std::move(row)));
    }
    return Variant(SafeArray::Of(std::move(rows)));
}

const Variant& Value() {
    static const Variant v = MixedArray();
    return v;
}

void BM_Encode(benchmark::State& state) {
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        out.clear();
        VariantToBuf(Value(), out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

void BM_Decode(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = VariantToBuf(Value());
    for (auto _ : state) {
        Variant v;
        BufToVariant(v, bytes.data(), bytes.size());
        benchmark::DoNotOptimize(v);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_MemcpySameBytes(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = VariantToBuf(Value());
    std::vector<std::uint8_t> copy(bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

}  // namespace

BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMicrosecond);

// libFuzzer target for the variant buffer decoder: no crash, no sanitizer report, and
// every value it decodes is written back as exactly the bytes it consumed (8-bit
// strings excepted, which come back as wide strings; their value must survive).
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/variantstobuf.h"
#include "platform/testing/fuzz_seeds.h"

using namespace tolver;

// With TOLVER_WRITE_SEEDS=<folder>, writes the seed corpus of valid encodings and exits.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::getenv("TOLVER_WRITE_SEEDS")) return 0;
    SafeArray two({{2, 1}, {2, 0}});
    two.at({1, 0}) = "ab";
    two.at({2, 1}) = Currency::FromRaw(-5);
    const Variant seeds[] = {
        Variant(), Variant::Null(), Variant(std::int16_t{-3}), Variant(70000), Variant(1.5f), Variant(-2.25),
        Variant(Currency::FromRaw(15000)), Variant::Date(45356.5), Variant("текст"), Variant::Error(7),
        Variant(true), Variant(std::uint8_t{9}), Variant::Ansi("abc"), VarArray({5, "ab"}), Variant(two),
        VarArray({VarArray({1, VarArray({2.5, false})}), Variant(SafeArray::Vector(3, 2)), ""}),
        VarArray({1, "Sorbel.CashDriverAuto", VarArray({Variant(std::uint8_t{1}), 9600, true})}),
    };
    std::vector<std::string> encoded;
    for (const Variant& v : seeds) {
        const auto bytes = VariantToBuf(v);
        encoded.emplace_back(bytes.begin(), bytes.end());
    }
    std::vector<std::string_view> views(encoded.begin(), encoded.end());
    testutil::WriteSeedsIfAsked(views);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Variant v;
    bool ansi = false;
    std::size_t used;
    try {
        used = BufToVariant(v, data, size, &ansi);
    } catch (const Exception&) {
        return 0;
    }
    if (used > size) std::abort();
    const std::vector<std::uint8_t> again = VariantToBuf(v);
    if (!ansi) {
        if (again.size() != used || std::memcmp(again.data(), data, used) != 0) std::abort();
    } else {
        Variant w;
        if (BufToVariant(w, again.data(), again.size()) != again.size()) std::abort();
        if (VariantToBuf(w) != again) std::abort();
    }
    return 0;
}

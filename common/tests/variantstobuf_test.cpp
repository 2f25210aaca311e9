#include <gtest/gtest.h>

#include <cstring>

#include "common/variantstobuf.h"

using namespace tolver;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const char* hex) {
    Bytes out;
    for (const char* p = hex; *p;) {
        if (*p == ' ' || *p == ',') {
            ++p;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::strtoul(std::string(p, 2).c_str(), nullptr, 16)));
        p += 2;
    }
    return out;
}

Variant Decode(const Bytes& b, std::size_t* used = nullptr) {
    Variant v;
    const std::size_t n = BufToVariant(v, b.data(), b.size());
    if (used) *used = n;
    return v;
}

struct ByteCase {
    const char* name;
    Variant value;
    const char* bytes;
};

// Each value, its exact bytes, and the value it decodes to (itself unless noted).
TEST(VariantToBuf, ByteLayout) {
    SafeArray two({{2, 0}, {3, 0}});  // [0..1, 0..2]
    for (int i = 0; i < 6; ++i) two.elements()[i] = Variant(std::uint8_t(i));
    const ByteCase cases[] = {
        {"empty", Variant(), "00 00"},
        {"null", Variant::Null(), "01 00"},
        {"i2", Variant(std::int16_t{-2}), "02 00 FE FF"},
        {"i4", Variant(5), "03 00 05 00 00 00"},
        {"r4", Variant(1.0f), "04 00 00 00 80 3F"},
        {"r8", Variant(12.5), "05 00 00 00 00 00 00 00 29 40"},
        {"currency 1.5", Variant(Currency::Parse("1.5")), "06 00 98 3A 00 00 00 00 00 00"},
        {"date", Variant::Date(2.0), "07 00 00 00 00 00 00 00 00 40"},
        {"wide", Variant("ab"), "08 00 61 00 62 00 00 00"},
        {"wide empty", Variant(""), "08 00 00 00"},
        {"wide cyrillic", Variant("Ж"), "08 00 16 04 00 00"},
        {"error", Variant::Error(-2147352572), "0A 00 04 00 02 80"},
        {"true", Variant(true), "0B 00 FF FF"},
        {"false", Variant(false), "0B 00 00 00"},
        {"byte", Variant(std::uint8_t{0xAB}), "11 00 AB"},
        {"example", VarArray({5, "ab"}), "0C 20 01 00 00 00 02 00 00 00 00 00 00 00 03 00 05 00 00 00 08 00 61 00 62 00 00 00"},
        {"lower bound 1", Variant(SafeArray::Vector(1, 1)), "0C 20 01 00 00 00 01 00 00 00 01 00 00 00 00 00"},
        {"empty array", Variant(SafeArray::Vector(0, -1)), "0C 20 01 00 00 00 00 00 00 00 00 00 00 00"},
        {"empty second dimension", Variant(SafeArray({{1000, 0}, {0, 0}})),
         "0C 20 02 00 00 00 00 00 00 00 00 00 00 00 E8 03 00 00 00 00 00 00"},
        {"two dimensions", Variant(two),
         "0C 20 02 00 00 00 03 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00"
         " 11 00 00 11 00 01 11 00 02 11 00 03 11 00 04 11 00 05"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes expected = Hex(c.bytes);
        EXPECT_EQ(VariantToBuf(c.value), expected);
        std::size_t used = 0;
        EXPECT_EQ(Decode(expected, &used), c.value);
        EXPECT_EQ(used, expected.size());
    }
    // Element [1,0] comes second: the first index varies fastest.
    EXPECT_EQ(two.at({1, 0}), Variant(std::uint8_t{1}));
    EXPECT_EQ(two.at({0, 1}), Variant(std::uint8_t{2}));
}

TEST(VariantToBuf, AnsiStringComesBackWide) {
    const Bytes abc = Hex("00 01 61 62 63 00");
    EXPECT_EQ(VariantToBuf(Variant::Ansi("abc")), abc);
    EXPECT_EQ(VariantToBuf(Variant::Ansi("")), Hex("00 01 00"));
    EXPECT_EQ(VariantToBuf(Variant::Ansi("Я")), Hex("00 01 DF 00"));
    std::size_t used = 0;
    bool ansi = false;
    Variant v;
    used = BufToVariant(v, abc.data(), abc.size(), &ansi);
    EXPECT_EQ(v.type(), VT_BSTR);
    EXPECT_EQ(v.rawString(), "abc");
    EXPECT_EQ(used, 6u);
    EXPECT_TRUE(ansi);
}

TEST(VariantToBuf, StringsStopAtTheFirstZero) {
    EXPECT_EQ(VariantToBuf(Variant(std::string("a\0b", 3))), Hex("08 00 61 00 00 00"));
    EXPECT_EQ(VariantToBuf(Variant::Ansi(std::string("a\0b", 3))), Hex("00 01 61 00"));
}

TEST(VariantToBuf, NestedArraysKeepTheirBounds) {
    SafeArray inner = SafeArray::Vector(-2, 0);
    inner[-2] = Currency::Parse("0.0001");
    inner[0] = Variant::Null();
    SafeArray outer = SafeArray::Vector(1, 3);
    outer[1] = Variant(inner);
    outer[2] = "текст";
    outer[3] = VarArray({});
    const Variant v(outer);
    const Bytes b = VariantToBuf(v);
    const Variant back = Decode(b);
    EXPECT_EQ(back, v);
    EXPECT_EQ(back.array().lbound(), 1);
    EXPECT_EQ(back.array()[1].array().lbound(), -2);
}

TEST(VariantToBuf, AppendsToTheBuffer) {
    Bytes out = {0xEE};
    EXPECT_EQ(VariantToBuf(Variant(5), out), 6u);
    EXPECT_EQ(out.size(), 7u);
    EXPECT_EQ(out[0], 0xEE);
}

TEST(VariantToBuf, InterfacesRaiseInvalidCast) {
    for (const Variant& v : {Variant::Dispatch(nullptr), Variant::Unknown(nullptr), VarArray({1, Variant::Dispatch(nullptr)})}) {
        Bytes out = {1, 2};
        try {
            VariantToBuf(v, out);
            ADD_FAILURE() << "no error";
        } catch (const EInvalidCast& e) {
            EXPECT_STREQ(e.what(), "1");
        }
        EXPECT_EQ(out, (Bytes{1, 2}));  // nothing half written
    }
    for (const char* tag : {"09 00", "0D 00", "00 40"}) {
        SCOPED_TRACE(tag);
        try {
            Decode(Hex(tag));
            ADD_FAILURE() << "no error";
        } catch (const EInvalidCast& e) {
            EXPECT_STREQ(e.what(), "1");
        }
    }
}

// Malformed input: a clear error, never a read past the end or a huge allocation.
TEST(BufToVariant, RejectsMalformedBuffers) {
    const struct {
        const char* name;
        const char* bytes;
    } cases[] = {
        {"nothing", ""},
        {"half a tag", "03"},
        {"short integer", "03 00 05 00"},
        {"short double", "05 00 00 00 00 00 00 00 29"},
        {"unterminated wide string", "08 00 61 00 62 00"},
        {"odd wide string", "08 00 61 00 62"},
        {"unterminated 8-bit string", "00 01 61 62"},
        {"zero dimensions", "0C 20 00 00 00 00"},
        {"65 dimensions", "0C 20 41 00 00 00"},
        {"short bound pairs", "0C 20 02 00 00 00 01 00 00 00 00 00 00 00"},
        {"count beyond the bytes", "0C 20 01 00 00 00 FF FF FF FF 00 00 00 00 00 00"},
        {"dimension product overflow",
         "0C 20 02 00 00 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 00 00"},
        {"element missing", "0C 20 01 00 00 00 02 00 00 00 00 00 00 00 00 00"},
        {"array of integers", "03 20 01 00 00 00 00 00 00 00 00 00 00 00"},
        {"array of bytes", "11 20 01 00 00 00 00 00 00 00 00 00 00 00"},
        {"unknown tag", "14 00 00 00 00 00 00 00 00 00"},
        {"by-reference integer", "03 40 00 00 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes b = Hex(c.bytes);
        Variant v(7);
        EXPECT_THROW(BufToVariant(v, b.data(), b.size()), EBufferError);
        EXPECT_TRUE(v.isEmpty());
    }
}

TEST(BufToVariant, NestedClaimsShareOneBudget) {
    // An array announcing 1000 elements whose first element announces as many again:
    // the inner claim cannot use bytes that the outer elements still need.
    Bytes b = Hex("0C 20 01 00 00 00 E8 03 00 00 00 00 00 00 0C 20 01 00 00 00 E8 03 00 00 00 00 00 00");
    b.resize(b.size() + 2000, 0);
    Variant v;
    EXPECT_THROW(BufToVariant(v, b.data(), b.size()), EBufferError);
}

TEST(BufToVariant, LimitsNesting) {
    Variant deep(1);
    for (int i = 0; i <= kMaxVariantNesting; ++i) deep = VarArray({deep});
    EXPECT_THROW(VariantToBuf(deep), EBufferError);
    Bytes b;
    for (int i = 0; i < kMaxVariantNesting + 1; ++i) {
        const Bytes head = Hex("0C 20 01 00 00 00 01 00 00 00 00 00 00 00");
        b.insert(b.end(), head.begin(), head.end());
    }
    b.resize(b.size() + 2, 0);
    Variant v;
    EXPECT_THROW(BufToVariant(v, b.data(), b.size()), EBufferError);
}

TEST(BufToVariant, ConsumesOneValueOnly) {
    Bytes b = VariantToBuf(Variant(5));
    b.push_back(0x99);
    std::size_t used = 0;
    EXPECT_EQ(Decode(b, &used), Variant(5));
    EXPECT_EQ(used, 6u);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/variant/codepage.h"
#include "platform/variant/utf.h"
#include "platform/variant/variant.h"

using namespace tolver;

namespace {

Currency Cy(const char* s) { return Currency::Parse(s); }

TEST(Currency, ParsesAndFormatsExactly) {
    struct Case {
        const char* text;
        std::int64_t raw;
        const char* shortest;
    } cases[] = {
        {"0", 0, "0"},
        {"12.5", 125000, "12.5"},
        {"12,5", 125000, "12.5"},
        {" -0.0001 ", -1, "-0.0001"},
        {"+3", 30000, "3"},
        {"1.00005", 10000, "1"},       // half to even: down
        {"1.00015", 10002, "1.0002"},  // half to even: up
        {"1.000051", 10001, "1.0001"},
        {"922337203685477.5807", std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
        {"-922337203685477.5808", std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
        {"1e3", 10000000, "1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Currency v = Currency::Parse(c.text);
        EXPECT_EQ(v.raw(), c.raw);
        EXPECT_EQ(v.ToString(), c.shortest);
    }
    for (const char* bad : {"", " ", "abc", "1.2.3", "-", "922337203685477.5808", "1..2", "0x10"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(Currency::Parse(bad), EVariantError);
    }
}

TEST(Currency, FormatsToFixedPlaces) {
    EXPECT_EQ(Cy("1.005").Format(2), "1.01");
    EXPECT_EQ(Cy("-1.005").Format(2), "-1.01");
    EXPECT_EQ(Cy("12").Format(2), "12.00");
    EXPECT_EQ(Cy("0.4999").Format(0), "0");
    EXPECT_EQ(Cy("-0.0001").Format(2), "0.00");
    EXPECT_EQ(Cy("7.1234").Format(4), "7.1234");
}

TEST(Currency, FromDoubleRoundsAndChecksRange) {
    EXPECT_EQ(Currency::FromDouble(12.5).raw(), 125000);
    EXPECT_EQ(Currency::FromDouble(1.23456).raw(), 12346);
    EXPECT_EQ(Currency::FromDouble(-0.000049).raw(), 0);
    EXPECT_THROW(Currency::FromDouble(1e15), EVariantError);
    EXPECT_THROW(Currency::FromDouble(NAN), EVariantError);
    EXPECT_THROW(Currency::FromUnits(std::numeric_limits<std::int64_t>::max()), EVariantError);
}

// The conversion table of variant.h, row by row.
TEST(Variant, ConversionTable) {
    struct Row {
        Variant v;
        std::int32_t i;
        double d;
        const char* cy;
        bool b;
        const char* s;
    } rows[] = {
        {Variant(), 0, 0, "0", false, ""},
        {Variant(std::int16_t{-7}), -7, -7, "-7", true, "-7"},
        {Variant(42), 42, 42, "42", true, "42"},
        {Variant(std::uint8_t{200}), 200, 200, "200", true, "200"},
        {Variant(2.5), 2, 2.5, "2.5", true, "2.5"},
        {Variant(3.5), 4, 3.5, "3.5", true, "3.5"},
        {Variant(-2.5f), -2, -2.5, "-2.5", true, "-2.5"},
        {Variant(0.1), 0, 0.1, "0.1", true, "0.1"},
        {Variant(Cy("2.5")), 2, 2.5, "2.5", true, "2.5"},
        {Variant(Cy("-3.5")), -4, -3.5, "-3.5", true, "-3.5"},
        {Variant(true), -1, -1, "-1", true, "True"},
        {Variant(false), 0, 0, "0", false, "False"},
        {Variant(" 12,5 "), 12, 12.5, "12.5", true, " 12,5 "},
        {Variant("1e2"), 100, 100, "100", true, "1e2"},
        {Variant::Ansi("7"), 7, 7, "7", true, "7"},
        {Variant::Date(45356.5), 45356, 45356.5, "45356.5", true, "05.03.2024 12:00:00"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.s);
        EXPECT_EQ(r.v.toInt32(), r.i);
        EXPECT_DOUBLE_EQ(r.v.toDouble(), r.d);
        EXPECT_EQ(r.v.toCurrency(), Cy(r.cy));
        EXPECT_EQ(r.v.toBool(), r.b);
        EXPECT_EQ(r.v.toString(), r.s);
    }
    EXPECT_TRUE(Variant("TRUE").toBool());
    EXPECT_FALSE(Variant("false").toBool());
    EXPECT_EQ(Variant(true).toUInt8(), 255);
}

TEST(Variant, FailedConversionsRaise) {
    const Variant failing[] = {Variant::Null(), Variant::Error(5), VarArray({1}), Variant::Dispatch(nullptr)};
    for (const auto& v : failing) {
        EXPECT_THROW(v.toInt32(), EVariantError);
        EXPECT_THROW(v.toDouble(), EVariantError);
        EXPECT_THROW(v.toCurrency(), EVariantError);
        EXPECT_THROW(v.toBool(), EVariantError);
        EXPECT_THROW(v.toString(), EVariantError);
    }
    for (const char* bad : {"", "abc", "1,2,3", "inf", "nan", "0x1A", "1e999"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(Variant(bad).toInt32(), EVariantError);
        EXPECT_THROW(Variant(bad).toDouble(), EVariantError);
    }
    EXPECT_THROW(Variant("yes").toBool(), EVariantError);
    EXPECT_THROW(Variant(2147483648.0).toInt32(), EVariantError);
    EXPECT_THROW(Variant(40000).toInt16(), EVariantError);
    EXPECT_THROW(Variant(-1).toUInt8(), EVariantError);
    EXPECT_THROW(Variant(NAN).toInt32(), EVariantError);
    EXPECT_THROW(Variant(1e300).toCurrency(), EVariantError);
    EXPECT_EQ(Variant(2147483647.4).toInt32(), 2147483647);
}

TEST(Variant, FloatTextUsesFifteenDigits) {
    EXPECT_EQ(FloatToText(1e21), "1E+21");
    EXPECT_EQ(FloatToText(1.5e-7), "1.5E-07");
    EXPECT_EQ(FloatToText(-0.0), "0");
    EXPECT_EQ(FloatToText(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FloatToText(123456789012345678.0), "1.23456789012346E+17");
}

TEST(Variant, DatesCountFrom18991230) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(2024, 3, 5), 45356);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
    int y, m, d, h, n, s, ms;
    DecodeDate(45356.75, y, m, d);
    DecodeTime(45356.75, h, n, s, ms);
    EXPECT_EQ((std::vector{y, m, d, h, n, s, ms}), (std::vector{2024, 3, 5, 18, 0, 0, 0}));
    EXPECT_THROW(EncodeDate(2023, 2, 29), EVariantError);
    EXPECT_DOUBLE_EQ(Variant("05.03.2024 12:00").toDate(), 45356.5);
    EXPECT_DOUBLE_EQ(Variant("2024-03-05").toDate(), 45356);
    EXPECT_EQ(Variant::Date(0.25).toString(), "06:00:00");
    EXPECT_THROW(Variant("31.02.2024").toDate(), EVariantError);
}

TEST(SafeArray, BoundsIndexingAndValueSemantics) {
    SafeArray a({{2, 0}, {3, 1}});  // [0..1, 1..3]
    EXPECT_EQ(a.size(), 6u);
    a.at({1, 1}) = 5;
    EXPECT_EQ(a.elements()[1], Variant(5));  // first index fastest
    a.at({0, 3}) = "x";
    EXPECT_EQ(a.elements()[4], Variant("x"));
    EXPECT_THROW(a.at({2, 1}), EVariantError);
    EXPECT_THROW(a.at({0, 0}), EVariantError);
    EXPECT_THROW(a.at({0}), EVariantError);
    EXPECT_EQ(a.ubound(1), 3);
    EXPECT_THROW(a.lbound(2), EVariantError);
    EXPECT_THROW(SafeArray(std::vector<SafeArrayBound>(65, {1, 0})), EVariantError);
    EXPECT_THROW(SafeArray(std::vector<SafeArrayBound>{}), EVariantError);

    Variant v(a);
    Variant copy = v;
    copy.array().at({1, 1}) = 6;
    EXPECT_EQ(v.array().at({1, 1}), Variant(5));
    EXPECT_FALSE(copy == v);
    EXPECT_THROW(Variant(1).array(), EVariantError);

    const SafeArray e = SafeArray::Vector(1, 0);
    EXPECT_EQ(e.size(), 0u);
    EXPECT_EQ(e.lbound(), 1);
    EXPECT_EQ(e.ubound(), 0);
}

struct CountedObject : IUnknown {
    int refs = 1;
    HRESULT QueryInterface(const GUID&, void**) override { return -1; }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
};

TEST(Variant, HoldsCountedInterfaceReferences) {
    CountedObject obj;
    {
        Variant v = Variant::Dispatch(&obj);
        Variant w = v;
        EXPECT_EQ(obj.refs, 3);
        EXPECT_EQ(w.rawInterface(), &obj);
        w = Variant(1);
        EXPECT_EQ(obj.refs, 2);
    }
    EXPECT_EQ(obj.refs, 1);
}

TEST(CodePage1251, AllBytesRoundTrip) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
    }
    EXPECT_EQ(Cp1251ToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2"), "Привет");
    EXPECT_EQ(Utf8ToCp1251("Ёё№€"), "\xA8\xB8\xB9\x88");
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD" "b"), "a?b");  // a character the page lacks
}

TEST(Utf, SurrogatesAndCharacterCounts) {
    const std::u16string lone = {u'a', 0xD800, u'b'};
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(lone)), lone);
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToUtf16("\xFF" "a"), u"\uFFFDa");
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");  // truncated sequence
    EXPECT_EQ(Utf8Length("Чек 1"), 5u);
    EXPECT_EQ(Utf8Left("Чек 1", 2), "Че");
    EXPECT_EQ(Utf8Mid("Чек 1", 1, 2), "ек");
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "drivers/sorbel/engine/samser350fkeys.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "platform/serial/fakeport.h"
#include "platform/variant/codepage.h"

using namespace tolver;

namespace {

std::uint8_t Ansi(const char* utf8) { return static_cast<std::uint8_t>(Utf8ToCp1251(utf8)[0]); }

TEST(CharacterSet, AllCodesBothWays) {
    // The register's set: ASCII, then "А".."я", then Ё ё Є є Ї ї.
    std::vector<int> toDevice(256, ' ');
    for (int c = 32; c < 128; ++c) toDevice[c] = c;
    for (int c = Ansi("А"); c <= Ansi("я"); ++c) toDevice[c] = 0x80 + (c - Ansi("А"));
    const char* extra[] = {"Ё", "ё", "Є", "є", "Ї", "ї"};
    for (int i = 0; i < 6; ++i) toDevice[Ansi(extra[i])] = 0xC0 + i;
    toDevice[Ansi("І")] = 'I';
    toDevice[Ansi("і")] = 'i';
    for (int c = 0; c < 256; ++c) EXPECT_EQ(AnsiToDevice(static_cast<std::uint8_t>(c)), toDevice[c]) << c;

    std::vector<int> toAnsi(256, ' ');
    for (int c = 0; c < 128; ++c) toAnsi[c] = c;
    for (int c = 32; c < 256; ++c)
        if (toDevice[c] >= 0x80 && c != Ansi("І") && c != Ansi("і")) toAnsi[toDevice[c]] = c;
    for (int d = 0; d < 256; ++d) EXPECT_EQ(DeviceToAnsi(static_cast<std::uint8_t>(d)), toAnsi[d]) << d;

    EXPECT_EQ(AnsiToDevice('\n'), ' ');
    EXPECT_EQ(AnsiToDevice('\t'), ' ');
    EXPECT_EQ(DeviceToAnsi(0xE0), ' ');  // an error byte shows as a space
    EXPECT_EQ(DeviceToAnsi(0x0A), '\n');
}

TEST(CharacterSet, ProtocolBytes) {
    const int answers[] = {0x20, 0x40, 0x80, 0x08, 0x04};
    for (int pos = 1; pos <= 5; ++pos) EXPECT_EQ(SamsDecodeKeyPos(answers[pos - 1]), pos);
    for (const int other : {0x00, 0x02, 0x21, 0xE0, 0xFF}) EXPECT_EQ(SamsDecodeKeyPos(other), 0);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(SamsIsErrorByte(b), b >= 0xE0 && b <= 0xE9 && b != 0xE2) << b;
    EXPECT_STREQ(SamsErrorText(0xE2), "");
    EXPECT_STREQ(SamsKeyPosName(1), "P");
    EXPECT_STREQ(SamsKeyPosName(6), SamsKeyPosName(0));
}

TEST(KeyCodes, DigitsAndDepartments) {
    const int keys[18] = {17, 18, 19, 23, 22, 21, 33, 34, 39, 35, 55, 51, 50, 49, 71, 67, 66, 65};
    for (int v = 0; v < 18; ++v) {
        EXPECT_EQ(KeyOfDigit(v), keys[v]);
        EXPECT_EQ(DigitOfKey(keys[v]), v);
    }
    for (const int other : {-1, 18, 100}) EXPECT_EQ(KeyOfDigit(other), 0);
    EXPECT_EQ(DigitOfKey(7), -1);
}

class Entry : public ::testing::Test {
protected:
    Entry() { Clear(); }
    std::vector<int> Keys() {
        std::vector<int> k;
        for (const TCommand& c : engine->Queue()) k.push_back(c.Code);
        return k;
    }
    // A fresh engine with an empty queue.
    void Clear() { engine = std::make_unique<TSamsER350FProtocol>(std::make_unique<TFakePort>(), clock, false); }
    TFakeClock clock;
    std::unique_ptr<TSamsER350FProtocol> engine;
};

TEST_F(Entry, NumbersAndFractions) {
    const struct {
        std::int64_t value;
        int width;
        std::vector<int> keys;  // empty: refused
    } numbers[] = {
        {7, 4, {17, 17, 17, 34}},
        {7, 0, {34}},
        {12345, 3, {18, 19, 23, 22, 21}},  // not cut
        {0, 0, {17}},
        {2147483647, 0, {19, 18, 22, 34, 22, 39, 23, 33, 22, 34}},
        {-5, 0, {}},          // no "-" key
        {2147483648LL, 0, {}},  // does not fit 32 bits
        {7, -4, {}},          // would pad on the right, keying 7000
        {7, 21, {}},
    };
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.value);
        Clear();
        EXPECT_EQ(EnterNumber(*engine, n.value, n.width, kSamsKeyPosProgram, kSamsKindPrint, "t", 1), n.keys.empty() ? -1 : 0);
        EXPECT_EQ(Keys(), n.keys);
    }
    Clear();
    EnterNumber(*engine, 42, 0, kSamsKeyPosProgram, kSamsKindPrint, "t", 1);
    for (const TCommand& c : engine->Queue()) {
        EXPECT_EQ(c.KeyPos, kSamsKeyPosProgram);
        EXPECT_EQ(c.Kind, kSamsKindPrint);
        EXPECT_EQ(c.Text, "t");
        EXPECT_EQ(c.Flags, 1);  // every key of the number
        EXPECT_EQ(c.ID, 0);
    }

    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        int width, decimals;
        double value;
        std::vector<int> keys;
    } fractions[] = {
        {0, 3, 1.5, {18, 38, 21, 17, 17}},
        {5, 3, 2.5, {19, 38, 21, 17, 17}},
        {6, 1, 2.25, {17, 17, 17, 19, 38, 19}},  // half to even as the binary value is
        {0, 0, 3.0, {23}},
        {0, 3, -0.0, {17, 38, 17, 17, 17}},
        {0, 3, -1.5, {}},
        {0, 3, std::nan(""), {}},
        {0, 3, inf, {}},
        {0, 3, 1e20, {}},
        {0, 10, 1.0, {}},
        {-5, 3, 1.0, {}},
    };
    for (const auto& f : fractions) {
        SCOPED_TRACE(f.value);
        Clear();
        EXPECT_EQ(EnterFraction(*engine, f.width, f.decimals, f.value, kSamsKeyPosP, kSamsKindShort, "", 0), f.keys.empty() ? -1 : 0);
        EXPECT_EQ(Keys(), f.keys);
    }
}

TEST(Amounts, CurrencyToUnits) {
    const struct {
        const char* amount;
        int digits;
        std::optional<std::int32_t> units;
    } cases[] = {
        {"12.34", 2, 1234},      {"0.005", 2, 0},        {"12.99", 0, 12},       {"-1.509", 2, -150},
        {"1.2345", 4, 12345},    {"21474836.47", 2, 2147483647}, {"21474836.48", 2, std::nullopt},
        {"-21474836.49", 2, std::nullopt}, {"1", 5, std::nullopt}, {"1", -1, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.amount);
        EXPECT_EQ(CurrencyToUnits(Currency::Parse(c.amount), c.digits), c.units);
    }
}

TEST_F(Entry, HexText) {
    EnterHexChar(*engine, Ansi("А"), kSamsKeyPosZ, kSamsKindShort, "", 1);
    EXPECT_EQ(Keys(), (std::vector<int>{39, 17}));  // 0x80: 8, 0
    Clear();
    EnterHexText(*engine, "Z\nї", kSamsKeyPosZ, kSamsKindShort, "", 0);
    // 0x5A: 5 and department 1; a line feed is a space, 0x20; "ї" is 0xC5
    EXPECT_EQ(Keys(), (std::vector<int>{21, 55, 19, 17, 50, 21}));
    Clear();
    EnterHexText(*engine, "中", kSamsKeyPosZ, kSamsKindShort, "", 0);  // not in the code page: "?" (0x3F)
    EXPECT_EQ(Keys(), (std::vector<int>{23, 67}));
}

TEST(Passwords, OnlyDecimalDigits) {
    EXPECT_EQ(ParseDecimalDigits("1234"), 1234);
    EXPECT_EQ(ParseDecimalDigits("0012"), 12);
    EXPECT_EQ(ParseDecimalDigits("2147483647"), 2147483647);
    for (const char* bad : {"", "+1", "-1", " 1", "1 ", "12a", "$1F", "0x1F", "1e3", "2147483648", "99999999999"})
        EXPECT_EQ(ParseDecimalDigits(bad), std::nullopt) << bad;
}

}  // namespace

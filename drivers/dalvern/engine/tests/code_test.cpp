// The device character set against Windows-1251, both ways.
#include <gtest/gtest.h>

#include "drivers/dalvern/engine/regfisc2160code.h"
#include "platform/variant/codepage.h"

using namespace tolver;

namespace {

std::string Win(const char* utf8) { return Utf8ToCp1251(utf8); }

TEST(Fisc2160Code, LettersBothWays) {
    // Ё л к а
    EXPECT_EQ(WinToDos(Win("Ёлка")), "\xF0\xAB\xAA\xA0");
    EXPECT_EQ(DosToWin("\xF0\xAB\xAA\xA0"), Win("Ёлка"));
    EXPECT_EQ(DosToWin("\xE0\xE1\xE2\xE3\xE4\xE5"), Win("рстуфх"));
    EXPECT_EQ(DosToWin("\xF0\xF1\xF2\xF3\xF4\xF5"), Win("ЁёЄєЇї"));
    // Every Russian letter and the six special ones survive the round trip.
    const std::string all = Win("АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюяЁёЄєЇї");
    EXPECT_EQ(DosToWin(WinToDos(all)), all);
    EXPECT_EQ(WinToDos(Win("Я")), "\x9F");
    EXPECT_EQ(WinToDos(Win("я")), "\xEF");
}

TEST(Fisc2160Code, LatinStandInsAndUnchangedBytes) {
    // І і № go out Latin and stay Latin.
    EXPECT_EQ(WinToDos(Win("№5 Іі")), "N5 Ii");
    EXPECT_EQ(DosToWin("N5 Ii"), "N5 Ii");
    EXPECT_EQ(WinToDos(""), "");
    const std::string plain = "0123456789 ABCxyz[S1]o273920461";
    EXPECT_EQ(WinToDos(plain), plain);
    EXPECT_EQ(DosToWin(plain), plain);
    for (int c = 0; c < 0x80; ++c) {
        EXPECT_EQ(WinCharToDos(static_cast<std::uint8_t>(c)), c);
        EXPECT_EQ(DosCharToWin(static_cast<std::uint8_t>(c)), c);
    }
    // Signs without a device place, and device pseudo-graphics, pass unchanged.
    EXPECT_EQ(WinCharToDos(0xAB), 0xAB);  // «
    EXPECT_EQ(WinCharToDos(0xB0), 0xB0);  // °
    EXPECT_EQ(DosCharToWin(0xB0), 0xB0);
    EXPECT_EQ(DosCharToWin(0xDF), 0xDF);
    EXPECT_EQ(DosCharToWin(0xF6), 0xF6);
    EXPECT_EQ(DosCharToWin(0xFF), 0xFF);
    // Embedded zero bytes keep the length.
    EXPECT_EQ(WinToDos(std::string("a\0b", 3)).size(), 3u);
}

// A client's text: control bytes become blanks, so that no text carries a frame
// delimiter (SOH, STX, ETX, EOT) or an ACK or NAK; every other byte as WinToDos.
TEST(Fisc2160Code, ClientTextsCarryNoControlBytes) {
    std::string every;
    for (int c = 0; c < 256; ++c) every += static_cast<char>(c);
    const std::string out = TextToDos(every);
    ASSERT_EQ(out.size(), 256u);
    for (int c = 0; c < 256; ++c) {
        const std::uint8_t expected = c < 0x20 || c == 0x7F ? ' ' : WinCharToDos(static_cast<std::uint8_t>(c));
        EXPECT_EQ(static_cast<std::uint8_t>(out[static_cast<std::size_t>(c)]), expected) << c;
    }
    EXPECT_EQ(TextToDos(Win("Ёлка\r\n№5")), "\xF0\xAB\xAA\xA0  N5");
}

}  // namespace

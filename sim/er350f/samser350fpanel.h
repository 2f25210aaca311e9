#pragma once
// The simulated register's own side of the line and of its keyboard: the bytes it
// understands besides keys, what it answers about its mode key, the code each of its
// keys sends, its error bytes and its character set. Written from the register's
// side and kept apart from the driver's tables on purpose: a code the driver has
// wrong is then not agreed by the simulator, and the tests see it.

#include <cstdint>
#include <string>

namespace tolver::er350f {

// Bytes from the PC that are no keys (0x07 is the start key unless an error waits).
inline constexpr std::uint8_t kQuery = 0x02;     // "where is the mode key?"
inline constexpr std::uint8_t kAcknowledge = 0x07;
inline constexpr std::uint8_t kIdentify = 0x08;  // the answer is the id, last character first
// A key with an echo is answered with its code + 0x80.
inline constexpr std::uint8_t kEchoBit = 0x80;

// The mode key, as the operator turns it, with its answer to kQuery.
enum class Mode : std::uint8_t { P = 1, X, Z, Program, Service };
struct TModeRow {
    Mode mode;
    const char* name;  // the engraving on the register
    std::uint8_t answer;
};
inline constexpr TModeRow kModes[5] = {
    {Mode::P, "P", 0x20},       {Mode::X, "X", 0x40}, {Mode::Z, "Z", 0x80},
    {Mode::Program, "П", 0x08}, {Mode::Service, "МС", 0x04},
};

// The error bytes the register sends; the fault script accepts no other.
inline bool IsRegisterError(int byte) {
    switch (byte) {
        case 0xE0: case 0xE1: case 0xE3: case 0xE4: case 0xE5: case 0xE6: case 0xE7: case 0xE8: case 0xE9:
            return true;
        default: return false;
    }
}

// The keyboard: what each key code does on the register.
enum class Key : std::uint8_t {
    None,
    Digit,       // value 0..9
    Department,  // value 1..8
    Point,
    Start,       // begins an operation: drops what was keyed
    TextLine,    // the following keys are the characters of a text line
    TextPrint,   // prints the text line just ended
    Separator,   // count x price
    Void,
    CashOut,
    CashIn,
    Cash,
    Check,
    Credit,
    Cashier,
    Article,
    Lock,
    Unlock,
};
struct TKeyRow {
    std::uint8_t code;
    Key key;
    int value;
};
inline constexpr TKeyRow kKeys[] = {
    {17, Key::Digit, 0},      {18, Key::Digit, 1},      {19, Key::Digit, 2},      {23, Key::Digit, 3},
    {22, Key::Digit, 4},      {21, Key::Digit, 5},      {33, Key::Digit, 6},      {34, Key::Digit, 7},
    {39, Key::Digit, 8},      {35, Key::Digit, 9},      {55, Key::Department, 1}, {51, Key::Department, 2},
    {50, Key::Department, 3}, {49, Key::Department, 4}, {71, Key::Department, 5}, {67, Key::Department, 6},
    {66, Key::Department, 7}, {65, Key::Department, 8}, {38, Key::Point, 0},      {7, Key::Start, 0},
    {1, Key::TextLine, 0},    {81, Key::TextPrint, 0},  {86, Key::Separator, 0},  {102, Key::Void, 0},
    {87, Key::CashOut, 0},    {113, Key::CashIn, 0},    {99, Key::Cash, 0},       {118, Key::Check, 0},
    {103, Key::Credit, 0},    {114, Key::Cashier, 0},   {115, Key::Article, 0},   {4, Key::Lock, 0},
    {5, Key::Unlock, 0},
};
// Inside a text line every key is a character, except the digit 2, which ends it.
inline constexpr std::uint8_t kTextEndCode = 19;

inline TKeyRow KeyOf(std::uint8_t code) {
    for (const TKeyRow& k : kKeys)
        if (k.code == code) return k;
    return {code, Key::None, 0};
}
// The code of a key (for a digit or department, of that value); 0 for none.
inline std::uint8_t CodeOf(Key key, int value = 0) {
    for (const TKeyRow& k : kKeys)
        if (k.key == key && k.value == value) return k.code;
    return 0;
}

// The register's character set: 0x20..0x7F as ASCII, 0x80..0xBF the Cyrillic
// capitals and small letters А..я, then Ё ё Є є Ї ї.
inline constexpr char32_t kUpper[6] = {U'Ё', U'ё', U'Є', U'є', U'Ї', U'ї'};

inline char32_t CharOf(std::uint8_t b) {
    if (b >= 0x20 && b <= 0x7F) return b;
    if (b >= 0x80 && b <= 0xBF) return U'А' + (b - 0x80);
    if (b >= 0xC0 && b <= 0xC5) return kUpper[b - 0xC0];
    return U' ';
}
// The register's byte of a character; a space for characters it does not have.
inline std::uint8_t ByteOf(char32_t c) {
    if (c >= 0x20 && c <= 0x7F) return static_cast<std::uint8_t>(c);
    if (c >= U'А' && c <= U'я') return static_cast<std::uint8_t>(0x80 + (c - U'А'));
    for (std::uint8_t i = 0; i < 6; ++i)
        if (kUpper[i] == c) return static_cast<std::uint8_t>(0xC0 + i);
    return 0x20;
}

}  // namespace tolver::er350f

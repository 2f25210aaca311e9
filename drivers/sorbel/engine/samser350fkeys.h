#pragma once
// The fixed vocabulary of the Samsung ER-350F STU: its character set against
// Windows-1251, the protocol bytes, the key codes of digits, departments and the
// other keys the driver presses, and the entry of numbers, fractions, amounts and
// hexadecimal text as key sequences queued on the engine.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/variant/variant.h"

namespace tolver {

class TSamsER350FProtocol;

// Protocol bytes, PC to register.
inline constexpr std::uint8_t kSamsQueryKeyPos = 0x02;  // key-position query, also the link poll
inline constexpr std::uint8_t kSamsAcknowledge = 0x07;  // acknowledges an error byte
inline constexpr std::uint8_t kSamsIdentify = 0x08;     // identification request
// Echo of a key: its code + 0x80, or 0x00 for any key.
inline constexpr int kSamsEchoOffset = 0x80;

// Key-position answers (register to PC) and the positions they stand for.
inline constexpr std::uint8_t kSamsKeyPosAnswer[6] = {0, 0x20, 0x40, 0x80, 0x08, 0x04};
inline constexpr std::uint8_t kSamsKeyPosP = 1;
inline constexpr std::uint8_t kSamsKeyPosX = 2;
inline constexpr std::uint8_t kSamsKeyPosZ = 3;
inline constexpr std::uint8_t kSamsKeyPosProgram = 4;  // "П"
inline constexpr std::uint8_t kSamsKeyPosMC = 5;       // "МС"
// The position an answer byte stands for, 0 for any other byte.
std::uint8_t SamsDecodeKeyPos(int byte);
// The name of a key position, "не определен" for 0 and for values outside 1..5.
const char* SamsKeyPosName(int keyPos);

// Error bytes E0, E1, E3..E9 (E2 is none) and their texts ("" for other bytes).
inline constexpr int kSamsErrorFirst = 0xE0;
inline constexpr int kSamsErrorLast = 0xE9;
inline constexpr int kSamsErrorNone = 0xE2;  // inside the range, but no error byte
// The errors after which the engine drops its queue: memory overflow, fiscal memory
// full, fiscal memory failure.
inline constexpr int kSamsErrorMemoryFull = 0xE0;
inline constexpr int kSamsErrorFiscalMemoryFull = 0xE3;
inline constexpr int kSamsErrorFiscalMemory = 0xE6;
bool SamsIsErrorByte(int byte);
const char* SamsErrorText(int byte);

// Keys the operations press.
enum SamsKey : std::uint8_t {
    kSamsKeyTextLine = 1,     // start of a receipt text line (no echo)
    kSamsKeyLock = 4,         // keyboard lock (no echo)
    kSamsKeyUnlock = 5,       // keyboard unlock (no echo)
    kSamsKeyStart = 7,        // start of an operation; end of sign-on and sign-off
    kSamsKeyTextEnd = 19,     // end of a text line, followed by kSamsKeyTextPrint
    kSamsKeySpace = 32,
    kSamsKeyPoint = 38,       // decimal point inside a number
    kSamsKeyTextPrint = 81,
    kSamsKeyDepProgram = 82,
    kSamsKeySeparator = 86,   // count x price, item number and text, end of time
    kSamsKeyCashOut = 87,
    kSamsKeyTaxEnd = 97,
    kSamsKeyCash = 99,
    kSamsKeyVoid = 102,
    kSamsKeyCredit = 103,
    kSamsKeyCashIn = 113,
    kSamsKeyCashier = 114,
    kSamsKeyArticle = 115,
    kSamsKeyCheck = 118,
};

// The register's character set against Windows-1251; characters without a
// counterpart become a space.
std::uint8_t AnsiToDevice(std::uint8_t c);
std::uint8_t DeviceToAnsi(std::uint8_t c);

// The key of a value 0..17 (digits 0..9, then departments 1..8, which also stand
// for the hexadecimal digits A..F); 0 for other values.
std::uint8_t KeyOfDigit(int value);
// The key of the digit or department of a key code, -1 when it is none.
int DigitOfKey(int key);

// The entry routines queue keys with the caller's key position, kind, text and
// flags. Each returns 0, or -1 when the value cannot be keyed (nothing is queued).

// The decimal digits of value, right-aligned with zeros to width; value 0..2^31-1,
// width 0..20.
int EnterNumber(TSamsER350FProtocol& p, std::int64_t value, int width, std::uint8_t keyPos, std::uint8_t kind,
                const std::string& text, std::int32_t flags);
// value with decimals places (0..9) and its decimal point (key 38), right-aligned
// with zeros to width (0..30); value finite, 0 <= value < 2^31.
int EnterFraction(TSamsER350FProtocol& p, int width, int decimals, double value, std::uint8_t keyPos,
                  std::uint8_t kind, const std::string& text, std::int32_t flags);
// The amount in the setup's smallest units (digitCount decimal places, 0..4),
// truncated toward zero; none when it does not fit 32 bits or digitCount is out of
// range. A negative amount gives negative units, which EnterNumber refuses.
std::optional<std::int32_t> CurrencyToUnits(Currency amount, int digitCount);
// Two keys: the high and the low hexadecimal digit of AnsiToDevice(c).
void EnterHexChar(TSamsER350FProtocol& p, std::uint8_t c, std::uint8_t keyPos, std::uint8_t kind,
                  const std::string& text, std::int32_t flags);
// EnterHexChar for each character of the UTF-8 text, in Windows-1251 ("?" for
// characters the code page lacks).
void EnterHexText(TSamsER350FProtocol& p, std::string_view text, std::uint8_t keyPos, std::uint8_t kind,
                  const std::string& prompt, std::int32_t flags);

// A cashier password: one or more decimal digits that fit 32 bits, nothing else.
std::optional<std::int32_t> ParseDecimalDigits(std::string_view text);

}  // namespace tolver

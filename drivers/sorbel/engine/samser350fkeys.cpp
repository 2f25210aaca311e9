#include "drivers/sorbel/engine/samser350fkeys.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "platform/variant/codepage.h"

namespace tolver {
namespace {

constexpr std::uint8_t kDigitKeys[18] = {17, 18, 19, 23, 22, 21, 33, 34, 39, 35, 55, 51, 50, 49, 71, 67, 66, 65};

constexpr const char* kKeyPosNames[6] = {"не определен", "P", "X", "Z", "П", "МС"};

// Indexed by the error byte - kSamsErrorFirst; E2 has no text.
constexpr const char* kErrorTexts[kSamsErrorLast - kSamsErrorFirst + 1] = {
    "Ошибка E0\r\nПереполнение памяти",
    "Ошибка E1\r\nОшибка ввода команды",
    "",
    "Ошибка E3\r\nПереполнение фискальной памяти",
    "Ошибка E4\r\nПредупреждение о переполнении фискальной памяти",
    "Ошибка E5\r\nОшибка записи в фискальную память",
    "Ошибка E6\r\nОшибка фискальной памяти",
    "Ошибка E7\r\nОшибка отображающего устройства",
    "Ошибка E8\r\nДатчик бумаги\r\nНеобходимо заменить или заправить бумагу",
    "Ошибка E9\r\nОшибка печатающего устройства",
};

// Queues one key per character of digits ("0".."9" and "." only).
void EnterDigits(TSamsER350FProtocol& p, std::string_view digits, std::uint8_t keyPos, std::uint8_t kind,
                 const std::string& text, std::int32_t flags) {
    for (const char c : digits) {
        const std::uint8_t key = c == '.' ? std::uint8_t{kSamsKeyPoint} : KeyOfDigit(c - '0');
        p.Enqueue(key, keyPos, kind, text, flags);
    }
}

// s right-aligned in width characters, padded with "0" as the register keys it.
std::string ZeroPad(std::string s, int width) {
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

}  // namespace

std::uint8_t SamsDecodeKeyPos(int byte) {
    for (std::uint8_t pos = 1; pos <= 5; ++pos)
        if (kSamsKeyPosAnswer[pos] == byte) return pos;
    return 0;
}

const char* SamsKeyPosName(int keyPos) { return kKeyPosNames[keyPos >= 1 && keyPos <= 5 ? keyPos : 0]; }

bool SamsIsErrorByte(int byte) { return byte >= kSamsErrorFirst && byte <= kSamsErrorLast && byte != kSamsErrorNone; }

const char* SamsErrorText(int byte) { return SamsIsErrorByte(byte) ? kErrorTexts[byte - kSamsErrorFirst] : ""; }

std::uint8_t AnsiToDevice(std::uint8_t c) {
    if (c >= 32 && c <= 127) return c;
    if (c >= 192) return static_cast<std::uint8_t>(c - 64);
    switch (c) {
        case 168: return 0xC0;  // Ё
        case 184: return 0xC1;  // ё
        case 170: return 0xC2;  // Є
        case 186: return 0xC3;  // є
        case 175: return 0xC4;  // Ї
        case 191: return 0xC5;  // ї
        case 178: return 'I';   // І
        case 179: return 'i';   // і
        default: return 32;
    }
}

std::uint8_t DeviceToAnsi(std::uint8_t c) {
    if (c <= 127) return c;
    if (c <= 191) return static_cast<std::uint8_t>(c + 64);
    switch (c) {
        case 0xC0: return 168;
        case 0xC1: return 184;
        case 0xC2: return 170;
        case 0xC3: return 186;
        case 0xC4: return 175;
        case 0xC5: return 191;
        default: return 32;
    }
}

std::uint8_t KeyOfDigit(int value) { return value >= 0 && value <= 17 ? kDigitKeys[value] : 0; }

int DigitOfKey(int key) {
    for (int v = 0; v <= 17; ++v)
        if (kDigitKeys[v] == key) return v;
    return -1;
}

int EnterNumber(TSamsER350FProtocol& p, std::int64_t value, int width, std::uint8_t keyPos, std::uint8_t kind,
                const std::string& text, std::int32_t flags) {
    if (value < 0 || value > std::numeric_limits<std::int32_t>::max() || width < 0 || width > 20) return -1;
    EnterDigits(p, ZeroPad(std::to_string(value), width), keyPos, kind, text, flags);
    return 0;
}

int EnterFraction(TSamsER350FProtocol& p, int width, int decimals, double value, std::uint8_t keyPos,
                  std::uint8_t kind, const std::string& text, std::int32_t flags) {
    if (!std::isfinite(value) || value < 0 || value >= 2147483648.0 || decimals < 0 || decimals > 9 || width < 0 ||
        width > 30)
        return -1;
    char buf[64];
    // Formatted without the locale, so that the point is always ".".
    const auto r = std::to_chars(buf, buf + sizeof buf, value + 0.0, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return -1;
    EnterDigits(p, ZeroPad(std::string(buf, r.ptr), width), keyPos, kind, text, flags);
    return 0;
}

std::optional<std::int32_t> CurrencyToUnits(Currency amount, int digitCount) {
    if (digitCount < 0 || digitCount > 4) return std::nullopt;
    std::int64_t divisor = 1;
    for (int i = digitCount; i < 4; ++i) divisor *= 10;
    const std::int64_t units = amount.raw() / divisor;  // C++ division truncates toward zero
    if (units < std::numeric_limits<std::int32_t>::min() || units > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(units);
}

void EnterHexChar(TSamsER350FProtocol& p, std::uint8_t c, std::uint8_t keyPos, std::uint8_t kind,
                  const std::string& text, std::int32_t flags) {
    const std::uint8_t d = AnsiToDevice(c);
    p.Enqueue(KeyOfDigit(d / 16), keyPos, kind, text, flags);
    p.Enqueue(KeyOfDigit(d % 16), keyPos, kind, text, flags);
}

void EnterHexText(TSamsER350FProtocol& p, std::string_view text, std::uint8_t keyPos, std::uint8_t kind,
                  const std::string& prompt, std::int32_t flags) {
    for (const char c : Utf8ToCp1251(text)) EnterHexChar(p, static_cast<std::uint8_t>(c), keyPos, kind, prompt, flags);
}

std::optional<std::int32_t> ParseDecimalDigits(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    return static_cast<std::int32_t>(v);
}

}  // namespace tolver

#include "drivers/dalvern/engine/regfisc2160code.h"

namespace tolver {

std::uint8_t WinCharToDos(std::uint8_t c) {
    switch (c) {
        case 0xA8: return 0xF0;  // Ё
        case 0xB8: return 0xF1;  // ё
        case 0xAA: return 0xF2;  // Є
        case 0xBA: return 0xF3;  // є
        case 0xAF: return 0xF4;  // Ї
        case 0xBF: return 0xF5;  // ї
        case 0xB2: return 'I';   // І
        case 0xB3: return 'i';   // і
        case 0xB9: return 'N';   // №
        default: break;
    }
    if (c >= 0xC0 && c <= 0xEF) return static_cast<std::uint8_t>(c - 0x40);  // А..п
    if (c >= 0xF0) return static_cast<std::uint8_t>(c - 0x10);                // р..я
    return c;
}

std::uint8_t DosCharToWin(std::uint8_t c) {
    if (c >= 0x80 && c <= 0xAF) return static_cast<std::uint8_t>(c + 0x40);  // А..п
    if (c >= 0xE0 && c <= 0xEF) return static_cast<std::uint8_t>(c + 0x10);  // р..я
    switch (c) {
        case 0xF0: return 0xA8;
        case 0xF1: return 0xB8;
        case 0xF2: return 0xAA;
        case 0xF3: return 0xBA;
        case 0xF4: return 0xAF;
        case 0xF5: return 0xBF;
        default: return c;
    }
}

namespace {

template <std::uint8_t (*Convert)(std::uint8_t)>
std::string Map(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(Convert(static_cast<std::uint8_t>(c)));
    return out;
}

}  // namespace

std::string WinToDos(std::string_view text) { return Map<WinCharToDos>(text); }
std::string DosToWin(std::string_view text) { return Map<DosCharToWin>(text); }

std::string TextToDos(std::string_view text) {
    std::string out = WinToDos(text);
    for (char& c : out)
        if (static_cast<std::uint8_t>(c) < 0x20 || c == 0x7F) c = ' ';
    return out;
}

}  // namespace tolver

#include "common/encode.h"

namespace tolver {

std::uint8_t RotateByte(std::uint8_t value, int count) {
    const unsigned right = count >= 0 ? static_cast<unsigned>(count) % 8 : (8 - static_cast<unsigned>(-(count % 8))) % 8;
    if (right == 0) return value;
    return static_cast<std::uint8_t>((value >> right) | (value << (8 - right)));
}

std::string ScrambleString(std::string_view text, std::string_view key, bool decode) {
    int keySum = 0;
    for (const char c : key) keySum += static_cast<unsigned char>(c);
    const int direction = decode ? -1 : 1;
    std::string out(text);
    std::size_t keyPos = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t textPos = i + 1;  // positions count from 1
        const int k = key.empty() ? static_cast<int>(textPos % 256) : static_cast<unsigned char>(key[keyPos]);
        // Odd positions rotate left when scrambling, even ones right; restoring reverses.
        const int amount = (k + keySum) % 8;
        const int count = textPos % 2 == 1 ? -direction * amount : direction * amount;
        out[i] = static_cast<char>(RotateByte(static_cast<std::uint8_t>(out[i]), count));
        if (!key.empty()) keyPos = (keyPos + 1) % key.size();
    }
    return out;
}

}  // namespace tolver

#pragma once
// A keyed, reversible scrambling of text, bit rotation per character.

#include <cstdint>
#include <string>
#include <string_view>

namespace tolver {

// Rotates the 8 bits right by count mod 8 when count >= 0, left by |count| mod 8 otherwise.
std::uint8_t RotateByte(std::uint8_t value, int count);

// Scrambles (decode false) or restores (decode true) text as raw bytes; the result has
// the length of text and may hold any byte value, zero included.
std::string ScrambleString(std::string_view text, std::string_view key, bool decode);

}  // namespace tolver

#pragma once
// The character set of the "РФ 2160": code page 866 for the Russian letters, Ё ё and
// Є є Ї ї; І і № go out as the Latin I i N. The driver's texts are Windows-1251
// bytes; these routines convert single bytes and whole byte strings both ways.
// Digits, Latin letters and control bytes pass unchanged, so a frame's fixed parts
// and numeric fields are never touched. The two directions are not inverses: І і №
// come back Latin, and device pseudo-graphics (0xB0..0xDF, 0xF6..0xFF) come back as
// they are.

#include <cstdint>
#include <string>
#include <string_view>

namespace tolver {

std::uint8_t WinCharToDos(std::uint8_t c);
std::uint8_t DosCharToWin(std::uint8_t c);

// A new string of the same length, every byte converted.
std::string WinToDos(std::string_view text);
std::string DosToWin(std::string_view text);

// A name or free text of a client for the register, in the same length: control
// bytes (0x00..0x1F, 0x7F) become blanks, the rest is converted with WinToDos. So no
// text can carry a frame's delimiters (SOH, STX, ETX, EOT) or the line's ACK and NAK,
// and the register prints a blank where the client wrote a tab or a line break.
std::string TextToDos(std::string_view text);

}  // namespace tolver

#pragma once
// Windows code page 1251 (the 8-bit text of the automation string and of the
// settings files), both directions, from our own table.

#include <string>
#include <string_view>

namespace tolver {

char32_t Cp1251ToUnicode(unsigned char c);
// The code page byte for cp, or -1 when the page has none.
int UnicodeToCp1251(char32_t cp);

std::string Cp1251ToUtf8(std::string_view bytes);
// Characters the page does not hold become `replacement`.
std::string Utf8ToCp1251(std::string_view text, char replacement = '?');

}  // namespace tolver

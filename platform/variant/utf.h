#pragma once
// UTF-8 <-> UTF-16 conversion. Text is UTF-8 in every C++ API; UTF-16 appears only
// inside encoded buffers. Unpaired surrogates survive a round trip: they are kept
// as three-byte sequences (the generalised UTF-8 form), so that a wide string read
// from a buffer is written back unchanged.

#include <cstddef>
#include <string>
#include <string_view>

namespace tolver {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Decodes the code point starting at text[pos] and advances pos. Malformed bytes
// yield U+FFFD and advance by one byte.
char32_t Utf8Next(std::string_view text, std::size_t& pos);
void Utf8Append(std::string& out, char32_t cp);

// Counts characters (code points), not bytes.
std::size_t Utf8Length(std::string_view text);
// The first `count` characters of text.
std::string Utf8Left(std::string_view text, std::size_t count);
// `count` characters from character position `start` (0-based).
std::string Utf8Mid(std::string_view text, std::size_t start, std::size_t count);

}  // namespace tolver

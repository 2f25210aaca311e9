#pragma once
// Reading the fault scripts of the simulators: items separated by ";" or new lines,
// each a list of words separated by blanks; numbers and hexadecimal bytes read with
// errors that name the faulty item.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolver {

struct TFaultItem {
    std::string text;                // the item as written, for error messages
    std::vector<std::string> words;  // never empty
};

std::vector<TFaultItem> SplitFaultScript(std::string_view script);

// A decimal number 0..100000000; raises Exception naming the item otherwise.
int FaultInt(const std::string& word, const TFaultItem& item);
// One or two hexadecimal digits.
std::uint8_t FaultHexByte(const std::string& word, const TFaultItem& item);
// Raises Exception "fault script: <what> in "<item>"".
[[noreturn]] void FaultScriptError(const std::string& what, const TFaultItem& item);

}  // namespace tolver

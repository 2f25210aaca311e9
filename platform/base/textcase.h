#pragma once
// Case-insensitive comparison of UTF-8 names (registry keys and values, ini sections
// and keys, enumeration identifiers), with full Unicode case folding.

#include <string>
#include <string_view>

namespace tolver {

// The case-folded form of text: equal for names that differ only in case.
std::string CaseFold(std::string_view text);
// Whether a and b are equal apart from case.
bool SameText(std::string_view a, std::string_view b);

}  // namespace tolver

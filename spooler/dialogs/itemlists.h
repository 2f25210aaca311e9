#pragma once
// The driver's item lists as the dialogs show them: names each followed by ";" in,
// chosen rows as 0-based positions each followed by ";" out.

#include <string>
#include <string_view>
#include <vector>

namespace tolver {

// The names of a list of entries each followed by ";" (a missing ";" after the last
// entry is forgiven). Empty entries stay, so every name keeps its position: ";B;"
// gives "" and "B", and B remains entry 1.
std::vector<std::string> SplitItemNames(std::string_view text);

// The positions of the marked rows, each in decimal followed by ";": marks on rows 0
// and 2 give "0;2;". TChosenItems (drivers/contract/chosenitems.h) reads them back.
std::string PicksToText(const std::vector<bool>& marks);

}  // namespace tolver

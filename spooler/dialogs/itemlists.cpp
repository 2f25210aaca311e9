#include "spooler/dialogs/itemlists.h"

namespace tolver {

std::vector<std::string> SplitItemNames(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        names.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return names;
}

std::string PicksToText(const std::vector<bool>& marks) {
    std::string text;
    for (std::size_t i = 0; i < marks.size(); ++i)
        if (marks[i]) text += std::to_string(i) + ";";
    return text;
}

}  // namespace tolver

#include "sim/faultscript.h"

#include "common/utilgl.h"
#include "platform/base/exception.h"

namespace tolver {

std::vector<TFaultItem> SplitFaultScript(std::string_view script) {
    std::vector<TFaultItem> items;
    std::string rest(script), text;
    for (;;) {
        CutFirstToken(rest, ";\n\r", text);
        if (text.empty()) break;
        TFaultItem item{text, {}};
        std::string line = text, word;
        for (;;) {
            CutFirstToken(line, " \t", word);
            if (word.empty()) break;
            item.words.push_back(word);
        }
        if (!item.words.empty()) items.push_back(std::move(item));
    }
    return items;
}

void FaultScriptError(const std::string& what, const TFaultItem& item) {
    throw Exception("fault script: " + what + " in \"" + item.text + "\"");
}

int FaultInt(const std::string& word, const TFaultItem& item) {
    try {
        std::size_t used = 0;
        const long v = std::stol(word, &used, 10);
        if (used == word.size() && v >= 0 && v <= 100000000) return static_cast<int>(v);
    } catch (const std::exception&) {
    }
    FaultScriptError("bad number \"" + word + "\"", item);
}

std::uint8_t FaultHexByte(const std::string& word, const TFaultItem& item) {
    try {
        std::size_t used = 0;
        const long v = std::stol(word, &used, 16);
        if (used == word.size() && word.size() <= 2 && v >= 0 && v <= 255) return static_cast<std::uint8_t>(v);
    } catch (const std::exception&) {
    }
    FaultScriptError("bad byte \"" + word + "\"", item);
}

}  // namespace tolver

#include "spooler/spoolernotice.h"

#include <cstdio>
#include <utility>

namespace tolver {

namespace {

TSpoolerMessageLog& Log() {
    static TSpoolerMessageLog log;
    return log;
}

}  // namespace

TSpoolerMessageLog SetSpoolerMessageLog(TSpoolerMessageLog log) { return std::exchange(Log(), std::move(log)); }

std::string SpoolerMessageNotice(const std::string& Text, const std::string& Title, bool YesNo) {
    std::string text;
    text.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') continue;
        text += Text[i] == '\r' || Text[i] == '\n' ? ' ' : Text[i];
    }
    return "Окно \"" + Title + "\" ждет ответа " + (YesNo ? "\"Да\" или \"Нет\"" : "\"OK\"") + ": " + text;
}

std::string VisibleControls(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (const char ch : Text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\r' && c != '\n' && c != '\t') || c == 0x7F) {
            char code[5];
            std::snprintf(code, sizeof code, "<%02X>", c);
            out += code;
        } else {
            out += ch;
        }
    }
    return out;
}

void SpoolerNotice(const std::string& Line) {
    const std::string line = VisibleControls(Line);
    std::fprintf(stderr, "Spooler: %s\n", line.c_str());
    std::fflush(stderr);
    if (const TSpoolerMessageLog log = Log()) log(line);
}

}  // namespace tolver

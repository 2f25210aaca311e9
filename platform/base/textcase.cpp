#include "platform/base/textcase.h"

#include <QString>

namespace tolver {

std::string CaseFold(std::string_view text) {
    std::string out(text);
    bool ascii = true;
    for (char& c : out) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (ascii) return out;
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toCaseFolded().toStdString();
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() == b.size()) {
        bool same = true;
        for (std::size_t i = 0; i < a.size() && same; ++i) {
            const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
            if (x >= 0x80 || y >= 0x80) return CaseFold(a) == CaseFold(b);
            same = (x | 0x20) == (y | 0x20) && ((x | 0x20) >= 'a' && (x | 0x20) <= 'z' ? true : x == y);
        }
        return same;
    }
    return CaseFold(a) == CaseFold(b);
}

}  // namespace tolver

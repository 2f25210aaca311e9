#include "drivers/dalvern/engine/regfisc2160commands.h"

#include "drivers/dalvern/engine/regfisc2160code.h"
#include "platform/variant/codepage.h"

namespace tolver {

std::string Digits(std::int64_t value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

std::string IntToBytes(int n, std::int64_t value) {
    std::string out(static_cast<std::size_t>(n), '\0');
    auto u = static_cast<std::uint64_t>(value);
    for (int i = n - 1; i >= 0; --i, u >>= 8) out[static_cast<std::size_t>(i)] = static_cast<char>(u & 0xFF);
    return out;
}

std::int64_t Hundredths(Currency value) {
    // raw is in ten-thousandths: divide by 100 with the half going to the even neighbour.
    const std::int64_t raw = value.raw();
    std::int64_t q = raw / 100, r = raw % 100;  // truncated toward zero
    if (r < 0) {
        r += 100;
        --q;
    }
    if (r > 50 || (r == 50 && (q & 1) != 0)) ++q;
    return q;
}

std::string DeviceText(const std::string& text, std::size_t width) {
    std::string s = TextToDos(Utf8ToCp1251(text));
    if (width == 0) return s;
    s.resize(width, ' ');
    return s;
}

std::string SetOptionText(int option, bool on) { return fisc2160::kCmdSetOption + Digits(option, 2) + Digits(on ? 1 : 0, 2); }

}  // namespace tolver

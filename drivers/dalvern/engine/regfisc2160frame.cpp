#include "drivers/dalvern/engine/regfisc2160frame.h"

#include <cstdio>

#include "common/utilgl.h"
#include "drivers/dalvern/engine/regfisc2160code.h"

namespace tolver {

using namespace fisc2160;

namespace {

// Texts of the error classes by their bit, and the detail lines of the four classes
// that have them, by the detail bit.
constexpr const char* kClassTexts[8] = {
    "Переполнение",
    "Ошибка фискальной памяти",
    "Неправильная команда или ошибка формата команды",
    "Касса не открыта",
    "Ошибка кода товара",
    "Ошибка пароля или режима",
    "<резерв>",
    "Блокировка",
};
constexpr const char* kOverflowTexts[8] = {
    "переполнение по коду товара",
    "переполнение дневного отчета",
    "переполнение в кассе",
    "переполнение умножения количества на цену",
    "переполнение в отчете по кассирам",
    "<резерв>",
    "фискальная память близка к заполнению",
    "переполнена фискальная память",
};
constexpr const char* kArticleTexts[8] = {
    "код товара отсутствует",
    "перепрограммировать нельзя (была продажа)",
    "товар отсутствует (при контроле остатков)",
    "только для выдачи",
    "только продажа",
    "штучный товар",
    "нет цены",
    "код больше допустимого",
};
constexpr const char* kModeTexts[8] = {
    "надо включить режим РАБОТА",
    "надо включить режим X",
    "надо включить режим Z",
    "надо включить режим ПРОГРАММИРОВАНИЕ",
    "надо включить режим АДМИНИСТРАТОР",
    "<резерв>",
    "надо закрыть дневной отчет",
    "пароль не совпадает",
};
constexpr const char* kLockTexts[8] = {
    "отсоединение устройства отображения",
    "конец бумаги",
    "ошибка принтера",
    "конец смены",
    "дата предыдущего отчета больше текущей",
    "<резерв>",
    "<резерв>",
    "сбой по питанию",
};

const char* const* DetailTable(int classBit) {
    switch (classBit) {
        case 0: return kOverflowTexts;
        case 4: return kArticleTexts;
        case 5: return kModeTexts;
        case 7: return kLockTexts;
        default: return nullptr;
    }
}

// The lowest set bit of value, or -1 for 0.
int LowestBit(std::uint8_t value) {
    for (int bit = 0; bit < 8; ++bit)
        if (value & (1u << bit)) return bit;
    return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool HasHeader(std::string_view s) {
    return s.size() >= kHeaderSize && s[0] == kSOH && s.substr(1, kSignature.size()) == kSignature &&
           s[kHeaderSize - 2] == kSTX && s[kHeaderSize - 1] == kFS;
}

// The length field of a frame that starts with its header, or -1 when it has not
// arrived or is not three digits.
int LengthField(std::string_view s) {
    if (!HasHeader(s) || s.size() < kHeaderSize + 3) return -1;
    int n = 0;
    for (std::size_t i = kHeaderSize; i < kHeaderSize + 3; ++i) {
        if (!IsDigit(s[i])) return -1;
        n = n * 10 + (s[i] - '0');
    }
    return n;
}

}  // namespace

std::optional<std::string> BuildFrame(std::string_view text) {
    if (text.size() > kMaxText) return std::nullopt;
    char length[4];
    std::snprintf(length, sizeof length, "%03u", static_cast<unsigned>(text.size()));
    std::string frame;
    frame.reserve(kHeaderSize + 3 + text.size() + 7);
    frame += kSOH;
    frame += kSignature;
    frame += kSTX;
    frame += kFS;
    frame += length;
    frame += text;
    frame += kETX;
    char sum[12];
    std::snprintf(sum, sizeof sum, "%04u", static_cast<unsigned>(CharSum(frame)));
    frame += sum;
    frame += kEOT;
    return frame;
}

// ---- TReplyAssembler --------------------------------------------------------------

bool TReplyAssembler::InData() const {
    const int n = LengthField(buffer_);
    return n >= 0 && buffer_.size() < kHeaderSize + 3 + static_cast<std::size_t>(n);
}

bool TReplyAssembler::Feed(char byte, std::string& unit) {
    if (!InData()) {
        if (byte == kACK || byte == kNAK) {
            buffer_.clear();
            unit.assign(1, byte);
            return true;
        }
        if (byte == kEOT) {
            // ETX, four or five checksum digits, EOT.
            const std::size_t size = buffer_.size() + 1;
            const bool four = size > 5 && buffer_[size - 6] == kETX;
            const bool five = size > 6 && buffer_[size - 7] == kETX && IsDigit(buffer_[size - 6]) &&
                              IsDigit(buffer_[size - 5]) && IsDigit(buffer_[size - 4]) &&
                              IsDigit(buffer_[size - 3]) && IsDigit(buffer_[size - 2]);
            if (four || five) {
                buffer_ += byte;
                unit.swap(buffer_);
                buffer_.clear();
                return true;
            }
        }
    }
    // A frame starts at its SOH: whatever was gathered before it is line noise, and
    // kept it would spoil the frame (a spoilt reply to a command makes it be sent
    // again).
    if (byte == kSOH && !InData()) buffer_.clear();
    buffer_ += byte;
    if (buffer_.size() > kMaxFrame) buffer_.erase(0, buffer_.size() - kMaxFrame);
    return false;
}

// ---- statuses and error texts -----------------------------------------------------

std::uint8_t ModeFromFlags(std::uint8_t modeFlags) {
    const int bit = LowestBit(modeFlags & 0x1F);
    return static_cast<std::uint8_t>(bit + 1);
}

std::string ErrorClassText(std::uint8_t errorFlags) {
    const int bit = LowestBit(errorFlags);
    return bit < 0 ? std::string() : kClassTexts[bit];
}

std::string ErrorDetailText(std::uint8_t errorFlags, std::uint8_t detailFlags) {
    const char* const* table = DetailTable(LowestBit(errorFlags));
    const int bit = LowestBit(detailFlags);
    return table && bit >= 0 ? table[bit] : std::string();
}

std::string ErrorReportText(const std::string& text, const std::vector<std::string>& details) {
    std::string report = text;
    for (const std::string& line : details) report += "\r\n -" + line;
    return report;
}

std::string BitsText(std::uint8_t value) {
    std::string bits(8, '0');
    for (int bit = 0; bit < 8; ++bit)
        if (value & (1u << bit)) bits[static_cast<std::size_t>(7 - bit)] = '1';
    return bits;
}

// ---- TReply -----------------------------------------------------------------------

void TReply::Parse(std::string_view raw) noexcept {
    try {
        Raw.assign(raw);
        Data.clear();
        ErrorText.clear();
        Details.clear();
        Kind = KindUnrecognised;
        Mode = ModeFlags = ErrorFlags = SpareFlags = DetailFlags = 0;
        if (raw.size() == 1 && raw[0] == kNAK) {
            Kind = KindNak;
            return;
        }
        if (raw.size() == 1 && raw[0] == kACK) {
            Kind = KindAck;
            return;
        }
        if (!HasHeader(raw) || raw.size() < kHeaderSize + 3) return;
        const int length = LengthField(raw);
        if (length < 0) {
            Kind = KindDamaged;
            return;
        }
        const std::size_t n = static_cast<std::size_t>(length);
        // Data from position 25, ETX at 25+N, then the checksum (not checked) and EOT
        // after four digits, or after five for a sum above 9999.
        const std::size_t etx = kHeaderSize + 3 + n;
        if (raw.size() < etx + 6 || raw[etx] != kETX) return;
        const bool four = raw[etx + 5] == kEOT;
        const bool five = !four && raw.size() >= etx + 7 && raw[etx + 6] == kEOT;
        if (!four && !five) return;
        const std::string_view data = raw.substr(kHeaderSize + 3, n);
        Data = DosToWin(data);
        if (n == 5 && data[0] == '[') {
            Kind = KindStatus;
            ModeFlags = static_cast<std::uint8_t>(data[1]);
            ErrorFlags = static_cast<std::uint8_t>(data[2]);
            SpareFlags = static_cast<std::uint8_t>(data[3]);
            DetailFlags = static_cast<std::uint8_t>(data[4]);
            Mode = ModeFromFlags(ModeFlags);
            if (ErrorFlags != 0) {
                ErrorText = ErrorClassText(ErrorFlags);
                std::string detail = ErrorDetailText(ErrorFlags, DetailFlags);
                if (!detail.empty()) Details.push_back(std::move(detail));
            }
        } else {
            Kind = KindData;
        }
    } catch (...) {
        Kind = KindDamaged;
    }
}

}  // namespace tolver

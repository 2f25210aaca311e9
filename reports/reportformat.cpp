#include "reports/reportformat.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/variant/utf.h"

namespace tolver::report {

std::pair<std::size_t, std::size_t> CharPrefix(std::string_view s, int count) {
    std::size_t end = 0, chars = 0;
    const std::size_t limit = count < 0 ? s.size() : static_cast<std::size_t>(count);
    while (end < s.size() && chars < limit) {
        const auto c = static_cast<unsigned char>(s[end]);
        if (c < 0x80)
            ++end;
        else if (c >= 0xC2 && c <= 0xDF && end + 1 < s.size() &&
                 (static_cast<unsigned char>(s[end + 1]) & 0xC0) == 0x80)
            end += 2;  // a two-byte character: Cyrillic
        else
            Utf8Next(s, end);
        ++chars;
    }
    return {end, chars};
}

namespace {

constexpr std::uint64_t kPow10[] = {1, 10, 100, 1000, 10000};

// The decimal digits of v, written backwards so that they end at end; their start.
char* DigitsBefore(char* end, std::uint64_t v) {
    do {
        *--end = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return end;
}

// The digits of a fixed-point value with `decimals` places, rounded half away from
// zero, as Currency::Format writes them but with the report's decimal separator,
// written backwards so that they end at end (which has 32 bytes before it); their
// start.
char* MoneyDigitsBefore(char* end, Currency value, int decimals) {
    const std::int64_t raw = value.raw();
    const bool negative = raw < 0;
    const std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    const std::uint64_t unit = kPow10[4 - decimals], pow = kPow10[decimals];
    std::uint64_t scaled = mag / unit;
    if ((mag % unit) * 2 >= unit) ++scaled;
    char* p = end;
    if (decimals > 0) {
        std::uint64_t frac = scaled % pow;
        for (int i = 0; i < decimals; ++i, frac /= 10) *--p = static_cast<char>('0' + frac % 10);
        *--p = kDecimalSeparator;
    }
    p = DigitsBefore(p, scaled / pow);
    if (negative && scaled != 0) *--p = '-';
    return p;
}

// The same written at buf (32 bytes); returns the end.
char* MoneyDigits(char* buf, Currency value, int decimals) {
    char digits[32];
    const char* start = MoneyDigitsBefore(digits + sizeof digits, value, decimals);
    return std::copy(start, static_cast<const char*>(digits + sizeof digits), buf);
}

char* PutRight(char* p, std::string_view s, std::size_t chars, int width) {
    if (width > 0 && chars < static_cast<std::size_t>(width)) {
        std::memset(p, ' ', static_cast<std::size_t>(width) - chars);
        p += static_cast<std::size_t>(width) - chars;
    }
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

// Appends what put writes into at most `room` bytes.
template <class Put>
void AppendPut(std::string& out, std::size_t room, Put put) {
    const std::size_t old = out.size();
    out.resize(old + room);
    out.resize(static_cast<std::size_t>(put(out.data() + old) - out.data()));
}

}  // namespace

char* PutPad(char* p, std::string_view s, int width, int precision, bool left) {
    const auto [bytes, chars] = CharPrefix(s, precision);
    const std::size_t fill = width > 0 && chars < static_cast<std::size_t>(width) ? width - chars : 0;
    if (!left) std::memset(p, ' ', fill), p += fill;
    std::memcpy(p, s.data(), bytes);
    p += bytes;
    if (left) std::memset(p, ' ', fill), p += fill;
    return p;
}

void AppendPad(std::string& out, std::string_view s, int width, int precision, bool left) {
    AppendPut(out, CharPrefix(s, precision).first + static_cast<std::size_t>(std::max(width, 0)),
              [&](char* p) { return PutPad(p, s, width, precision, left); });
}

std::string Pad(std::string_view s, int width, int precision, bool left) {
    std::string text;
    AppendPad(text, s, width, precision, left);
    return text;
}

namespace {

char* PutFitRight(char* p, std::string_view s, int width) {
    if (CharPrefix(s, -1).second > static_cast<std::size_t>(width)) s = "...";
    return PutPad(p, s, width, -1, false);
}

}  // namespace

std::string FitRight(std::string_view s, int width) {
    std::string text;
    AppendPut(text, s.size() + static_cast<std::size_t>(std::max(width, 3)),
              [&](char* p) { return PutFitRight(p, s, width); });
    return text;
}

char* PutMoney(char* p, Currency value, int width) {
    char buf[32];
    const char* start = MoneyDigitsBefore(buf + sizeof buf, value, 2);
    const std::string_view digits(start, static_cast<std::size_t>(buf + sizeof buf - start));
    return PutRight(p, digits, digits.size(), width);
}

void AppendMoney(std::string& out, Currency value, int width) {
    AppendPut(out, 32 + static_cast<std::size_t>(std::max(width, 0)), [&](char* p) { return PutMoney(p, value, width); });
}

std::string Money(Currency value, int width) {
    std::string text;
    AppendMoney(text, value, width);
    return text;
}

char* PutCount(char* p, double count, int width) {
    if (count == std::trunc(count) && std::fabs(count) < 1e15) {
        // A whole count, the common case: its digits straight away.
        // Its digits are one byte each: their length is their width.
        const auto whole = static_cast<std::int64_t>(count);
        char buf[32];
        char* start = DigitsBefore(buf + sizeof buf, whole < 0 ? 0 - static_cast<std::uint64_t>(whole)
                                                               : static_cast<std::uint64_t>(whole));
        if (whole < 0) *--start = '-';
        const auto size = static_cast<std::size_t>(buf + sizeof buf - start);
        if (size > static_cast<std::size_t>(width)) return PutPad(p, "...", width, -1, false);
        return PutRight(p, std::string_view(start, size), size, width);
    }
    const std::string text = CountText(count);
    return PutFitRight(p, text, width);
}

void AppendCount(std::string& out, double count, int width) {
    AppendPut(out, 32 + static_cast<std::size_t>(std::max(width, 3)), [&](char* p) { return PutCount(p, count, width); });
}

bool HasFraction(double x) { return std::isfinite(x) && x != std::trunc(x); }

double Nearest(double x) { return std::nearbyint(x); }  // the default rounding: halves to even

int NearestInt(double x) {
    const double r = Nearest(x);
    if (!(r > -2147483648.0 && r < 2147483647.0)) return r > 0 ? 2147483647 : -2147483647 - 1;
    return static_cast<int>(r);
}

std::string CountText(double count) {
    char buf[400];
    if (HasFraction(count)) {
        // Three decimals, rounded half away from zero on the value brought to four;
        // beyond what four decimals hold, as the number's own three decimals.
        if (std::fabs(count) < 9e14) {
            char* end = MoneyDigits(buf, Currency::FromDouble(count), 3);
            return std::string(buf, end);
        }
        std::snprintf(buf, sizeof buf, "%.3f", count);
        std::string text = buf;
        for (char& ch : text)
            if (ch == '.') ch = kDecimalSeparator;
        return text;
    }
    // The nearest integer: a count of -0 is 0.
    std::snprintf(buf, sizeof buf, "%.0f", std::isfinite(count) && count != 0 ? count : 0.0);
    return buf;
}

std::string CountText(Currency count) {
    char buf[32];
    char* end = MoneyDigits(buf, count, count.raw() % Currency::kScale == 0 ? 0 : 3);
    return std::string(buf, end);
}

std::string Upper(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUpper().toStdString();
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

double DayOf(double dateTime) { return std::floor(dateTime); }
double TimeOf(double dateTime) { return dateTime - std::floor(dateTime); }

namespace {

struct Parts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, ms = 0;
};

Parts Split(double dateTime) {
    Parts p;
    if (!std::isfinite(dateTime) || dateTime < -693593 || dateTime > 2958466) return p;
    try {
        DecodeDate(dateTime, p.year, p.month, p.day);
        DecodeTime(dateTime, p.hour, p.minute, p.second, p.ms);
    } catch (...) {
    }
    return p;
}

std::string Two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

}  // namespace

std::string DateText(double dateTime) {
    const Parts p = Split(dateTime);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", p.year);
    return Two(p.day) + kDateSeparator + Two(p.month) + kDateSeparator + buf;
}

std::string ShortTimeText(double dateTime) {
    const Parts p = Split(dateTime);
    return Two(p.hour) + kTimeSeparator + Two(p.minute);
}

std::string LongTimeText(double dateTime) { return ShortTimeText(dateTime) + kTimeSeparator + Two(Split(dateTime).second); }

std::string DayMonthText(double dateTime) {
    const Parts p = Split(dateTime);
    return Two(p.day) + kDateSeparator + Two(p.month);
}

}  // namespace tolver::report

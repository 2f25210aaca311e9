#include "reports/reportformat.h"

#include <QString>
#include <cmath>
#include <cstdio>

#include "platform/variant/utf.h"

namespace tolver::report {

std::string Pad(std::string_view s, int width, int precision, bool left) {
    std::string text = precision >= 0 ? Utf8Left(s, static_cast<std::size_t>(precision)) : std::string(s);
    const std::size_t length = Utf8Length(text);
    if (width > 0 && length < static_cast<std::size_t>(width)) {
        const std::string fill(static_cast<std::size_t>(width) - length, ' ');
        text = left ? text + fill : fill + text;
    }
    return text;
}

std::string FitRight(std::string_view s, int width) {
    if (Utf8Length(s) > static_cast<std::size_t>(width)) return Pad("...", width, -1, false);
    return Pad(s, width, -1, false);
}

std::string Money(Currency value, int width) {
    std::string text = value.Format(2);
    for (char& c : text)
        if (c == '.') c = kDecimalSeparator;
    return Pad(text, width, -1, false);
}

bool HasFraction(double x) { return std::isfinite(x) && x != std::trunc(x); }

double Nearest(double x) { return std::nearbyint(x); }  // the default rounding: halves to even

int NearestInt(double x) {
    const double r = Nearest(x);
    if (!(r > -2147483648.0 && r < 2147483647.0)) return r > 0 ? 2147483647 : -2147483647 - 1;
    return static_cast<int>(r);
}

std::string CountText(double count) {
    char buf[64];
    if (HasFraction(count)) {
        // Three decimals, rounded half away from zero on the value brought to four.
        const Currency c = std::fabs(count) < 9e14 ? Currency::FromDouble(count) : Currency();
        std::string text = c.Format(3);
        for (char& ch : text)
            if (ch == '.') ch = kDecimalSeparator;
        return text;
    }
    std::snprintf(buf, sizeof buf, "%.0f", std::isfinite(count) ? count : 0.0);
    return buf;
}

std::string Upper(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toUpper().toStdString();
}

std::string TrimRight(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && s[n - 1] == ' ') --n;
    return std::string(s.substr(0, n));
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

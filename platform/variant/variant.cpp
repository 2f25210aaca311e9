#include "platform/variant/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tolver {
namespace {

[[noreturn]] void Mismatch(const char* what) { throw EVariantError(std::string("Invalid variant conversion: ") + what); }
[[noreturn]] void Overflow() { throw EVariantError("Invalid variant operation: overflow"); }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Rounds half to even and checks the range of the target integer type.
std::int64_t RoundToInt(double v, double lo, double hi) {
    if (!std::isfinite(v)) Overflow();
    const double r = std::nearbyint(v);
    if (r < lo || r > hi) Overflow();
    return static_cast<std::int64_t>(r);
}

// Integer division of a currency's raw value by 10000, rounded half to even.
std::int64_t CurrencyToInteger(std::int64_t raw) {
    std::int64_t q = raw / Currency::kScale;
    const std::int64_t r = raw % Currency::kScale;
    const std::int64_t twice = 2 * (r < 0 ? -r : r);
    if (twice > Currency::kScale || (twice == Currency::kScale && (q % 2) != 0)) q += raw < 0 ? -1 : 1;
    return q;
}

constexpr std::int64_t kDaysTo1970 = 25569;  // 1899-12-30 .. 1970-01-01

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads an unsigned decimal field of 1..maxDigits digits.
bool ReadField(std::string_view& s, int maxDigits, int& out) {
    int n = 0;
    out = 0;
    while (!s.empty() && s.front() >= '0' && s.front() <= '9' && n < maxDigits) {
        out = out * 10 + (s.front() - '0');
        s.remove_prefix(1);
        ++n;
    }
    return n > 0;
}

bool Expect(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) return false;
    s.remove_prefix(1);
    return true;
}

bool ParseTimePart(std::string_view s, double& out) {
    int h, n, sec = 0;
    if (!ReadField(s, 2, h) || !Expect(s, ':') || !ReadField(s, 2, n)) return false;
    if (Expect(s, ':') && !ReadField(s, 2, sec)) return false;
    if (!s.empty() || h > 23 || n > 59 || sec > 59) return false;
    out = EncodeTime(h, n, sec);
    return true;
}

double TextToDate(std::string_view text) {
    std::string_view s = Trim(text);
    double time = 0;
    if (ParseTimePart(s, time)) return time;
    int y, m, d;
    std::string_view rest = s;
    if (ReadField(rest, 4, y) && !rest.empty() && rest.front() == '-') {
        rest.remove_prefix(1);
        if (!ReadField(rest, 2, m) || !Expect(rest, '-') || !ReadField(rest, 2, d)) Mismatch("text is no date");
    } else {
        rest = s;
        if (!ReadField(rest, 2, d) || !Expect(rest, '.') || !ReadField(rest, 2, m) || !Expect(rest, '.') ||
            !ReadField(rest, 4, y))
            Mismatch("text is no date");
    }
    double date;
    try {
        date = EncodeDate(y, m, d);
    } catch (const EVariantError&) {
        Mismatch("text is no date");
    }
    if (rest.empty()) return date;
    if (rest.front() != ' ' && rest.front() != 'T') Mismatch("text is no date");
    rest.remove_prefix(1);
    if (!ParseTimePart(Trim(rest), time)) Mismatch("text is no date");
    return date + time;
}

std::string DateToText(double date) {
    char buf[48];
    int y, m, d, h, n, s, ms;
    DecodeDate(date, y, m, d);
    DecodeTime(date, h, n, s, ms);
    const bool hasDate = std::trunc(date) != 0;
    const bool hasTime = h || n || s;
    if (hasDate && hasTime)
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", d, m, y, h, n, s);
    else if (hasTime)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, n, s);
    else
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
    return buf;
}

}  // namespace

// ---- Currency --------------------------------------------------------------------

Currency Currency::FromUnits(std::int64_t units) {
    if (units > std::numeric_limits<std::int64_t>::max() / kScale ||
        units < std::numeric_limits<std::int64_t>::min() / kScale)
        Overflow();
    return FromRaw(units * kScale);
}

Currency Currency::FromDouble(double value) {
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    return FromRaw(RoundToInt(value * kScale, -9223372036854775808.0, 9223372036854774784.0));
}

Currency Currency::Parse(std::string_view text) {
    std::string_view s = Trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    // Accumulate the magnitude as a negative number so that the minimum fits.
    std::int64_t acc = 0;
    int digits = 0, fraction = -1;
    bool roundUp = false, sticky = false;
    int guard = -1;  // first dropped digit
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if ((c == '.' || c == ',') && fraction < 0) {
            fraction = 0;
            continue;
        }
        if (c < '0' || c > '9') {
            // Not a plain decimal: let the float reader try (exponents).
            return FromDouble(TextToFloat(text));
        }
        ++digits;
        if (fraction >= 4) {
            if (guard < 0)
                guard = c - '0';
            else if (c != '0')
                sticky = true;
            continue;
        }
        if (acc < (std::numeric_limits<std::int64_t>::min() + (c - '0')) / 10) Overflow();
        acc = acc * 10 - (c - '0');
        if (fraction >= 0) ++fraction;
    }
    if (digits == 0) Mismatch("text is no number");
    for (int f = fraction < 0 ? 0 : fraction; f < 4; ++f) {
        if (acc < std::numeric_limits<std::int64_t>::min() / 10) Overflow();
        acc *= 10;
    }
    if (guard > 5 || (guard == 5 && (sticky || (acc % 2) != 0))) roundUp = true;
    if (roundUp) {
        if (acc == std::numeric_limits<std::int64_t>::min()) Overflow();
        --acc;
    }
    if (!negative) {
        if (acc == std::numeric_limits<std::int64_t>::min()) Overflow();
        acc = -acc;
    }
    return FromRaw(acc);
}

std::string Currency::ToString() const {
    const bool negative = raw_ < 0;
    // Magnitude as unsigned so that the minimum value prints.
    const std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(raw_) : static_cast<std::uint64_t>(raw_);
    std::string out = negative ? "-" : "";
    out += std::to_string(mag / kScale);
    std::uint64_t frac = mag % kScale;
    if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(frac));
        std::string f = buf;
        while (f.back() == '0') f.pop_back();
        out += '.';
        out += f;
    }
    return out;
}

std::string Currency::Format(int decimals) const {
    if (decimals < 0) decimals = 0;
    if (decimals > 4) decimals = 4;
    const bool negative = raw_ < 0;
    std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(raw_) : static_cast<std::uint64_t>(raw_);
    std::uint64_t unit = 1;
    for (int i = decimals; i < 4; ++i) unit *= 10;
    std::uint64_t scaled = mag / unit;
    if ((mag % unit) * 2 >= unit) ++scaled;  // half away from zero
    std::uint64_t pow = 1;
    for (int i = 0; i < decimals; ++i) pow *= 10;
    std::string out = negative && scaled != 0 ? "-" : "";
    out += std::to_string(scaled / pow);
    if (decimals > 0) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%0*llu", decimals, static_cast<unsigned long long>(scaled % pow));
        out += '.';
        out += buf;
    }
    return out;
}

// ---- dates -----------------------------------------------------------------------

double EncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        throw EVariantError("Invalid date");
    return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                               kDaysTo1970);
}

double EncodeTime(int hour, int minute, int second, int millisecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        throw EVariantError("Invalid time");
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

void DecodeDate(double date, int& year, int& month, int& day) {
    if (!std::isfinite(date) || std::fabs(date) > 3.0e6) {
        year = month = day = 0;
        return;
    }
    CivilFromDays(static_cast<std::int64_t>(std::trunc(date)) - kDaysTo1970, year, month, day);
}

void DecodeTime(double date, int& hour, int& minute, int& second, int& millisecond) {
    if (!std::isfinite(date)) {
        hour = minute = second = millisecond = 0;
        return;
    }
    std::int64_t ms = std::llround(std::fabs(date - std::trunc(date)) * 86400000.0);
    if (ms >= 86400000) ms = 86399999;
    millisecond = static_cast<int>(ms % 1000);
    second = static_cast<int>(ms / 1000 % 60);
    minute = static_cast<int>(ms / 60000 % 60);
    hour = static_cast<int>(ms / 3600000);
}

// ---- numbers as text -------------------------------------------------------------

// Both directions use <charconv>, which ignores the C locale: a process that set a
// locale with "," as the decimal separator still writes and reads "12.5".
std::string FloatToText(double value) {
    if (value == 0) return "0";
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string out(buf, res.ptr);
    for (char& c : out)
        if (c == 'e') c = 'E';
    return out;
}

double TextToFloat(std::string_view text) {
    std::string s(Trim(text));
    if (!s.empty() && s.front() == '+') s.erase(0, 1);
    if (s.empty()) Mismatch("text is no number");
    bool digit = false;
    for (char& c : s) {
        if (c == ',') c = '.';
        if (c >= '0' && c <= '9') digit = true;
        // Only plain decimal notation: no hexadecimal, no "inf" or "nan".
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            Mismatch("text is no number");
    }
    if (!digit) Mismatch("text is no number");
    double v = 0;
    const auto res = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) Overflow();
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) Mismatch("text is no number");
    if (!std::isfinite(v)) Overflow();
    return v;
}

// ---- SafeArray -------------------------------------------------------------------

SafeArray::SafeArray() : bounds_{{0, 0}} {}

SafeArray::SafeArray(std::vector<SafeArrayBound> bounds) : bounds_(std::move(bounds)) {
    if (bounds_.empty() || bounds_.size() > kMaxDims) throw EVariantError("Invalid number of array dimensions");
    std::size_t total = 1;
    for (const auto& b : bounds_) {
        if (b.count != 0 && total > std::numeric_limits<std::size_t>::max() / b.count) Overflow();
        total *= b.count;
    }
    elements_.resize(total);
}

SafeArray SafeArray::Vector(std::int32_t low, std::int32_t high) {
    const std::int64_t count = static_cast<std::int64_t>(high) - low + 1;
    if (count < 0) throw EVariantError("Invalid array bounds");
    return SafeArray({{static_cast<std::uint32_t>(count), low}});
}

SafeArray SafeArray::Of(std::initializer_list<Variant> items) { return Of(std::vector<Variant>(items)); }

SafeArray SafeArray::Of(std::vector<Variant> items) {
    SafeArray a;
    a.bounds_[0].count = static_cast<std::uint32_t>(items.size());
    a.elements_ = std::move(items);
    return a;
}

std::int32_t SafeArray::lbound(std::size_t dim) const {
    if (dim >= bounds_.size()) throw EVariantError("Invalid array dimension");
    return bounds_[dim].lbound;
}

std::int64_t SafeArray::ubound(std::size_t dim) const {
    if (dim >= bounds_.size()) throw EVariantError("Invalid array dimension");
    return static_cast<std::int64_t>(bounds_[dim].lbound) + bounds_[dim].count - 1;
}

Variant& SafeArray::at(std::span<const std::int32_t> index) {
    return const_cast<Variant&>(static_cast<const SafeArray&>(*this).at(index));
}

const Variant& SafeArray::at(std::span<const std::int32_t> index) const {
    if (index.size() != bounds_.size()) throw EVariantError("Invalid number of array indexes");
    std::size_t flat = 0, stride = 1;
    for (std::size_t d = 0; d < bounds_.size(); ++d) {
        const std::int64_t off = static_cast<std::int64_t>(index[d]) - bounds_[d].lbound;
        if (off < 0 || off >= static_cast<std::int64_t>(bounds_[d].count)) throw EVariantError("Array index out of bounds");
        flat += static_cast<std::size_t>(off) * stride;
        stride *= bounds_[d].count;
    }
    return elements_[flat];
}

bool operator==(const SafeArray& a, const SafeArray& b) { return a.bounds_ == b.bounds_ && a.elements_ == b.elements_; }

// ---- Variant ---------------------------------------------------------------------

Variant::Variant(SafeArray v) : vt_(VT_ARRAY | VT_VARIANT), arr_(std::make_unique<SafeArray>(std::move(v))) {}

Variant Variant::Null() {
    Variant v;
    v.vt_ = VT_NULL;
    return v;
}

Variant Variant::Date(double days) {
    Variant v(days);
    v.vt_ = VT_DATE;
    return v;
}

Variant Variant::Error(std::int32_t scode) {
    Variant v(scode);
    v.vt_ = VT_ERROR;
    return v;
}

Variant Variant::BoolRaw(std::int16_t raw) {
    Variant v;
    v.vt_ = VT_BOOL;
    v.num_.i = raw;
    return v;
}

Variant Variant::Ansi(std::string text) {
    Variant v(std::move(text));
    v.vt_ = VT_STRING;
    return v;
}

Variant Variant::Dispatch(IUnknown* object) {
    Variant v;
    v.vt_ = VT_DISPATCH;
    v.ref_ = object;
    if (object) object->AddRef();
    return v;
}

Variant Variant::Unknown(IUnknown* object) {
    Variant v = Dispatch(object);
    v.vt_ = VT_UNKNOWN;
    return v;
}

Variant::Variant(const Variant& o)
    : vt_(o.vt_), num_(o.num_), str_(o.str_), arr_(o.arr_ ? std::make_unique<SafeArray>(*o.arr_) : nullptr), ref_(o.ref_) {
    if (ref_) ref_->AddRef();
}

Variant::Variant(Variant&& o) noexcept
    : vt_(o.vt_), num_(o.num_), str_(std::move(o.str_)), arr_(std::move(o.arr_)), ref_(o.ref_) {
    o.ref_ = nullptr;
    o.vt_ = VT_EMPTY;
}

Variant& Variant::operator=(const Variant& o) {
    if (this != &o) {
        Variant copy(o);
        *this = std::move(copy);
    }
    return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
    if (this != &o) {
        if (ref_) ref_->Release();
        vt_ = o.vt_;
        num_ = o.num_;
        str_ = std::move(o.str_);
        arr_ = std::move(o.arr_);
        ref_ = o.ref_;
        o.ref_ = nullptr;
        o.vt_ = VT_EMPTY;
    }
    return *this;
}

Variant::~Variant() {
    if (ref_) ref_->Release();
}

void Variant::clear() { *this = Variant(); }

const SafeArray& Variant::array() const {
    if (!arr_) Mismatch("variant is no array");
    return *arr_;
}

SafeArray& Variant::array() {
    if (!arr_) Mismatch("variant is no array");
    return *arr_;
}

namespace {

// The value of a numeric variant as a double, for the float-to-integer rules.
double NumericValue(const Variant& v) {
    switch (v.type()) {
        case VT_EMPTY: return 0;
        case VT_I2:
        case VT_I4:
        case VT_UI1: return static_cast<double>(v.rawInt());
        case VT_R4:
        case VT_R8:
        case VT_DATE: return v.rawDouble();
        case VT_CY: return Currency::FromRaw(v.rawInt()).ToDouble();
        case VT_BOOL: return v.rawInt() != 0 ? -1 : 0;
        case VT_BSTR:
        case VT_STRING: return TextToFloat(v.rawString());
        case VT_NULL: Mismatch("Null");
        default: Mismatch("variant is no number");
    }
}

std::int64_t IntegerValue(const Variant& v, double lo, double hi) {
    switch (v.type()) {
        case VT_EMPTY: return 0;
        case VT_I2:
        case VT_I4:
        case VT_UI1: {
            const std::int64_t i = v.rawInt();
            if (i < lo || i > hi) Overflow();
            return i;
        }
        case VT_CY: {
            const std::int64_t i = CurrencyToInteger(v.rawInt());
            if (i < lo || i > hi) Overflow();
            return i;
        }
        case VT_BOOL:
            // True is -1; as an unsigned byte it reads 255, as the runtime does.
            if (v.rawInt() == 0) return 0;
            return lo < 0 ? -1 : 255;
        default: return RoundToInt(NumericValue(v), lo, hi);
    }
}

}  // namespace

std::int32_t Variant::toInt32() const { return static_cast<std::int32_t>(IntegerValue(*this, -2147483648.0, 2147483647.0)); }
std::int16_t Variant::toInt16() const { return static_cast<std::int16_t>(IntegerValue(*this, -32768.0, 32767.0)); }
std::uint8_t Variant::toUInt8() const { return static_cast<std::uint8_t>(IntegerValue(*this, 0.0, 255.0)); }

double Variant::toDouble() const {
    if (vt_ == VT_CY) return Currency::FromRaw(num_.i).ToDouble();
    return NumericValue(*this);
}

Currency Variant::toCurrency() const {
    switch (vt_) {
        case VT_EMPTY: return Currency();
        case VT_I2:
        case VT_I4:
        case VT_UI1: return Currency::FromUnits(num_.i);
        case VT_CY: return Currency::FromRaw(num_.i);
        case VT_BOOL: return Currency::FromUnits(num_.i != 0 ? -1 : 0);
        case VT_BSTR:
        case VT_STRING: return Currency::Parse(str_);
        default: return Currency::FromDouble(NumericValue(*this));
    }
}

bool Variant::toBool() const {
    switch (vt_) {
        case VT_EMPTY: return false;
        case VT_BOOL:
        case VT_I2:
        case VT_I4:
        case VT_UI1:
        case VT_CY: return num_.i != 0;
        case VT_R4:
        case VT_R8:
        case VT_DATE: return rawDouble() != 0;
        case VT_BSTR:
        case VT_STRING: {
            const std::string_view t = Trim(str_);
            if (IEquals(t, "true")) return true;
            if (IEquals(t, "false")) return false;
            return TextToFloat(t) != 0;
        }
        case VT_NULL: Mismatch("Null");
        default: Mismatch("variant is no Boolean");
    }
}

std::string Variant::toString() const {
    switch (vt_) {
        case VT_EMPTY: return "";
        case VT_I2:
        case VT_I4:
        case VT_UI1: return std::to_string(num_.i);
        case VT_R4:
        case VT_R8: return FloatToText(rawDouble());
        case VT_DATE: return DateToText(num_.d);
        case VT_CY: return Currency::FromRaw(num_.i).ToString();
        case VT_BOOL: return num_.i != 0 ? "True" : "False";
        case VT_BSTR:
        case VT_STRING: return str_;
        case VT_NULL: Mismatch("Null");
        default: Mismatch("variant is no text");
    }
}

double Variant::toDate() const {
    if (vt_ == VT_BSTR || vt_ == VT_STRING) return TextToDate(str_);
    const double d = toDouble();
    if (std::fabs(d) > 2958465.99999999) Overflow();  // beyond 9999-12-31
    return d;
}

bool operator==(const Variant& a, const Variant& b) {
    if (a.vt_ != b.vt_) return false;
    switch (a.vt_) {
        case VT_R4:
        case VT_R8:
        case VT_DATE: return a.rawDouble() == b.rawDouble();
        case VT_BSTR:
        case VT_STRING: return a.str_ == b.str_;
        case VT_DISPATCH:
        case VT_UNKNOWN: return a.ref_ == b.ref_;
        default:
            if (a.arr_ || b.arr_) return a.arr_ && b.arr_ && *a.arr_ == *b.arr_;
            return a.num_.i == b.num_.i;
    }
}

}  // namespace tolver

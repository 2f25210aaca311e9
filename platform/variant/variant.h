#pragma once
// The automation variant: a tagged value carrying the automation type codes, with
// arrays of variants (SafeArray), fixed-point currency and dates as days since
// 1899-12-30. Copying a variant copies its array; interface references are counted.
//
// Conversions, as an automation runtime performs them (every failure raises
// EVariantError):
//
//   from \ to    Int32 / Int16 / Byte       Double         Currency          Bool        String
//   Empty        0                          0              0                 false       ""
//   Null         fails                      fails          fails             fails       fails
//   I2 I4 UI1    the value (range checked)  the value      the value         value != 0  decimal
//   R4 R8 Date   rounded half to even       the value      x10000, rounded   value != 0  15 significant digits
//                                                          half to even                  (a date: "dd.mm.yyyy hh:nn:ss")
//   Currency     rounded half to even       value / 10000  the value         value != 0  exact decimal ("12.5")
//   String       parsed number, rounded     parsed number  exact decimal     "True", "False" (any case)  the text
//                                                                             or a number
//   Bool         -1 / 0                     -1 / 0         -1 / 0            the value   "True" / "False"
//   Error, arrays, interfaces: every conversion fails.
//
// A number in a text may carry blanks around it, a sign, "." or "," as the decimal
// separator and (for floats) an exponent; an empty text is no number. Every result
// outside the target's range fails, as do NaN and infinities.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/exception.h"
#include "platform/com/unknown.h"

namespace tolver {

enum VarType : std::uint16_t {
    VT_EMPTY = 0x0000,
    VT_NULL = 0x0001,
    VT_I2 = 0x0002,
    VT_I4 = 0x0003,
    VT_R4 = 0x0004,
    VT_R8 = 0x0005,
    VT_CY = 0x0006,
    VT_DATE = 0x0007,
    VT_BSTR = 0x0008,
    VT_DISPATCH = 0x0009,
    VT_ERROR = 0x000A,
    VT_BOOL = 0x000B,
    VT_VARIANT = 0x000C,
    VT_UNKNOWN = 0x000D,
    VT_UI1 = 0x0011,
    VT_STRING = 0x0100,  // 8-bit (code page 1251) string
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

// Signed 64-bit count of ten-thousandths.
class Currency {
public:
    static constexpr std::int64_t kScale = 10000;

    constexpr Currency() = default;
    static constexpr Currency FromRaw(std::int64_t raw) {
        Currency c;
        c.raw_ = raw;
        return c;
    }
    // Whole units; fails when the value does not fit.
    static Currency FromUnits(std::int64_t units);
    // Rounded half to even to four places; fails on NaN, infinities and overflow.
    static Currency FromDouble(double value);
    // Exact decimal text ("-12.3456", "12,5", " 7 "); a fifth decimal and beyond are
    // rounded half to even. Fails on anything else.
    static Currency Parse(std::string_view text);

    constexpr std::int64_t raw() const { return raw_; }
    double ToDouble() const { return static_cast<double>(raw_) / kScale; }
    // Shortest exact decimal: "12.5", "-0.0001", "3".
    std::string ToString() const;
    // Exactly `decimals` places (0 to 4), rounded half away from zero: Format(2) of 1.005 is "1.01".
    std::string Format(int decimals) const;

    friend constexpr bool operator==(Currency a, Currency b) = default;
    friend constexpr auto operator<=>(Currency a, Currency b) = default;

private:
    std::int64_t raw_ = 0;
};

// Days since 1899-12-30 with the time of day as the fraction.
double EncodeDate(int year, int month, int day);
double EncodeTime(int hour, int minute, int second, int millisecond = 0);
void DecodeDate(double date, int& year, int& month, int& day);
void DecodeTime(double date, int& hour, int& minute, int& second, int& millisecond);

class SafeArray;

class Variant {
public:
    Variant() = default;
    Variant(std::int16_t v) : vt_(VT_I2) { num_.i = v; }
    Variant(std::int32_t v) : vt_(VT_I4) { num_.i = v; }
    Variant(std::uint8_t v) : vt_(VT_UI1) { num_.i = v; }
    Variant(float v) : vt_(VT_R4) { num_.f = v; }
    Variant(double v) : vt_(VT_R8) { num_.d = v; }
    Variant(Currency v) : vt_(VT_CY) { num_.i = v.raw(); }
    Variant(bool v) : vt_(VT_BOOL) { num_.i = v ? VARIANT_TRUE : VARIANT_FALSE; }
    Variant(std::string v) : vt_(VT_BSTR), str_(std::move(v)) {}
    Variant(std::string_view v) : vt_(VT_BSTR), str_(v) {}
    Variant(const char* v) : vt_(VT_BSTR), str_(v) {}
    Variant(SafeArray v);

    static Variant Null();
    static Variant Date(double days);
    static Variant Error(std::int32_t scode);
    // A Boolean with its raw 16 bits (0 false, anything else true).
    static Variant BoolRaw(std::int16_t raw);
    // An 8-bit string; the text is kept in UTF-8 and written in code page 1251.
    static Variant Ansi(std::string text);
    // Interface references; the variant holds one reference of its own.
    static Variant Dispatch(IUnknown* object);
    static Variant Unknown(IUnknown* object);

    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    ~Variant();

    std::uint16_t type() const { return vt_; }
    bool isEmpty() const { return vt_ == VT_EMPTY; }
    bool isNull() const { return vt_ == VT_NULL; }
    bool isArray() const { return (vt_ & VT_ARRAY) != 0; }
    bool isString() const { return vt_ == VT_BSTR || vt_ == VT_STRING; }
    void clear();

    // Raw payloads; the caller checks type() first.
    std::int64_t rawInt() const { return num_.i; }  // I2, I4, UI1, Error, Bool (raw 16 bits), Currency (raw)
    double rawDouble() const { return vt_ == VT_R4 ? num_.f : num_.d; }  // R4, R8, Date
    float rawSingle() const { return num_.f; }  // R4, bit for bit
    const std::string& rawString() const { return str_; }
    IUnknown* rawInterface() const { return ref_; }

    // The array; fails when the variant holds none.
    const SafeArray& array() const;
    SafeArray& array();

    std::int32_t toInt32() const;
    std::int16_t toInt16() const;
    std::uint8_t toUInt8() const;
    double toDouble() const;
    Currency toCurrency() const;
    bool toBool() const;
    std::string toString() const;
    double toDate() const;  // numeric kinds as days; a text as "dd.mm.yyyy[ hh:nn[:ss]]" or "yyyy-mm-dd[ ...]"

    // Same type and same payload (doubles compared by value, arrays element-wise).
    friend bool operator==(const Variant& a, const Variant& b);

private:
    std::uint16_t vt_ = VT_EMPTY;
    union {
        std::int64_t i;
        double d;
        float f;
    } num_{0};
    std::string str_;
    std::unique_ptr<SafeArray> arr_;
    IUnknown* ref_ = nullptr;
};

struct SafeArrayBound {
    std::uint32_t count = 0;
    std::int32_t lbound = 0;
    friend bool operator==(const SafeArrayBound&, const SafeArrayBound&) = default;
};

// An array of variants with up to 64 dimensions. Bounds run from the first dimension
// to the last; elements are kept with the first index varying fastest.
class SafeArray {
public:
    static constexpr std::size_t kMaxDims = 64;

    SafeArray();
    explicit SafeArray(std::vector<SafeArrayBound> bounds);  // fails on 0 or more than 64 dimensions
    // One dimension from low to high (high = low - 1 gives an empty array).
    static SafeArray Vector(std::int32_t low, std::int32_t high);
    // One dimension from 0 holding the given elements.
    static SafeArray Of(std::initializer_list<Variant> items);
    static SafeArray Of(std::vector<Variant> items);

    std::size_t dims() const { return bounds_.size(); }
    const std::vector<SafeArrayBound>& bounds() const { return bounds_; }
    // 0-based dimension index; fails when there is no such dimension.
    std::int32_t lbound(std::size_t dim = 0) const;
    std::int64_t ubound(std::size_t dim = 0) const;
    std::size_t size() const { return elements_.size(); }

    // The element at one index per dimension; fails when an index is out of bounds.
    Variant& at(std::span<const std::int32_t> index);
    const Variant& at(std::span<const std::int32_t> index) const;
    Variant& at(std::initializer_list<std::int32_t> index) { return at(std::span(index.begin(), index.size())); }
    const Variant& at(std::initializer_list<std::int32_t> index) const { return at(std::span(index.begin(), index.size())); }
    // One-dimensional element by index (lower bound counted).
    Variant& operator[](std::int32_t index) { return at({index}); }
    const Variant& operator[](std::int32_t index) const { return at({index}); }

    std::vector<Variant>& elements() { return elements_; }
    const std::vector<Variant>& elements() const { return elements_; }

    friend bool operator==(const SafeArray& a, const SafeArray& b);

private:
    std::vector<SafeArrayBound> bounds_;
    std::vector<Variant> elements_;
};

// A one-dimensional array of variants from 0: VarArray({1, "a", Currency::FromUnits(2)}).
inline Variant VarArray(std::initializer_list<Variant> items) { return Variant(SafeArray::Of(items)); }

// Text of a double as an automation runtime writes it (15 significant digits).
std::string FloatToText(double value);
// Parses a number as the conversion table says; fails with EVariantError.
double TextToFloat(std::string_view text);

}  // namespace tolver

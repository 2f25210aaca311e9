#pragma once
// Text formatting of the reports. Widths count characters, not bytes; the format
// settings are pinned (below), never taken from the machine's locale, so that a
// statement reads the same on every till.

#include <string>
#include <string_view>
#include <utility>

#include "platform/variant/variant.h"

namespace tolver::report {

inline constexpr char kDecimalSeparator = ',';
inline constexpr char kDateSeparator = '.';
inline constexpr char kTimeSeparator = ':';

// The text s cut to at most `precision` characters (negative: no cut) and padded with
// blanks to `width` characters, on the right when left is set, else on the left.
std::string Pad(std::string_view s, int width, int precision = -1, bool left = true);
// Right-aligned in width characters; "..." (right-aligned) when s is wider, so that
// a number never loses digits to its column.
std::string FitRight(std::string_view s, int width);

// Money with two decimals, rounded half away from zero on the fixed-point value
// (never "-0,00"), right-aligned in width characters.
std::string Money(Currency value, int width = 9);
// A count: with three decimals when it has a fractional part, else the nearest
// integer.
std::string CountText(double count);
// A count held as fixed point: with three decimals when its four have a fractional
// part, else whole.
std::string CountText(Currency count);

// The same, appended to out without a text of their own. AppendCount appends
// FitRight(CountText(count), width).
void AppendPad(std::string& out, std::string_view s, int width, int precision = -1, bool left = true);
void AppendMoney(std::string& out, Currency value, int width = 9);
void AppendCount(std::string& out, double count, int width);
// The same written at p, for the lines a statement writes for each of millions of
// rows; each returns the end of what it wrote. The room they need: PutPad the bytes of
// the first `precision` characters of s and `width` more, PutMoney and PutCount 32 and
// `width` more.
char* PutPad(char* p, std::string_view s, int width, int precision = -1, bool left = true);
char* PutMoney(char* p, Currency value, int width = 9);
char* PutCount(char* p, double count, int width);
// The byte length of the first `count` characters of s (all of it for a negative
// count) and how many characters that is.
std::pair<std::size_t, std::size_t> CharPrefix(std::string_view s, int count);
// Whether x has a fractional part.
bool HasFraction(double x);
// x brought to the nearest integer, halves to the even neighbour.
double Nearest(double x);
int NearestInt(double x);

// Russian and Ukrainian upper-casing (any script, in fact).
std::string Upper(std::string_view s);
// The text without trailing blanks (a view into s).
std::string_view TrimRight(std::string_view s);

// Day numbers: the whole day and the time of day.
double DayOf(double dateTime);
double TimeOf(double dateTime);
// "dd.mm.yyyy"
std::string DateText(double dateTime);
// "hh:nn"
std::string ShortTimeText(double dateTime);
// "hh:nn:ss"
std::string LongTimeText(double dateTime);
// "dd.mm"
std::string DayMonthText(double dateTime);

}  // namespace tolver::report

#pragma once
// Reading and writing the variant forms of the settings classes: one-dimensional
// arrays of variants with low bound 0. A reader checks the bounds, reads the required
// elements in order and each optional trailing element in its own guard, so that a
// missing or unconvertible one leaves its field unchanged. Every failure of a
// required step raises Exception(kVariantReadError).
//
//   const VarFormReader r(v, 2);        // high bound 2 or more
//   Description = r.Get<std::string>(1);
//   r.Try(3, ValueAdv);                 // optional: kept when missing or bad

#include <cstdint>
#include <limits>
#include <string>

#include "platform/base/exception.h"
#include "platform/variant/variant.h"

namespace tolver {

[[noreturn]] void RaiseVariantReadError();

class VarFormReader {
public:
    static constexpr std::int64_t kAnyHigh = std::numeric_limits<std::int64_t>::max();

    // v must be a one-dimensional array with low bound 0 whose high bound lies in
    // [minHigh, maxHigh].
    VarFormReader(const Variant& v, std::int64_t minHigh, std::int64_t maxHigh = kAnyHigh);

    std::int64_t High() const { return high_; }
    bool Has(std::int64_t i) const { return i >= 0 && i <= high_; }
    const Variant& At(std::int64_t i) const;

    // T is std::int32_t, std::uint8_t (an Integer kept in its low 8 bits), bool,
    // Currency (rounded to four places), double, std::string or Variant (as it is).
    template <class T>
    T Get(std::int64_t i) const;
    // The optional form: false, and out untouched, when the element is missing or
    // does not convert.
    template <class T>
    bool Try(std::int64_t i, T& out) const {
        if (!Has(i)) return false;
        try {
            out = Get<T>(i);
            return true;
        } catch (const Exception&) {
            return false;
        }
    }

private:
    const SafeArray* array_;
    std::int64_t high_;
};

}  // namespace tolver

#include "common/varform.h"

namespace tolver {

void RaiseVariantReadError() { throw Exception(kVariantReadError); }

VarFormReader::VarFormReader(const Variant& v, std::int64_t minHigh, std::int64_t maxHigh) {
    if (!v.isArray()) RaiseVariantReadError();
    array_ = &v.array();
    if (array_->dims() != 1 || array_->lbound(0) != 0) RaiseVariantReadError();
    high_ = array_->ubound(0);
    if (high_ < minHigh || high_ > maxHigh) RaiseVariantReadError();
}

const Variant& VarFormReader::At(std::int64_t i) const {
    if (!Has(i)) RaiseVariantReadError();
    return array_->elements()[static_cast<std::size_t>(i)];
}

template <class T>
T VarFormReader::Get(std::int64_t i) const {
    const Variant& v = At(i);
    try {
        if constexpr (std::is_same_v<T, std::int32_t>) return v.toInt32();
        else if constexpr (std::is_same_v<T, std::uint8_t>) return static_cast<std::uint8_t>(v.toInt32());
        else if constexpr (std::is_same_v<T, bool>) return v.toBool();
        else if constexpr (std::is_same_v<T, Currency>) return v.toCurrency();
        else if constexpr (std::is_same_v<T, double>) return v.toDouble();
        else if constexpr (std::is_same_v<T, std::string>) return v.toString();
        else return v;
    } catch (const EVariantError&) {
        RaiseVariantReadError();
    }
}

template std::int32_t VarFormReader::Get<std::int32_t>(std::int64_t) const;
template std::uint8_t VarFormReader::Get<std::uint8_t>(std::int64_t) const;
template bool VarFormReader::Get<bool>(std::int64_t) const;
template Currency VarFormReader::Get<Currency>(std::int64_t) const;
template double VarFormReader::Get<double>(std::int64_t) const;
template std::string VarFormReader::Get<std::string>(std::int64_t) const;
template Variant VarFormReader::Get<Variant>(std::int64_t) const;

}  // namespace tolver

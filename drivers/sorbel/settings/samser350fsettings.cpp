#include "drivers/sorbel/settings/samser350fsettings.h"

namespace tolver {

void GetSorbelDefaultProperties(TCashDriverProperties& properties) {
    properties.CashType = kSorbelCashType;
    properties.AutoObjectName = kSorbelProgId;
}

// ---- TCashSamsER350FDriverProperties --------------------------------------------------

void TCashSamsER350FDriverProperties::Assign(const TPersistent& source) {
    TCashDriverProperties::Assign(source);
    if (const auto* s = dynamic_cast<const TCashSamsER350FDriverProperties*>(&source)) Fields().Copy(*this, *s);
}

std::unique_ptr<TProperties> TCashSamsER350FDriverProperties::Create() const {
    return std::make_unique<TCashSamsER350FDriverProperties>();
}

Variant TCashSamsER350FDriverProperties::GetAsVariant() const { return Fields().Write(*this); }

void TCashSamsER350FDriverProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

// ---- TCashSamsER350FDriverAdvProperties ----------------------------------------------

void TCashSamsER350FDriverAdvProperties::Assign(const TPersistent& source) {
    const auto* s = dynamic_cast<const TCashSamsER350FDriverAdvProperties*>(&source);
    if (!s) return TProperties::Assign(source);
    Fields().Copy(*this, *s);
}

std::unique_ptr<TProperties> TCashSamsER350FDriverAdvProperties::Create() const {
    return std::make_unique<TCashSamsER350FDriverAdvProperties>();
}

Variant TCashSamsER350FDriverAdvProperties::GetAsVariant() const { return Fields().Write(*this); }

void TCashSamsER350FDriverAdvProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

std::uint8_t TCashSamsER350FDriverAdvProperties::SysCond(int n) const {
    return n >= 1 && n <= kSysCondCount ? SysConds[static_cast<std::size_t>(n - 1)] : 0;
}

void TCashSamsER350FDriverAdvProperties::SetSysCond(int n, std::uint8_t value) {
    if (n >= 1 && n <= kSysCondCount) SysConds[static_cast<std::size_t>(n - 1)] = value;
}

}  // namespace tolver

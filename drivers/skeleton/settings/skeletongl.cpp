#include "drivers/skeleton/settings/skeletongl.h"

namespace tolver {

void GetSkeletonDefaultProperties(TCashDriverProperties& properties) {
    properties.CashType = kSkeletonCashType;
    properties.AutoObjectName = kSkeletonProgId;
}

void TCashSkeletonDriverProperties::Assign(const TPersistent& source) {
    TCashDriverProperties::Assign(source);
    if (const auto* s = dynamic_cast<const TCashSkeletonDriverProperties*>(&source)) Fields().Copy(*this, *s);
}

std::unique_ptr<TProperties> TCashSkeletonDriverProperties::Create() const {
    return std::make_unique<TCashSkeletonDriverProperties>();
}

Variant TCashSkeletonDriverProperties::GetAsVariant() const { return Fields().Write(*this); }

void TCashSkeletonDriverProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

void TCashSkeletonDriverAdvProperties::Assign(const TPersistent& source) {
    const auto* s = dynamic_cast<const TCashSkeletonDriverAdvProperties*>(&source);
    if (!s) return TProperties::Assign(source);
    Fields().Copy(*this, *s);
}

std::unique_ptr<TProperties> TCashSkeletonDriverAdvProperties::Create() const {
    return std::make_unique<TCashSkeletonDriverAdvProperties>();
}

Variant TCashSkeletonDriverAdvProperties::GetAsVariant() const { return Fields().Write(*this); }

void TCashSkeletonDriverAdvProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

const TCashDriverConstraints& SkeletonVersion() {
    static const TCashDriverConstraints row = [] {
        TCashDriverConstraints c;
        c.VersionName = "1.0";
        c.MaxDep = 1;
        c.MaxArt = 1;
        c.MaxTax = 1;
        c.MaxOp = 1;
        c.NameLength = 24;
        c.XReportItems = "Дневной;";
        c.ZReportItems = "Дневной;";
        return c;
    }();
    return row;
}

}  // namespace tolver

#include "drivers/sorbel/settings/samser350fsettings.h"

#include "common/varform.h"

namespace tolver {

void GetSorbelDefaultProperties(TCashDriverProperties& properties) {
    properties.CashType = kSorbelCashType;
    properties.AutoObjectName = kSorbelProgId;
}

// ---- TCashSamsER350FDriverProperties --------------------------------------------------

void TCashSamsER350FDriverProperties::Assign(const TPersistent& source) {
    TCashDriverProperties::Assign(source);
    if (const auto* s = dynamic_cast<const TCashSamsER350FDriverProperties*>(&source)) {
        WaitCheckOutPrint = s->WaitCheckOutPrint;
        WaitCheckOutLongPrint = s->WaitCheckOutLongPrint;
        Priority = s->Priority;
        KeyCheckMode = s->KeyCheckMode;
        Model = s->Model;
    }
}

std::unique_ptr<TProperties> TCashSamsER350FDriverProperties::Create() const {
    return std::make_unique<TCashSamsER350FDriverProperties>();
}

Variant TCashSamsER350FDriverProperties::GetAsVariant() const {
    // Model comes before Priority.
    return VarArray({TCashDriverProperties::GetAsVariant(), WaitCheckOutPrint, WaitCheckOutLongPrint,
                     static_cast<std::int32_t>(Model), static_cast<std::int32_t>(Priority),
                     static_cast<std::int32_t>(KeyCheckMode)});
}

void TCashSamsER350FDriverProperties::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 4);
    TCashDriverProperties::SetFromVariant(r.At(0));
    WaitCheckOutPrint = r.Get<std::int32_t>(1);
    WaitCheckOutLongPrint = r.Get<std::int32_t>(2);
    Model = r.Get<std::uint8_t>(3);
    Priority = r.Get<std::uint8_t>(4);
    r.Try(5, KeyCheckMode);
}

// ---- TCashSamsER350FDriverAdvProperties ----------------------------------------------

void TCashSamsER350FDriverAdvProperties::Assign(const TPersistent& source) {
    const auto* s = dynamic_cast<const TCashSamsER350FDriverAdvProperties*>(&source);
    if (!s) return TProperties::Assign(source);
    SysCond1 = s->SysCond1;
    SysCond2 = s->SysCond2;
    SysCond3 = s->SysCond3;
    SysCond4 = s->SysCond4;
    SysCond5 = s->SysCond5;
    SysCond6 = s->SysCond6;
    SysCond7 = s->SysCond7;
    SysCond8 = s->SysCond8;
    SysCond9 = s->SysCond9;
    BlockKeyboard = s->BlockKeyboard;
}

std::unique_ptr<TProperties> TCashSamsER350FDriverAdvProperties::Create() const {
    return std::make_unique<TCashSamsER350FDriverAdvProperties>();
}

Variant TCashSamsER350FDriverAdvProperties::GetAsVariant() const {
    const auto i = [](std::uint8_t v) { return Variant(static_cast<std::int32_t>(v)); };
    return VarArray({i(SysCond1), i(SysCond2), i(SysCond3), i(SysCond4), i(SysCond5), i(SysCond6), i(SysCond7),
                     i(SysCond8), i(SysCond9), BlockKeyboard});
}

void TCashSamsER350FDriverAdvProperties::SetFromVariant(const Variant& value) {
    const VarFormReader r(value, 9, 9);
    std::uint8_t* conds[] = {&SysCond1, &SysCond2, &SysCond3, &SysCond4, &SysCond5,
                             &SysCond6, &SysCond7, &SysCond8, &SysCond9};
    for (int i = 0; i < 9; ++i) *conds[i] = r.Get<std::uint8_t>(i);
    BlockKeyboard = r.Get<bool>(9);
}

std::uint8_t TCashSamsER350FDriverAdvProperties::SysCond(int n) const {
    const std::uint8_t conds[] = {SysCond1, SysCond2, SysCond3, SysCond4, SysCond5,
                                  SysCond6, SysCond7, SysCond8, SysCond9};
    return n >= 1 && n <= 9 ? conds[n - 1] : 0;
}

}  // namespace tolver

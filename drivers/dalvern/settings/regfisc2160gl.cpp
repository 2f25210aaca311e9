#include "drivers/dalvern/settings/regfisc2160gl.h"

namespace tolver {

void GetRegFisc2160DefaultProperties(TCashDriverProperties& properties) {
    properties.CashType = kDalvernCashType;
    properties.AutoObjectName = kDalvernProgId;
}

// ---- TCashRegFisc2160DriverProperties ---------------------------------------------

void TCashRegFisc2160DriverProperties::Assign(const TPersistent& source) {
    TCashDriverProperties::Assign(source);
    if (const auto* s = dynamic_cast<const TCashRegFisc2160DriverProperties*>(&source)) Fields().Copy(*this, *s);
}

std::unique_ptr<TProperties> TCashRegFisc2160DriverProperties::Create() const {
    return std::make_unique<TCashRegFisc2160DriverProperties>();
}

Variant TCashRegFisc2160DriverProperties::GetAsVariant() const { return Fields().Write(*this); }

void TCashRegFisc2160DriverProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

// ---- TCashRegFisc2160DriverAdvProperties ------------------------------------------

void TCashRegFisc2160DriverAdvProperties::Assign(const TPersistent& source) {
    const auto* s = dynamic_cast<const TCashRegFisc2160DriverAdvProperties*>(&source);
    if (!s) return TProperties::Assign(source);
    Fields().Copy(*this, *s);
}

std::unique_ptr<TProperties> TCashRegFisc2160DriverAdvProperties::Create() const {
    return std::make_unique<TCashRegFisc2160DriverAdvProperties>();
}

Variant TCashRegFisc2160DriverAdvProperties::GetAsVariant() const { return Fields().Write(*this); }

void TCashRegFisc2160DriverAdvProperties::SetFromVariant(const Variant& value) { Fields().Read(*this, value); }

// ---- firmware versions ------------------------------------------------------------

namespace {

constexpr const char* kProgramItems = "Дата;Время;Информация на чеке;Параметры фискального режима;Артикулы;Ставки НДС;Имена и пароли кассиров;Накопление налогов;Автоотрезчик;";
constexpr const char* kXReportItems = "Дневной по продажам;Кассиров;По артикулам;Периодический по датам фискальной памяти;Периодический по датам фискальной памяти (сокращенный);Периодический по номерам фискальной памяти;Периодический по номерам фискальной памяти (сокращенный);Программирования;";
constexpr const char* kZReportItems = "Дневной по продажам;Кассиров;По артикулам;";

TCashDriverConstraints Row(const char* name) {
    TCashDriverConstraints c;
    c.VersionName = name;
    c.MaxDep = 16;
    c.MaxArt = 8000;
    c.MaxTax = 8;
    c.MaxOp = 15;
    c.Reserved1 = 0;
    c.NameLength = 24;
    c.Reserved2 = 3;
    c.HeaderLines = 5;
    c.FooterLines = 5;
    c.MsgLineWidth = 35;
    c.ProgramItems = kProgramItems;
    c.XReportItems = kXReportItems;
    c.ZReportItems = kZReportItems;
    return c;
}

}  // namespace

const TCashDriverConstraints* RegFisc2160Version(int row) {
    // The last name ends in the Latin letter O, as the register reports it.
    static const std::array<TCashDriverConstraints, kRegFisc2160VersionCount> kVersions = {
        Row("26.10.0"), Row("2160.01.02"), Row("2160.01.03"), Row("2160.01.O")};
    return row >= 0 && row < kRegFisc2160VersionCount ? &kVersions[static_cast<std::size_t>(row)] : nullptr;
}

}  // namespace tolver

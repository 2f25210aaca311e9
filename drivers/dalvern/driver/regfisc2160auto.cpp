#include "drivers/dalvern/driver/regfisc2160auto.h"

#include <cmath>

#include "drivers/contract/driverinfoform.h"
#include "drivers/dalvern/forms/regfisc2160advpropertiesform.h"
#include "drivers/dalvern/forms/regfisc2160propertiesform.h"

namespace tolver {

TRegFisc2160CashDriverAuto::TRegFisc2160CashDriverAuto(LinkFactory makeLink)
    : TCashDriverAutoOf(IRegFisc2160CashDriverAutoEvents::IID), makeLink_(std::move(makeLink)) {}

TRegFisc2160CashDriverAuto::~TRegFisc2160CashDriverAuto() = default;

std::unique_ptr<TRegFisc2160> TRegFisc2160CashDriverAuto::MakeDriver() {
    return std::make_unique<TRegFisc2160>(makeLink_());
}

// ---- frames and settings --------------------------------------------------------------

void TRegFisc2160CashDriverAuto::ShowSettings() {
    if (auto* frame = driver_->PropertiesFrame()) frame->PropertiesToForm();
}
void TRegFisc2160CashDriverAuto::TakeSettings() {
    if (auto* frame = driver_->PropertiesFrame()) frame->FormToProperties();
}
void TRegFisc2160CashDriverAuto::ShowAdvSettings() {
    if (auto* frame = driver_->AdvPropertiesFrame()) frame->PropertiesToForm();
}
void TRegFisc2160CashDriverAuto::TakeAdvSettings() {
    if (auto* frame = driver_->AdvPropertiesFrame()) frame->FormToProperties();
}

// ---- item lists, reports and programming -----------------------------------------------

// The limits follow the firmware row the register identified itself with.
HRESULT TRegFisc2160CashDriverAuto::get_Constraints(Variant* Value) {
    return ConstraintsOf(&driver_->Version(), Value);
}

HRESULT TRegFisc2160CashDriverAuto::get_CashModelDescription(std::string* Value) {
    return Guard([&] { *Value = std::string(kDalvernName) + '\x01' + driver_->Version().VersionName; });
}

HRESULT TRegFisc2160CashDriverAuto::get_BeginMsg(std::string* Value) {
    return Guard([&] { Value->clear(); });  // this register's header is not captured
}

HRESULT TRegFisc2160CashDriverAuto::SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                                           const std::string& Description, bool Return, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->SetArt(NArt, NDep, NTax, Price, Description, Return); });
}

// ---- receipt operations -----------------------------------------------------------------

HRESULT TRegFisc2160CashDriverAuto::AddPayDep(const std::string&, double, Currency, Currency, std::int32_t,
                                              std::int32_t* Value) {
    return Guard([&] { *Value = driver_->AddPayDep(); });
}

HRESULT TRegFisc2160CashDriverAuto::DelPayDep(Currency, Currency, std::int32_t, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->DelPayDep(); });
}

}  // namespace tolver

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

HRESULT TRegFisc2160CashDriverAuto::Init(const Variant& CashDriverProperties, std::string* Cause,
                                         std::int32_t* Value) {
    return InitWith(
        driver_->Settings(), CashDriverProperties, [this] { ShowSettings(); },
        [this](std::string& cause) { return driver_->Init(cause); }, Cause, Value);
}

HRESULT TRegFisc2160CashDriverAuto::Done() {
    return Guard([&] { driver_->Done(); });
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

HRESULT TRegFisc2160CashDriverAuto::GetXReport(const std::string& Items, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->GetXReport(Items); });
}

HRESULT TRegFisc2160CashDriverAuto::GetZReport(const std::string& Items, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->GetZReport(Items); });
}

HRESULT TRegFisc2160CashDriverAuto::GetProgram(const std::string& Items, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->GetProgram(Items); });
}

HRESULT TRegFisc2160CashDriverAuto::ProgramAfterReg(const std::string& Param, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->ProgramAfterReg(Param); });
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

HRESULT TRegFisc2160CashDriverAuto::AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                                              std::int32_t* Value) {
    return Guard([&] {
        TRegFisc2160& d = *driver_;
        *Value = SellByCount(
            Count, [&] { return d.AddPayArt(NArt, SumWithoutNDS, Sum); },
            [&] { return d.AddPayArtFrac(NArt, Count, SumWithoutNDS, Sum); },
            [&](std::int32_t n) { return d.AddPayArtInt(n, NArt, SumWithoutNDS, Sum); });
    });
}

HRESULT TRegFisc2160CashDriverAuto::DelPayDep(Currency, Currency, std::int32_t, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->DelPayDep(); });
}

HRESULT TRegFisc2160CashDriverAuto::DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                                              std::int32_t* Value) {
    return Guard([&] { *Value = driver_->DelPayArt(SumWithoutNDS, Sum, NArt); });
}

HRESULT TRegFisc2160CashDriverAuto::AddCash(Currency Sum, TPayType PayType, const std::string& Info,
                                            std::int32_t* Value) {
    return Guard([&] { *Value = driver_->AddCash(PayType, Info, Sum); });
}

HRESULT TRegFisc2160CashDriverAuto::ReturnCash(Currency Sum, TPayType PayType, const std::string& Info,
                                               std::int32_t* Value) {
    return Guard([&] { *Value = driver_->ReturnCash(PayType, Info, Sum); });
}

HRESULT TRegFisc2160CashDriverAuto::CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->CloseCheck(PayType, Sum); });
}

HRESULT TRegFisc2160CashDriverAuto::OpenCheck(const std::string& Info, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->OpenCheck(Info); });
}

HRESULT TRegFisc2160CashDriverAuto::AddInfo(const std::string& Value, std::int32_t* Value1) {
    return Guard([&] { *Value1 = driver_->AddInfo(Value); });
}

HRESULT TRegFisc2160CashDriverAuto::RegOp(std::int32_t NOp, const std::string&, const std::string& Password,
                                          std::int32_t* Value) {
    return Guard([&] { *Value = driver_->RegOp(NOp, Password); });
}

HRESULT TRegFisc2160CashDriverAuto::UnRegOp(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->UnRegOp(); });
}

}  // namespace tolver

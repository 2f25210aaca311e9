#include "drivers/dalvern/driver/regfisc2160auto.h"

#include <cmath>

#include "drivers/contract/driverinfoform.h"
#include "drivers/dalvern/forms/regfisc2160advpropertiesform.h"
#include "drivers/dalvern/forms/regfisc2160propertiesform.h"

namespace tolver {

TRegFisc2160CashDriverAuto::TRegFisc2160CashDriverAuto(LinkFactory makeLink)
    : TCashDriverAutoObject(IRegFisc2160CashDriverAutoEvents::IID), makeLink_(std::move(makeLink)) {}

TRegFisc2160CashDriverAuto::~TRegFisc2160CashDriverAuto() = default;

void TRegFisc2160CashDriverAuto::Initialize() {
    AddEventConnectionPoint();
    driver_ = std::make_unique<TRegFisc2160>(makeLink_());
    driver_->Events.AutoObject = this;
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

HRESULT TRegFisc2160CashDriverAuto::get_PropertiesForm(std::int32_t* Value) {
    return FrameOf(driver_->PropertiesFrame(), Value);
}

HRESULT TRegFisc2160CashDriverAuto::get_InfoForm(std::int32_t* Value) { return FrameOf(driver_->InfoFrame(), Value); }

HRESULT TRegFisc2160CashDriverAuto::get_AdvPropertiesForm(std::int32_t* Value) {
    return FrameOf(driver_->AdvPropertiesFrame(), Value);
}

HRESULT TRegFisc2160CashDriverAuto::get_Properties(Variant* Value) {
    return GetSettings(driver_->Settings(), [this] { TakeSettings(); }, Value);
}

HRESULT TRegFisc2160CashDriverAuto::set_Properties(const Variant& Value) {
    return PutSettings(driver_->Settings(), Value, [this] { ShowSettings(); });
}

HRESULT TRegFisc2160CashDriverAuto::get_AdvProperties(Variant* Value) {
    return GetSettings(driver_->AdvSettings(), [this] { TakeAdvSettings(); }, Value);
}

HRESULT TRegFisc2160CashDriverAuto::set_AdvProperties(const Variant& Value) {
    return PutSettings(driver_->AdvSettings(), Value, [this] { ShowAdvSettings(); });
}

HRESULT TRegFisc2160CashDriverAuto::set_SpoolerSetup(const Variant& Value) {
    return PutSpoolerSetup(driver_->Setup, driver_->AdvSettings(), Value, [this] { ShowAdvSettings(); });
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

// ---- the line -------------------------------------------------------------------------

HRESULT TRegFisc2160CashDriverAuto::get_ComNumber(std::uint8_t* Value) {
    return Guard([&] { *Value = driver_->GetComNumber(); });
}

HRESULT TRegFisc2160CashDriverAuto::set_ComNumber(std::uint8_t Value) {
    return Guard([&] { driver_->SetComNumber(Value); });
}

HRESULT TRegFisc2160CashDriverAuto::get_Baud(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->GetBaud(); });
}

HRESULT TRegFisc2160CashDriverAuto::set_Baud(std::int32_t Value) {
    return Guard([&] { driver_->SetBaud(Value); });
}

HRESULT TRegFisc2160CashDriverAuto::get_InInteraction(bool* Value) {
    return Guard([&] { *Value = driver_->GetInInteraction(); });
}

HRESULT TRegFisc2160CashDriverAuto::get_ID(std::string* Value) {
    return Guard([&] { *Value = driver_->GetID(); });
}

HRESULT TRegFisc2160CashDriverAuto::get_TrashID(std::string* Value) {
    return Guard([&] { *Value = driver_->GetTrashID(); });
}

// ---- item lists, reports and programming -----------------------------------------------

// The lists and limits follow the firmware row the register identified itself with.
HRESULT TRegFisc2160CashDriverAuto::get_ProgramItems(std::string* Value) {
    return Guard([&] { *Value = driver_->Version().ProgramItems; });
}

HRESULT TRegFisc2160CashDriverAuto::get_XReportItems(std::string* Value) {
    return Guard([&] { *Value = driver_->Version().XReportItems; });
}

HRESULT TRegFisc2160CashDriverAuto::get_ZReportItems(std::string* Value) {
    return Guard([&] { *Value = driver_->Version().ZReportItems; });
}

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
        switch (KindOfCount(Count)) {
            case CountKind::One: *Value = d.AddPayArt(NArt, SumWithoutNDS, Sum); break;
            case CountKind::Fraction: *Value = d.AddPayArtFrac(NArt, Count, SumWithoutNDS, Sum); break;
            case CountKind::Whole:
                *Value = d.AddPayArtInt(static_cast<std::int32_t>(Count), NArt, SumWithoutNDS, Sum);
                break;
            case CountKind::Invalid: *Value = -1; break;
        }
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

HRESULT TRegFisc2160CashDriverAuto::Restore(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->Restore(); });
}

HRESULT TRegFisc2160CashDriverAuto::Terminate(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->Terminate(); });
}

}  // namespace tolver

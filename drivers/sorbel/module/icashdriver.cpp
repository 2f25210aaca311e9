#include "drivers/sorbel/module/icashdriver.h"


#include "drivers/sorbel/pages/samser350fadvpropertiesform.h"
#include "drivers/contract/driverinfoform.h"
#include "drivers/sorbel/pages/samser350fpropertiesform.h"
#include "drivers/sorbel/wire/samser350fprotocol.h"
#include "platform/com/framehandle.h"

namespace tolver {

TCashDriverAuto::TCashDriverAuto(ProtocolFactory makeProtocol)
    : TCashDriverAutoOf(ICashDriverAutoEvents::IID), makeProtocol_(std::move(makeProtocol)) {}

TCashDriverAuto::~TCashDriverAuto() = default;

std::unique_ptr<TSamsER350F> TCashDriverAuto::MakeDriver() {
    return std::make_unique<TSamsER350F>(makeProtocol_ ? makeProtocol_() : nullptr);
}

// ---- frames and settings --------------------------------------------------------------

void TCashDriverAuto::ShowSettings() {
    if (auto* frame = driver_->PropertiesFrame()) frame->PropertiesToControls();
}
void TCashDriverAuto::TakeSettings() {
    if (auto* frame = driver_->PropertiesFrame()) frame->ControlsToProperties();
}
void TCashDriverAuto::ShowAdvSettings() {
    if (auto* frame = driver_->AdvPropertiesFrame()) frame->PropertiesToControls();
}
void TCashDriverAuto::TakeAdvSettings() {
    if (auto* frame = driver_->AdvPropertiesFrame()) frame->ControlsToProperties();
}

HRESULT TCashDriverAuto::Init(const Variant& CashDriverProperties, std::string* Cause, std::int32_t* Value) {
    return InitWith(
        driver_->Settings(), CashDriverProperties, [this] { ShowSettings(); },
        [this](std::string& cause) { return driver_->Open(cause); }, Cause, Value);
}

HRESULT TCashDriverAuto::Done() {
    return Guard([&] { driver_->Close(); });
}

// ---- item lists, reports and programming -----------------------------------------------

HRESULT TCashDriverAuto::GetXReport(const std::string& Items, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->PrintXReports(Items); });
}

HRESULT TCashDriverAuto::GetZReport(const std::string& Items, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->PrintZReports(Items); });
}

HRESULT TCashDriverAuto::GetProgram(const std::string& Items, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->ProgramRegister(Items); });
}

HRESULT TCashDriverAuto::ProgramAfterReg(const std::string& Param, std::int32_t* Value) {
    return Guard([&] {
        driver_->ProgramAfterReg(Param);
        *Value = 0;
    });
}

HRESULT TCashDriverAuto::SetArt(std::int32_t, std::int32_t, std::int32_t, Currency, const std::string&, bool,
                                std::int32_t* Value) {
    *Value = -1;  // the register's articles are programmed from the setup only
    return S_OK;
}

// ---- receipt operations -----------------------------------------------------------------

HRESULT TCashDriverAuto::AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum,
                                   std::int32_t NDep, std::int32_t* Value) {
    return Guard([&] {
        TSamsER350F& d = *driver_;
        *Value = SellByCount(
            Count, [&] { return d.PayDepartment(Name, NDep, SumWithoutNDS, Sum); },
            [&] { return d.PayDepartmentFrac(Name, Count, SumWithoutNDS, Sum, NDep); },
            [&](std::int32_t n) { return d.PayDepartmentQty(Name, n, SumWithoutNDS, Sum, NDep); });
    });
}

HRESULT TCashDriverAuto::AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                                   std::int32_t* Value) {
    return Guard([&] {
        TSamsER350F& d = *driver_;
        *Value = SellByCount(
            Count, [&] { return d.PayArticle(NArt, SumWithoutNDS, Sum); },
            [&] { return d.PayArticleFrac(Count, NArt, SumWithoutNDS, Sum); },
            [&](std::int32_t n) { return d.PayArticleQty(n, NArt, SumWithoutNDS, Sum); });
    });
}

HRESULT TCashDriverAuto::DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->VoidDepartment(NDep, SumWithoutNDS, Sum); });
}

HRESULT TCashDriverAuto::DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->VoidArticle(NArt, SumWithoutNDS, Sum); });
}

HRESULT TCashDriverAuto::AddCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->CashIn(PayType, Info, Sum); });
}

HRESULT TCashDriverAuto::ReturnCash(Currency Sum, TPayType PayType, const std::string& Info, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->CashOut(PayType, Info, Sum); });
}

HRESULT TCashDriverAuto::CloseCheck(Currency Sum, TPayType PayType, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->CloseReceipt(PayType, Sum); });
}

HRESULT TCashDriverAuto::OpenCheck(const std::string& Info, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->OpenReceipt(Info); });
}

HRESULT TCashDriverAuto::AddInfo(const std::string& Value, std::int32_t* Value1) {
    return Guard([&] { *Value1 = driver_->AddInfoText(Value, true); });
}

HRESULT TCashDriverAuto::RegOp(std::int32_t NOp, const std::string&, const std::string& Password,
                               std::int32_t* Value) {
    return Guard([&] { *Value = driver_->RegisterOperator(NOp, Password); });
}

HRESULT TCashDriverAuto::UnRegOp(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->UnregisterOperator(); });
}

// ---- descriptions ---------------------------------------------------------------------

// The limits follow the model of the basic settings, which the user's choice in the
// frame changes at once.
HRESULT TCashDriverAuto::get_Constraints(Variant* Value) {
    return ConstraintsOf(SamsER350FVersion(driver_->Settings().Model), Value);
}

HRESULT TCashDriverAuto::get_BeginMsg(std::string* Value) {
    return Guard([&] { *Value = driver_->BeginMsg; });
}

HRESULT TCashDriverAuto::get_CashModelDescription(std::string* Value) {
    return Guard([&] {
        const TCashDriverConstraints* row = SamsER350FVersion(driver_->Settings().Model);
        *Value = std::string(kSorbelName) + '\x01' + (row ? row->VersionName : std::string());
    });
}

}  // namespace tolver

#include "drivers/sorbel/driver/icashdriver.h"


#include "drivers/contract/driverinfoform.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "drivers/sorbel/forms/samser350fadvpropertiesform.h"
#include "drivers/sorbel/forms/samser350fpropertiesform.h"
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

// ---- item lists, reports and programming -----------------------------------------------

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

HRESULT TCashDriverAuto::DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep, std::int32_t* Value) {
    return Guard([&] { *Value = driver_->VoidDepartment(NDep, SumWithoutNDS, Sum); });
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

#include "drivers/sorbel/module/icashdriver.h"

#include <cmath>
#include <limits>

#include "drivers/sorbel/pages/samser350fadvpropertiesform.h"
#include "drivers/sorbel/pages/samser350finfoform.h"
#include "drivers/sorbel/pages/samser350fpropertiesform.h"
#include "drivers/sorbel/wire/samser350fprotocol.h"
#include "platform/com/framehandle.h"

namespace tolver {

TCashDriverAuto::TCashDriverAuto(ProtocolFactory makeProtocol) : makeProtocol_(std::move(makeProtocol)) {}

TCashDriverAuto::~TCashDriverAuto() = default;

void TCashDriverAuto::Initialize() {
    connectionPoint_ = &ConnectionPoints.Add(ICashDriverAutoEvents::IID, SinkLimit::Single);
    driver_ = std::make_unique<TSamsER350F>(makeProtocol_ ? makeProtocol_() : nullptr);
    driver_->AutoObject = this;
}

void TCashDriverAuto::RaiseEvent(DISPID id, std::span<Variant> args) {
    // Without a sink the event is lost; a failing sink is ignored.
    if (connectionPoint_) connectionPoint_->Raise(id, args);
}

TCashDriverAuto::CountKind TCashDriverAuto::KindOfCount(double count) {
    if (count == 1.0) return CountKind::One;
    if (!std::isfinite(count)) return CountKind::Invalid;
    if (count != std::trunc(count)) return CountKind::Fraction;
    if (count < std::numeric_limits<std::int32_t>::min() || count > std::numeric_limits<std::int32_t>::max())
        return CountKind::Invalid;
    return CountKind::Whole;
}

// ---- frames and settings --------------------------------------------------------------

HRESULT TCashDriverAuto::get_PropertiesForm(std::int32_t* Value) {
    return Guard([&] { *Value = FrameHandle(driver_->PropertiesFrame()); });
}

HRESULT TCashDriverAuto::get_InfoForm(std::int32_t* Value) {
    return Guard([&] { *Value = FrameHandle(driver_->InfoFrame()); });
}

HRESULT TCashDriverAuto::get_AdvPropertiesForm(std::int32_t* Value) {
    return Guard([&] { *Value = FrameHandle(driver_->AdvPropertiesFrame()); });
}

HRESULT TCashDriverAuto::get_Properties(Variant* Value) {
    return Guard([&] {
        if (auto* frame = driver_->PropertiesFrame()) frame->ControlsToProperties();
        *Value = driver_->Settings().GetAsVariant();
    });
}

HRESULT TCashDriverAuto::set_Properties(const Variant& Value) {
    return Guard([&] {
        try {
            driver_->Settings().SetFromVariant(Value);
        } catch (const Exception&) {
            // Values read before the bad element stay loaded.
        }
        if (auto* frame = driver_->PropertiesFrame()) frame->PropertiesToControls();
    });
}

HRESULT TCashDriverAuto::get_AdvProperties(Variant* Value) {
    return Guard([&] {
        if (auto* frame = driver_->AdvPropertiesFrame()) frame->ControlsToProperties();
        *Value = driver_->AdvSettings().GetAsVariant();
    });
}

HRESULT TCashDriverAuto::set_AdvProperties(const Variant& Value) {
    return Guard([&] {
        try {
            driver_->AdvSettings().SetFromVariant(Value);
        } catch (const Exception&) {
            // Values read before the bad element stay loaded.
        }
        if (auto* frame = driver_->AdvPropertiesFrame()) frame->PropertiesToControls();
    });
}

HRESULT TCashDriverAuto::set_SpoolerSetup(const Variant& Value) {
    return Guard([&] {
        try {
            driver_->Setup.SetFromVariant(Value);
        } catch (const Exception&) {
            // The setup keeps what was read before the bad element.
        }
        try {
            driver_->AdvSettings().SetFromVariant(driver_->Setup.DriverSetup.AdvPropertiesData);
        } catch (const Exception&) {
            // The advanced settings keep what was read.
        }
        // The advanced frame shows what the driver now works with, so that a later
        // AdvProperties get returns the setup's blob and not what the frame held before.
        if (auto* frame = driver_->AdvPropertiesFrame()) frame->PropertiesToControls();
    });
}

HRESULT TCashDriverAuto::Init(const Variant& CashDriverProperties, std::string* Cause, std::int32_t* Value) {
    *Value = -1;
    bool loaded = false;
    try {
        driver_->Settings().SetFromVariant(CashDriverProperties);
        loaded = true;
    } catch (...) {
        *Cause = "Ошибка инициализации";
    }
    if (auto* frame = driver_->PropertiesFrame()) frame->PropertiesToControls();
    if (!loaded) return S_OK;
    try {
        *Value = driver_->Open(*Cause);
    } catch (...) {
        *Cause = "Ошибка инициализации";
        *Value = -1;
    }
    return S_OK;
}

HRESULT TCashDriverAuto::Done() {
    return Guard([&] { driver_->Close(); });
}

// ---- the line -------------------------------------------------------------------------

HRESULT TCashDriverAuto::get_ComNumber(std::uint8_t* Value) {
    return Guard([&] { *Value = driver_->GetComNumber(); });
}

HRESULT TCashDriverAuto::set_ComNumber(std::uint8_t Value) {
    return Guard([&] { driver_->SetComNumber(Value); });
}

HRESULT TCashDriverAuto::get_Baud(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->GetBaud(); });
}

HRESULT TCashDriverAuto::set_Baud(std::int32_t Value) {
    return Guard([&] { driver_->SetBaud(Value); });
}

HRESULT TCashDriverAuto::get_InInteraction(bool* Value) {
    return Guard([&] { *Value = driver_->GetInInteraction(); });
}

HRESULT TCashDriverAuto::get_ID(std::string* Value) {
    return Guard([&] { *Value = driver_->GetID(); });
}

HRESULT TCashDriverAuto::get_TrashID(std::string* Value) {
    return Guard([&] { *Value = driver_->GetTrashID(); });
}

// ---- item lists, reports and programming -----------------------------------------------

// The lists follow the model the engine took over at the last Init.
HRESULT TCashDriverAuto::get_ProgramItems(std::string* Value) {
    return Guard([&] { *Value = driver_->Version().ProgramItems; });
}

HRESULT TCashDriverAuto::get_XReportItems(std::string* Value) {
    return Guard([&] { *Value = driver_->Version().XReportItems; });
}

HRESULT TCashDriverAuto::get_ZReportItems(std::string* Value) {
    return Guard([&] { *Value = driver_->Version().ZReportItems; });
}

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
        switch (KindOfCount(Count)) {
            case CountKind::One: *Value = d.PayDepartment(Name, NDep, SumWithoutNDS, Sum); break;
            case CountKind::Fraction: *Value = d.PayDepartmentFrac(Name, Count, SumWithoutNDS, Sum, NDep); break;
            case CountKind::Whole:
                *Value = d.PayDepartmentQty(Name, static_cast<std::int32_t>(Count), SumWithoutNDS, Sum, NDep);
                break;
            case CountKind::Invalid: *Value = -1; break;
        }
    });
}

HRESULT TCashDriverAuto::AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt,
                                   std::int32_t* Value) {
    return Guard([&] {
        TSamsER350F& d = *driver_;
        switch (KindOfCount(Count)) {
            case CountKind::One: *Value = d.PayArticle(NArt, SumWithoutNDS, Sum); break;
            case CountKind::Fraction: *Value = d.PayArticleFrac(Count, NArt, SumWithoutNDS, Sum); break;
            case CountKind::Whole:
                *Value = d.PayArticleQty(static_cast<std::int32_t>(Count), NArt, SumWithoutNDS, Sum);
                break;
            case CountKind::Invalid: *Value = -1; break;
        }
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

HRESULT TCashDriverAuto::Restore(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->Restore(); });
}

HRESULT TCashDriverAuto::Terminate(std::int32_t* Value) {
    return Guard([&] { *Value = driver_->Terminate(); });
}

// ---- descriptions ---------------------------------------------------------------------

HRESULT TCashDriverAuto::get_EventIID(std::string* Value) {
    return Guard([&] { *Value = GUIDToString(ICashDriverAutoEvents::IID); });
}

// The limits follow the model of the basic settings, which the user's choice in the
// frame changes at once.
HRESULT TCashDriverAuto::get_Constraints(Variant* Value) {
    return Guard([&] {
        *Value = Variant();
        const TCashDriverConstraints* row = SamsER350FVersion(driver_->Settings().Model);
        if (!row) return;
        try {
            *Value = CashDriverConstraintsToVariant(*row);
        } catch (const Exception&) {
            // The result stays unassigned.
        }
    });
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

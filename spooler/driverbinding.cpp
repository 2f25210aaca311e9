#include "spooler/driverbinding.h"

#include <exception>

#include "platform/com/cocreate.h"
#include "platform/com/hresult.h"

namespace tolver {

TDriverBinding::TDriverBinding(TSpoolerSetup& setup, TObjectFactory createObject)
    : setup_(setup), createObject_(createObject ? std::move(createObject) : TObjectFactory(&CreateOleObject)) {}

ComPtr<IDispatch> TDriverBinding::DriverObject() const {
    const Variant& v = setup_.DriverSetup.DriverObject;
    if (v.type() != VT_DISPATCH && v.type() != VT_UNKNOWN) return {};
    return ComPtr<IDispatch>::Query(v.rawInterface());
}

void TDriverBinding::CreateDriverObject() {
    ComPtr<IDispatch> object;
    try {
        object = createObject_(setup_.DriverSetup.CashDriverProperties->AutoObjectName);
    } catch (const std::exception&) {
        return;
    }
    if (!object) return;
    setup_.DriverSetup.DriverObject = Variant::Dispatch(object.get());
    try {
        setup_.DriverSetup.EventIID = DispatchGet(object.get(), "EventIID").toString();
    } catch (const std::exception&) {
    }
}

void TDriverBinding::ReleaseDriverObject() {
    if (DriverObject()) setup_.DriverSetup.DriverObject.clear();
}

std::int32_t TDriverBinding::AttachDriver() {
    try {
        driver_.ConnectKind = TCashDriverAutoClient::TConnectKind::ckAttachToInterface;
        const GUID events = StringToGUID(setup_.DriverSetup.EventIID);
        const ComPtr<IDispatch> object = DriverObject();
        auto driver = ComPtr<ICashDriverAuto>::Query(object.get());
        if (!driver) throw Exception("the driver object does not answer ICashDriverAuto");
        driver_.ConnectToEvents(driver.get(), events);
        ReadConstraints();
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

void TDriverBinding::ReadConstraints() {
    try {
        VariantToCashDriverConstraints(constraints_, driver_.Call(&ICashDriverAuto::get_Constraints));
    } catch (const std::exception&) {
    }
}

std::int32_t TDriverBinding::InitDriver(std::string& Cause) {
    try {
        driver_.Call(&ICashDriverAuto::set_ComNumber, setup_.DriverSetup.ComNumber);
        driver_.Call(&ICashDriverAuto::set_Baud, setup_.DriverSetup.Baud);
        Cause.clear();
        return driver_.Call(&ICashDriverAuto::Init, setup_.DriverSetup.PropertiesData, &Cause);
    } catch (const std::exception&) {
        Cause = kTextDriverUnavailable;
        return -1;
    }
}

void TDriverBinding::DoneDriver() {
    try {
        driver_.Call(&ICashDriverAuto::Done);
    } catch (const std::exception&) {
    }
}

void TDriverBinding::DisconnectWrapper() {
    try {
        driver_.Disconnect();
    } catch (const std::exception&) {
    }
}

void TDriverBinding::HandOverSetup() {
    try {
        driver_.Call(&ICashDriverAuto::set_SpoolerSetup, setup_.GetAsVariant());
    } catch (const std::exception&) {
    }
    try {
        if (ComPtr<IDispatch> object = DriverObject())
            setup_.DriverSetup.AdvPropertiesData = DispatchGet(object.get(), "AdvProperties");
    } catch (const std::exception&) {
    }
}

}  // namespace tolver

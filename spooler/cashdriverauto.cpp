#include "spooler/cashdriverauto.h"

#include "platform/com/cocreate.h"
#include "platform/com/hresult.h"

namespace tolver {

TCashDriverAutoClient::TCashDriverAutoClient() { InitServerData(); }

TCashDriverAutoClient::~TCashDriverAutoClient() { Disconnect(); }

void TCashDriverAutoClient::InitServerData() {
    serverData_ = {CLSID_CashDriverAuto, ICashDriverAuto::IID, ICashDriverAutoEvents::IID, 500};
}

void TCashDriverAutoClient::Connect() {
    if (intf_) return;
    // Attaching needs an interface handed over; there is nothing to obtain here.
    if (ConnectKind == TConnectKind::ckAttachToInterface) return;
    ComPtr<IUnknown> object = CreateComObject(serverData_.ClassID);
    auto driver = ComPtr<ICashDriverAuto>::Query(object.get());
    if (!driver) throw EOleError(HResultText(E_NOINTERFACE), E_NOINTERFACE);
    ConnectEvents(driver.get());
}

void TCashDriverAutoClient::ConnectTo(ICashDriverAuto* driver) {
    Disconnect();
    ConnectEvents(driver);
}

void TCashDriverAutoClient::ConnectEvents(ICashDriverAuto* driver) {
    // The receiver advises on the connection point the driver itself names; without
    // it the wrapper stays unconnected.
    events_.Connect(driver);
    intf_ = driver;
}

void TCashDriverAutoClient::Disconnect() {
    if (!intf_) return;
    events_.Disconnect();
    intf_.reset();
}

ICashDriverAuto* TCashDriverAutoClient::GetDefaultInterface() {
    if (!intf_) Connect();
    if (!intf_) throw Exception(kNotConnected);
    return intf_.get();
}

void TCashDriverAuto1::ConnectToEvents(ICashDriverAuto* driver, const GUID& EventsIID) {
    serverData_.EventIID = EventsIID;
    ConnectTo(driver);
}

// ---- forwarders --------------------------------------------------------------------

namespace {

// Calls one member with an out value; a failing result raises EOleError.
template <class T, class F>
T Call(ICashDriverAuto* d, F&& member) {
    T value{};
    OleCheck(member(d, &value));
    return value;
}

}  // namespace

#define TOLVER_DRIVER_CALL(T, expr) Call<T>(GetDefaultInterface(), [&](ICashDriverAuto* d, T* v) { return d->expr; })

void TCashDriverAutoClient::SetComNumber(std::uint8_t Value) { OleCheck(GetDefaultInterface()->set_ComNumber(Value)); }
void TCashDriverAutoClient::SetBaud(std::int32_t Value) { OleCheck(GetDefaultInterface()->set_Baud(Value)); }
std::string TCashDriverAutoClient::ProgramItems() { return TOLVER_DRIVER_CALL(std::string, get_ProgramItems(v)); }
std::string TCashDriverAutoClient::XReportItems() { return TOLVER_DRIVER_CALL(std::string, get_XReportItems(v)); }
std::string TCashDriverAutoClient::ZReportItems() { return TOLVER_DRIVER_CALL(std::string, get_ZReportItems(v)); }
void TCashDriverAutoClient::SetSpoolerSetup(const Variant& Value) {
    OleCheck(GetDefaultInterface()->set_SpoolerSetup(Value));
}
bool TCashDriverAutoClient::InInteraction() { return TOLVER_DRIVER_CALL(bool, get_InInteraction(v)); }
std::string TCashDriverAutoClient::ID() { return TOLVER_DRIVER_CALL(std::string, get_ID(v)); }
Variant TCashDriverAutoClient::Constraints() { return TOLVER_DRIVER_CALL(Variant, get_Constraints(v)); }
std::string TCashDriverAutoClient::TrashID() { return TOLVER_DRIVER_CALL(std::string, get_TrashID(v)); }
std::string TCashDriverAutoClient::BeginMsg() { return TOLVER_DRIVER_CALL(std::string, get_BeginMsg(v)); }
std::string TCashDriverAutoClient::CashModelDescription() {
    return TOLVER_DRIVER_CALL(std::string, get_CashModelDescription(v));
}
std::int32_t TCashDriverAutoClient::Init(const Variant& CashDriverProperties, std::string& Cause) {
    Cause.clear();
    return TOLVER_DRIVER_CALL(std::int32_t, Init(CashDriverProperties, &Cause, v));
}
void TCashDriverAutoClient::Done() { OleCheck(GetDefaultInterface()->Done()); }
std::int32_t TCashDriverAutoClient::GetXReport(const std::string& Items) {
    return TOLVER_DRIVER_CALL(std::int32_t, GetXReport(Items, v));
}
std::int32_t TCashDriverAutoClient::GetZReport(const std::string& Items) {
    return TOLVER_DRIVER_CALL(std::int32_t, GetZReport(Items, v));
}
std::int32_t TCashDriverAutoClient::GetProgram(const std::string& Items) {
    return TOLVER_DRIVER_CALL(std::int32_t, GetProgram(Items, v));
}
std::int32_t TCashDriverAutoClient::AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS,
                                              Currency Sum, std::int32_t NDep) {
    return TOLVER_DRIVER_CALL(std::int32_t, AddPayDep(Name, Count, SumWithoutNDS, Sum, NDep, v));
}
std::int32_t TCashDriverAutoClient::AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    return TOLVER_DRIVER_CALL(std::int32_t, AddPayArt(Count, SumWithoutNDS, Sum, NArt, v));
}
std::int32_t TCashDriverAutoClient::AddCash(Currency Sum, TPayType PayType, const std::string& Info) {
    return TOLVER_DRIVER_CALL(std::int32_t, AddCash(Sum, PayType, Info, v));
}
std::int32_t TCashDriverAutoClient::CloseCheck(Currency Sum, TPayType PayType) {
    return TOLVER_DRIVER_CALL(std::int32_t, CloseCheck(Sum, PayType, v));
}
std::int32_t TCashDriverAutoClient::RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password) {
    return TOLVER_DRIVER_CALL(std::int32_t, RegOp(NOp, NameOp, Password, v));
}
std::int32_t TCashDriverAutoClient::UnRegOp() { return TOLVER_DRIVER_CALL(std::int32_t, UnRegOp(v)); }
std::int32_t TCashDriverAutoClient::AddInfo(const std::string& Text) {
    return TOLVER_DRIVER_CALL(std::int32_t, AddInfo(Text, v));
}
std::int32_t TCashDriverAutoClient::Restore() { return TOLVER_DRIVER_CALL(std::int32_t, Restore(v)); }
std::int32_t TCashDriverAutoClient::Terminate() { return TOLVER_DRIVER_CALL(std::int32_t, Terminate(v)); }
std::int32_t TCashDriverAutoClient::ReturnCash(Currency Sum, TPayType PayType, const std::string& Info) {
    return TOLVER_DRIVER_CALL(std::int32_t, ReturnCash(Sum, PayType, Info, v));
}
std::int32_t TCashDriverAutoClient::DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep) {
    return TOLVER_DRIVER_CALL(std::int32_t, DelPayDep(SumWithoutNDS, Sum, NDep, v));
}
std::int32_t TCashDriverAutoClient::DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt) {
    return TOLVER_DRIVER_CALL(std::int32_t, DelPayArt(SumWithoutNDS, Sum, NArt, v));
}
std::int32_t TCashDriverAutoClient::OpenCheck(const std::string& Info) {
    return TOLVER_DRIVER_CALL(std::int32_t, OpenCheck(Info, v));
}
std::int32_t TCashDriverAutoClient::ProgramAfterReg(const std::string& Param) {
    return TOLVER_DRIVER_CALL(std::int32_t, ProgramAfterReg(Param, v));
}
std::int32_t TCashDriverAutoClient::SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                                           const std::string& Description, bool Return) {
    return TOLVER_DRIVER_CALL(std::int32_t, SetArt(NArt, NDep, NTax, Price, Description, Return, v));
}

#undef TOLVER_DRIVER_CALL

}  // namespace tolver

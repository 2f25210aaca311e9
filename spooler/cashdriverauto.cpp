#include "spooler/cashdriverauto.h"

#include "platform/com/cocreate.h"
#include "platform/com/hresult.h"

namespace tolver {

TCashDriverAutoClient::TCashDriverAutoClient() { InitServerData(); }

TCashDriverAutoClient::~TCashDriverAutoClient() { Disconnect(); }

void TCashDriverAutoClient::InitServerData() {
    serverData_ = {kDefaultClassID, ICashDriverAuto::IID, ICashDriverAutoEvents::IID, 500};
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

}  // namespace tolver

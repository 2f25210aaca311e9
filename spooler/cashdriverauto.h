#pragma once
// The client wrapper of the driver contract: holds the driver's ICashDriverAuto,
// forwards each member the spooler uses as an ordinary method that raises EOleError
// (code and the driver's text) when the driver reports a failure, and receives the
// driver's seven events through TDriverEventReceiver (dispatched by DISPID alone, so
// a driver with an events interface of its own is served the same way).
//
// Not connected -> ConnectTo / ConnectToEvents (or Connect) -> connected ->
// Disconnect -> not connected. A forwarder called while not connected tries Connect
// first, which for the spooler's connect kind (attach) raises the assertion error.

#include <cstdint>
#include <string>

#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/comptr.h"

namespace tolver {

class TCashDriverAutoClient {
public:
    // How Connect obtains the server object.
    enum class TConnectKind { ckRunningOrNew, ckNewInstance, ckRunningInstance, ckRemote, ckAttachToInterface };
    struct TServerData {
        GUID ClassID;
        GUID IntfIID;
        GUID EventIID;
        std::int32_t Version;
    };
    static constexpr const char* kNotConnected =
        "DefaultInterface is NULL. Component is not connected to Server. You must call 'Connect' or 'ConnectTo' "
        "before this operation";

    TCashDriverAutoClient();
    virtual ~TCashDriverAutoClient();
    TCashDriverAutoClient(const TCashDriverAutoClient&) = delete;
    TCashDriverAutoClient& operator=(const TCashDriverAutoClient&) = delete;

    TConnectKind ConnectKind = TConnectKind::ckRunningOrNew;
    const TServerData& ServerData() const { return serverData_; }

    // The event properties; an empty one ignores its event.
    TDriverEvents& Events() { return events_.Events(); }

    virtual void Connect();
    void ConnectTo(ICashDriverAuto* driver);
    virtual void Disconnect();
    bool Connected() const { return static_cast<bool>(intf_); }
    ICashDriverAuto* GetDefaultInterface();

    void SetComNumber(std::uint8_t Value);
    void SetBaud(std::int32_t Value);
    std::string ProgramItems();
    std::string XReportItems();
    std::string ZReportItems();
    void SetSpoolerSetup(const Variant& Value);
    bool InInteraction();
    std::string ID();
    Variant Constraints();
    std::string TrashID();
    std::string BeginMsg();
    std::string CashModelDescription();
    std::int32_t Init(const Variant& CashDriverProperties, std::string& Cause);
    void Done();
    std::int32_t GetXReport(const std::string& Items);
    std::int32_t GetZReport(const std::string& Items);
    std::int32_t GetProgram(const std::string& Items);
    std::int32_t AddPayDep(const std::string& Name, double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NDep);
    std::int32_t AddPayArt(double Count, Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    std::int32_t AddCash(Currency Sum, TPayType PayType, const std::string& Info);
    std::int32_t CloseCheck(Currency Sum, TPayType PayType);
    std::int32_t RegOp(std::int32_t NOp, const std::string& NameOp, const std::string& Password);
    std::int32_t UnRegOp();
    std::int32_t AddInfo(const std::string& Text);
    std::int32_t Restore();
    std::int32_t Terminate();
    std::int32_t ReturnCash(Currency Sum, TPayType PayType, const std::string& Info);
    std::int32_t DelPayDep(Currency SumWithoutNDS, Currency Sum, std::int32_t NDep);
    std::int32_t DelPayArt(Currency SumWithoutNDS, Currency Sum, std::int32_t NArt);
    std::int32_t OpenCheck(const std::string& Info);
    std::int32_t ProgramAfterReg(const std::string& Param);
    std::int32_t SetArt(std::int32_t NArt, std::int32_t NDep, std::int32_t NTax, Currency Price,
                        const std::string& Description, bool Return);

protected:
    virtual void InitServerData();
    TServerData serverData_{};

private:
    // Connects the sink to the driver, then holds the driver.
    void ConnectEvents(ICashDriverAuto* driver);

    ComPtr<ICashDriverAuto> intf_;
    TDriverEventReceiver events_;
};

// The spooler's wrapper: attaches to a driver object that the spooler created and
// listens on the events interface that the driver names.
class TCashDriverAuto1 : public TCashDriverAutoClient {
public:
    // EventsIID goes into the server description, then ConnectTo(driver).
    void ConnectToEvents(ICashDriverAuto* driver, const GUID& EventsIID);
};

}  // namespace tolver

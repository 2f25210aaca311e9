#pragma once
// The client wrapper of the driver contract: holds the driver's ICashDriverAuto,
// calls any of its members as an ordinary function that raises EOleError (code and
// the driver's text) when the driver reports a failure, and receives the driver's
// seven events through TDriverEventReceiver (dispatched by DISPID alone, so a driver
// with an events interface of its own is served the same way).
//
// Not connected -> ConnectTo / ConnectToEvents (or Connect) -> connected ->
// Disconnect -> not connected. A member called while not connected tries Connect
// first; with the spooler's connect kind (attach) there is nothing to connect to, and
// the call raises kNotConnected.

#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/comptr.h"
#include "platform/com/hresult.h"

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
    // The class Connect creates unless the server description names another: the
    // Sorbel library's CashDriverAuto.
    static constexpr GUID kDefaultClassID = MakeGUID("{849C7025-B964-11D4-8407-00104B205A89}");
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

    // A member of the contract with its arguments up to its out value, if it has one;
    // returns that value:
    //   Call(&ICashDriverAuto::AddPayArt, Count, SumWithoutNDS, Sum, NArt) -> the command id
    //   Call(&ICashDriverAuto::get_InInteraction) -> bool
    //   Call(&ICashDriverAuto::set_Baud, Baud)
    // A failing result raises EOleError; a text result starts empty.
    template <class... P, class... A>
    auto Call(HRESULT (ICashDriverAuto::*member)(P...), A&&... args) {
        ICashDriverAuto* driver = GetDefaultInterface();
        if constexpr (sizeof...(P) == sizeof...(A)) {
            OleCheck((driver->*member)(std::forward<A>(args)...));
        } else {
            static_assert(sizeof...(P) == sizeof...(A) + 1, "the member's arguments, without its out value");
            std::remove_pointer_t<std::tuple_element_t<sizeof...(P) - 1, std::tuple<P...>>> value{};
            OleCheck((driver->*member)(std::forward<A>(args)..., &value));
            return value;
        }
    }

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

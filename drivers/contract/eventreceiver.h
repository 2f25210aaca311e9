#pragma once
// The host's side of a driver's events: a sink that connects to the connection point
// a driver names in its EventIID and hands each of the seven events, known by DISPID
// alone (1-7), to a callback. Events of other DISPIDs and events whose callback is
// empty are ignored. Used on the host's main thread, like the driver itself.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/com/comptr.h"
#include "platform/com/connpoint.h"

namespace tolver {

struct TDriverEvents {
    std::function<void(const std::string& Text)> OnProtocolLog;
    std::function<void(const std::string& Text)> OnProtocolError;
    std::function<void(const std::string& Text)> OnProtocolInfo;
    std::function<void(std::int32_t Char)> OnPrint;
    // The driver waits until it returns.
    std::function<void(const std::string& Text)> OnProtocolQuery;
    std::function<void(std::int32_t CommandID, std::int32_t CommandResult)> OnCommandResult;
    std::function<void()> OnModelChange;
};

class TDriverEventReceiver {
public:
    explicit TDriverEventReceiver(TDriverEvents events = {});
    ~TDriverEventReceiver();
    TDriverEventReceiver(const TDriverEventReceiver&) = delete;
    TDriverEventReceiver& operator=(const TDriverEventReceiver&) = delete;

    // The callbacks; they may be changed at any time, also from inside an event.
    TDriverEvents& Events();

    // Reads the driver's EventIID by name and advises the sink on that connection
    // point; a previous connection is dropped first. Raises Exception (with the
    // driver's text) when EventIID cannot be read, is no GUID, or the advise fails.
    void Connect(IDispatch* driver);
    // Unadvises; harmless when not connected or when the driver refuses.
    void Disconnect();
    bool Connected() const { return static_cast<bool>(source_); }
    // The interface that the connection was made on.
    const GUID& EventIID() const { return iid_; }

private:
    class Sink;
    ComPtr<Sink> sink_;
    ComPtr<IDispatch> source_;
    GUID iid_{};
    std::uint32_t cookie_ = 0;
};

}  // namespace tolver

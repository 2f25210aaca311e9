#pragma once
// One connected point-of-sale client (a SpoolAuto1 object of the automation server)
// as the result relay sees it: an entry of its Clients, in order of connection, with
// the event sinks that command completions are delivered to.
//
// The automation server's SpoolAuto1 objects implement ISpoolerClient, with a sink per
// Advise; its host (CoreHost) hands them to the relay as shared pointers (AddClient /
// RemoveClient of TResultRelay). Delivery walks snapshots of
// Clients and of each client's Sinks(), so a client may connect, disconnect or fail
// while a result is being delivered; a sink that raises is skipped for that result
// only.

#include <cstdint>
#include <memory>
#include <vector>

namespace tolver {

// An events sink of a client (ISpoolAuto1Events): OnCommandResult, DISPID 1.
class ISpoolerSink {
public:
    virtual ~ISpoolerSink() = default;
    // May raise; the relay ignores the error and goes on with the next sink.
    virtual void OnCommandResult(std::int32_t CommandID, std::int32_t CommandResult) = 0;
};

class ISpoolerClient {
public:
    virtual ~ISpoolerClient() = default;
    // The client's sinks (its SinkList), in order of connection.
    virtual std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const = 0;
};

}  // namespace tolver

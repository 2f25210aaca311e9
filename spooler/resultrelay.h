#pragma once
// The command-result relay: every completion that the driver reports is queued and,
// 50 ms later (the view's timer), handed to every sink of every connected client, in
// order; several completions within that time go out in one delivery. Without a
// client the results wait for the next delivery. When the last client leaves, the
// main window closes.

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "spooler/spoolerclient.h"
#include "spooler/spoolerview.h"

namespace tolver {

struct TCommandResult {
    std::int32_t CommandID;
    std::int32_t CommandResult;
};

class TResultRelay {
public:
    explicit TResultRelay(ISpoolerView& view) : view_(view) {}

    const std::vector<std::shared_ptr<ISpoolerClient>>& Clients() const { return clients_; }  // in order of connection
    const std::deque<TCommandResult>& CommandResults() const { return results_; }          // oldest first

    void AddClient(std::shared_ptr<ISpoolerClient> Client);
    // When the last client has gone, the main window closes (posted).
    void RemoveClient(const ISpoolerClient* Client);

    // Queues a completion and starts the delivery timer.
    void Queue(std::int32_t CommandID, std::int32_t CommandResult);
    // The delivery (the timer's tick).
    void TimerCommandResultTick();

private:
    ISpoolerView& view_;
    std::vector<std::shared_ptr<ISpoolerClient>> clients_;
    std::deque<TCommandResult> results_;
};

}  // namespace tolver

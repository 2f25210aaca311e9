#include "spooler/resultrelay.h"

#include <algorithm>

namespace tolver {

void TResultRelay::AddClient(std::shared_ptr<ISpoolerClient> Client) {
    if (Client) clients_.push_back(std::move(Client));
}

void TResultRelay::RemoveClient(const ISpoolerClient* Client) {
    const auto it = std::find_if(clients_.begin(), clients_.end(), [&](const auto& c) { return c.get() == Client; });
    if (it == clients_.end()) return;
    clients_.erase(it);
    if (clients_.empty()) view_.PostClose();
}

void TResultRelay::Queue(std::int32_t CommandID, std::int32_t CommandResult) {
    results_.push_back({CommandID, CommandResult});
    view_.StartCommandResultTimer();
}

void TResultRelay::TimerCommandResultTick() {
    if (clients_.empty()) return;  // the results wait for the next delivery
    while (!results_.empty()) {
        const TCommandResult r = results_.front();
        results_.pop_front();
        // Snapshots: a client may come, go or fail inside a sink call.
        const auto clients = clients_;
        for (const auto& client : clients) {
            if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) continue;  // gone meanwhile
            std::vector<std::shared_ptr<ISpoolerSink>> sinks;
            try {
                sinks = client->Sinks();
            } catch (...) {
                continue;
            }
            for (const auto& sink : sinks) {
                try {
                    if (sink) sink->OnCommandResult(r.CommandID, r.CommandResult);
                } catch (...) {
                    // This sink misses this result; the others get it.
                }
            }
        }
    }
}

}  // namespace tolver

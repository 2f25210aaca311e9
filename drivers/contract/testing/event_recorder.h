#pragma once
// Test support: every event of a driver's automation object with its DISPID and
// arguments, as the host's event receiver hears them.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/sorbel_tlb.h"

namespace tolver::testutil {

struct TRaisedEvent {
    DISPID id;
    std::vector<Variant> args;
};

// The receiver's events, each handed to add as it arrives.
inline TDriverEvents RecordEvents(std::function<void(TRaisedEvent)> add) {
    using E = ICashDriverAutoEvents;
    const auto text = [add](DISPID id) { return [add, id](const std::string& t) { add({id, {Variant(t)}}); }; };
    TDriverEvents e;
    e.OnProtocolLog = text(E::OnProtocolLog);
    e.OnProtocolError = text(E::OnProtocolError);
    e.OnProtocolInfo = text(E::OnProtocolInfo);
    e.OnProtocolQuery = text(E::OnProtocolQuery);
    e.OnPrint = [add](std::int32_t c) { add({E::OnPrint, {Variant(c)}}); };
    e.OnCommandResult = [add](std::int32_t id, std::int32_t result) {
        add({E::OnCommandResult, {Variant(id), Variant(result)}});
    };
    e.OnModelChange = [add] { add({E::OnModelChange, {}}); };
    return e;
}

}  // namespace tolver::testutil

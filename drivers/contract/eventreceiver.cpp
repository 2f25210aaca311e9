#include "drivers/contract/eventreceiver.h"

#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/dispatch.h"

namespace tolver {

class TDriverEventReceiver::Sink final : public TEventSink {
public:
    Sink(const GUID& iid, TDriverEvents events) : TEventSink(iid), events(std::move(events)) {}
    TDriverEvents events;

protected:
    void InvokeEvent(DISPID id, std::span<Variant> params) override {
        using E = ICashDriverAutoEvents;
        // A copy, so that a callback may replace the callbacks while it runs.
        const auto text = [&](std::function<void(const std::string&)> f) {
            if (f && !params.empty()) f(params[0].toString());
        };
        switch (id) {
            case E::OnProtocolLog: text(events.OnProtocolLog); break;
            case E::OnProtocolError: text(events.OnProtocolError); break;
            case E::OnProtocolInfo: text(events.OnProtocolInfo); break;
            case E::OnProtocolQuery: text(events.OnProtocolQuery); break;
            case E::OnPrint:
                if (auto f = events.OnPrint; f && !params.empty()) f(params[0].toInt32());
                break;
            case E::OnCommandResult:
                if (auto f = events.OnCommandResult; f && params.size() >= 2)
                    f(params[0].toInt32(), params[1].toInt32());
                break;
            case E::OnModelChange:
                if (auto f = events.OnModelChange) f();
                break;
            default: break;
        }
    }
};

TDriverEventReceiver::TDriverEventReceiver(TDriverEvents events)
    : sink_(MakeComObject<Sink>(ICashDriverAutoEvents::IID, std::move(events))) {}

TDriverEventReceiver::~TDriverEventReceiver() { Disconnect(); }

TDriverEvents& TDriverEventReceiver::Events() { return sink_->events; }

void TDriverEventReceiver::Connect(IDispatch* driver) {
    Disconnect();
    if (!driver) throw Exception("no driver object");
    const GUID iid = StringToGUID(DispatchGet(driver, "EventIID").toString());
    // The sink answers the interface the driver names, so a new sink per connection.
    auto sink = MakeComObject<Sink>(iid, std::move(sink_->events));
    sink_ = sink;
    std::uint32_t cookie = 0;
    OleCheck(InterfaceConnect(driver, iid, sink_->Identity(), &cookie));
    source_ = driver;
    iid_ = iid;
    cookie_ = cookie;
}

void TDriverEventReceiver::Disconnect() {
    if (!source_) return;
    ComPtr<IDispatch> source = std::move(source_);
    source_.reset();
    InterfaceDisconnect(source.get(), iid_, cookie_);
    cookie_ = 0;
}

}  // namespace tolver

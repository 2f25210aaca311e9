#pragma once
// Test support: the Sorbel automation object on a fake line (no protocol thread, a
// fake clock), the keys it queued in a comparable form, and a recorder of the events
// it raises.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/testing/event_recorder.h"
#include "drivers/sorbel/driver/samser350f.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "platform/serial/fakeport.h"
#include "platform/timing/clock.h"

namespace tolver::sorbeltest {

// One queued command: code, key position, kind, flags, id, and the prompt of a query.
struct Key {
    int code;
    int pos;
    int kind;
    int flags;
    int id;
    std::string text;
    bool operator==(const Key&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Key& k) {
    os << "{" << k.code << ", pos " << k.pos << ", kind " << k.kind << ", flags " << k.flags << ", id " << k.id;
    if (!k.text.empty()) os << ", \"" << k.text << "\"";
    return os << "}";
}
using Keys = std::vector<Key>;

inline Keys Queued(const TSamsER350FProtocol& engine) {
    Keys keys;
    for (const TCommand& c : engine.Queue()) keys.push_back({c.Code, c.KeyPos, c.Kind, c.Flags, c.ID, c.Text});
    return keys;
}

// Every event with its DISPID and arguments, heard through the host's event receiver.
class Recorder {
public:
    using Event = testutil::TRaisedEvent;
    std::vector<Event> events;
    std::function<void(const Event&)> onEvent;
    TDriverEventReceiver receiver{Events()};

    std::vector<std::string> Texts(DISPID id) const {
        std::vector<std::string> texts;
        for (const Event& e : events)
            if (e.id == id) texts.push_back(e.args.at(0).toString());
        return texts;
    }

private:
    TDriverEvents Events() {
        return testutil::RecordEvents([this](Event e) {
            events.push_back(std::move(e));
            if (onEvent) onEvent(events.back());
        });
    }
};

// The automation object with its engine on a fake line; the model (firmware row)
// is set in the basic settings and in the engine directly, as Init would.
class SorbelOnFakeLine {
public:
    explicit SorbelOnFakeLine(int model = 2) {
        object = MakeComObject<TCashDriverAuto>([this] {
            auto fake = std::make_unique<TFakePort>();
            port = fake.get();
            return std::make_unique<TSamsER350F>(std::make_unique<TSamsER350FProtocol>(std::move(fake), clock, false));
        });
        SetModel(model);
    }
    void SetModel(int model) {
        Driver().Settings().Model = static_cast<std::uint8_t>(model);
        Driver().ModelChanged(model);
        Engine().SetModel(model);
    }

    ICashDriverAuto* operator->() { return object.get(); }
    TSamsER350F& Driver() { return object->Driver(); }
    TSamsER350FProtocol& Engine() { return Driver().Protocol(); }
    Keys Queue() { return Queued(Engine()); }

    // Connects a recorder to the object's events.
    Recorder& Connect() {
        recorder = std::make_unique<Recorder>();
        recorder->receiver.Connect(static_cast<ICashDriverAuto*>(object.get()));
        return *recorder;
    }

    TFakeClock clock;
    TFakePort* port = nullptr;
    ComPtr<TCashDriverAuto> object;
    std::unique_ptr<Recorder> recorder;  // goes before the object
};

}  // namespace tolver::sorbeltest

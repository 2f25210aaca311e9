#pragma once
// Test support: the Sorbel automation object on a fake line (no protocol thread, a
// fake clock), the keys it queued in a comparable form, and a sink that records
// the events it raises.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "drivers/sorbel/module/icashdriver.h"
#include "drivers/sorbel/wire/samser350fprotocol.h"
#include "platform/com/connpoint.h"
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

// Every event with its DISPID and arguments.
class RecordingSink final : public TEventSink {
public:
    RecordingSink() : TEventSink(ICashDriverAutoEvents::IID) {}
    struct Event {
        DISPID id;
        std::vector<Variant> args;
    };
    std::vector<Event> events;
    std::function<void(const Event&)> onEvent;

    std::vector<std::string> Texts(DISPID id) const {
        std::vector<std::string> texts;
        for (const Event& e : events)
            if (e.id == id) texts.push_back(e.args.at(0).toString());
        return texts;
    }

protected:
    void InvokeEvent(DISPID id, std::span<Variant> params) override {
        events.push_back({id, std::vector<Variant>(params.begin(), params.end())});
        if (onEvent) onEvent(events.back());
    }
};

// The automation object with its engine on a fake line; the model (firmware row)
// the engine runs with is set directly, as Init would.
class SorbelOnFakeLine {
public:
    explicit SorbelOnFakeLine(int model = 2) {
        object = MakeComObject<TCashDriverAuto>([this] {
            auto fake = std::make_unique<TFakePort>();
            port = fake.get();
            return std::make_unique<TSamsER350FProtocol>(std::move(fake), clock, false);
        });
        Engine().SetModel(model);
    }

    ICashDriverAuto* operator->() { return object.get(); }
    TSamsER350F& Driver() { return object->Driver(); }
    TSamsER350FProtocol& Engine() { return Driver().Protocol(); }
    Keys Queue() { return Queued(Engine()); }

    // Connects a recording sink to the object's events.
    RecordingSink& Connect() {
        sink = MakeComObject<RecordingSink>();
        EXPECT_EQ(InterfaceConnect(object->Identity(), ICashDriverAutoEvents::IID, sink->Identity(), &cookie), S_OK);
        return *sink;
    }

    TFakeClock clock;
    TFakePort* port = nullptr;
    ComPtr<TCashDriverAuto> object;
    ComPtr<RecordingSink> sink;
    std::uint32_t cookie = 0;
};

}  // namespace tolver::sorbeltest

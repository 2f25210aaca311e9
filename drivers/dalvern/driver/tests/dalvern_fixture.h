#pragma once
// Test support: the Dalvern automation object on an engine whose queue records, on a
// fake line, the commands it queued in a comparable form, and a sink that records the
// events it raises.

#include <gtest/gtest.h>

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/testing/event_recorder.h"
#include "drivers/dalvern/driver/regfisc2160.h"
#include "platform/serial/fakeport.h"
#include "platform/timing/clock.h"

namespace tolver::dalverntest {

// One queued item: the text's bytes, mode, options, the description, and whether it
// was given an id.
struct Cmd {
    std::string text;
    int mode;
    int options;
    std::string description;
    bool withId;
    bool next = false;  // queued to go next (AddMessageNext)
    bool operator==(const Cmd&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Cmd& c) {
    os << "{\"";
    for (const unsigned char ch : c.text) {
        if (ch >= 0x20 && ch < 0x7F) {
            os << ch;
        } else {
            static const char* hex = "0123456789ABCDEF";
            os << "\\x" << hex[ch >> 4] << hex[ch & 15];
        }
    }
    os << "\", mode " << c.mode << ", options " << c.options << (c.withId ? ", id" : "") << (c.next ? ", next" : "");
    if (!c.description.empty()) os << ", \"" << c.description << "\"";
    return os << "}";
}
using Cmds = std::vector<Cmd>;

// The engine on a fake line (no pump thread, a fake clock) whose queue records what
// the driver queues, with the firmware row and the device id the tests give.
class RecordingEngine final : public TRegFisc2160Protocol {
public:
    RecordingEngine(std::unique_ptr<TFakePort> line, TClock& clock)
        : TRegFisc2160Protocol(std::move(line), clock, false) {}

    Cmds queued;
    std::uint8_t versionIndex = 3;
    std::int32_t nextId = 0;
    std::string deviceId = "0123456789";

    int AddCommand(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                   const std::string& Description) override {
        queued.push_back({Text, Mode, Options, Description, true});
        return ++nextId;
    }
    int AddMessage(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                   const std::string& Description) override {
        queued.push_back({Text, Mode, Options, Description, false});
        return 0;
    }
    int AddMessageNext(const std::string& Text, std::uint8_t Mode, std::int32_t Options) override {
        queued.push_back({Text, Mode, Options, "", false, true});
        return 0;
    }
    std::uint8_t VersionIndex() const override { return versionIndex; }
    const std::string& DeviceId() const override { return deviceId; }
};

// Every event with its DISPID and arguments, as a host receives them through EventIID.
using Raised = testutil::TRaisedEvent;
inline TDriverEvents RecordInto(std::vector<Raised>& events) {
    return testutil::RecordEvents([&events](Raised e) { events.push_back(std::move(e)); });
}

// The automation object on the recording engine with the firmware row given.
class DalvernOnRecorder {
public:
    explicit DalvernOnRecorder(int versionIndex = 3) {
        object = MakeComObject<TRegFisc2160CashDriverAuto>([this, versionIndex] {
            auto line = std::make_unique<TFakePort>();
            port = line.get();
            auto fake = std::make_unique<RecordingEngine>(std::move(line), clock);
            fake->versionIndex = static_cast<std::uint8_t>(versionIndex);
            engine = fake.get();
            return std::make_unique<TRegFisc2160>(std::move(fake));
        });
    }

    ICashDriverAuto* operator->() { return object.get(); }
    TRegFisc2160& Driver() { return object->Driver(); }
    Cmds Take() {
        Cmds c;
        c.swap(engine->queued);
        return c;
    }

    // Connects a host's receiver through EventIID; the events it gets.
    std::vector<Raised>& Connect() {
        receiver.Events() = RecordInto(events);
        receiver.Connect(object.get());
        return events;
    }

    TFakeClock clock;
    TFakePort* port = nullptr;
    RecordingEngine* engine = nullptr;
    ComPtr<TRegFisc2160CashDriverAuto> object;
    std::vector<Raised> events;
    TDriverEventReceiver receiver;
};

}  // namespace tolver::dalverntest

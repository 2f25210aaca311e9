#pragma once
// Test support: the Dalvern automation object on a recording queue in place of the
// engine, the commands it queued in a comparable form, and a sink that records the
// events it raises.

#include <gtest/gtest.h>

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/testing/event_recorder.h"
#include "drivers/dalvern/driver/regfisc2160.h"

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

class RecordingLink final : public TRegFisc2160Link {
public:
    Cmds queued;
    int versionIndex = 3;
    std::int32_t nextId = 0;
    std::string firmware, deviceId = "0123456789";
    bool interacting = false, open = false, ignoreFormatErrors = false, terminated = false;
    int priority = -1;
    std::uint8_t com = 1;
    std::int32_t baud = 9600;
    std::int32_t openResult = 0;

    std::int32_t AddCommand(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                            const std::string& Description) override {
        queued.push_back({Text, Mode, Options, Description, true});
        return ++nextId;
    }
    void AddMessage(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                    const std::string& Description) override {
        queued.push_back({Text, Mode, Options, Description, false});
    }
    void AddMessageNext(const std::string& Text, std::uint8_t Mode, std::int32_t Options) override {
        queued.push_back({Text, Mode, Options, "", false, true});
    }
    int VersionIndex() const override { return versionIndex; }
    std::string FirmwareText() const override { return firmware; }
    std::string DeviceId() const override { return deviceId; }
    bool InInteraction() const override { return interacting; }
    void SetIgnoreReplyFormatError(bool value) override { ignoreFormatErrors = value; }
    void SetWaits(std::chrono::seconds, std::chrono::seconds) override {}
    void ApplyPriority(std::uint8_t value) override { priority = value; }
    std::int32_t Open(std::string& cause) override {
        open = openResult == 0;
        if (!open) cause = "Ошибка при открытии COM1";
        return openResult;
    }
    void Close() override { open = false; }
    void Terminate() override { terminated = true; }
    std::uint8_t GetComNumber() const override { return com; }
    void SetComNumber(std::uint8_t value) override { com = value; }
    std::int32_t GetBaud() const override { return baud; }
    void SetBaud(std::int32_t value) override { baud = value; }
};

// Every event with its DISPID and arguments, as a host receives them through EventIID.
using Raised = testutil::TRaisedEvent;
inline TDriverEvents RecordInto(std::vector<Raised>& events) {
    return testutil::RecordEvents([&events](Raised e) { events.push_back(std::move(e)); });
}

// The automation object on a recording queue with the firmware row given.
class DalvernOnRecorder {
public:
    explicit DalvernOnRecorder(int versionIndex = 3) {
        object = MakeComObject<TRegFisc2160CashDriverAuto>([this, versionIndex] {
            auto fake = std::make_unique<RecordingLink>();
            fake->versionIndex = versionIndex;
            link = fake.get();
            return std::make_unique<TRegFisc2160>(std::move(fake));
        });
    }

    ICashDriverAuto* operator->() { return object.get(); }
    TRegFisc2160& Driver() { return object->Driver(); }
    Cmds Take() {
        Cmds c;
        c.swap(link->queued);
        return c;
    }

    // Connects a host's receiver through EventIID; the events it gets.
    std::vector<Raised>& Connect() {
        receiver.Events() = RecordInto(events);
        receiver.Connect(object.get());
        return events;
    }

    RecordingLink* link = nullptr;
    ComPtr<TRegFisc2160CashDriverAuto> object;
    std::vector<Raised> events;
    TDriverEventReceiver receiver;
};

}  // namespace tolver::dalverntest

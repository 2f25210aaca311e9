#include "drivers/dalvern/module/regfisc2160reallink.h"

#include "drivers/dalvern/engine/regfisc2160protocol.h"

namespace tolver {
namespace {

// The driver object's view of the engine: the queue and what identification found,
// the line, and the engine's events handed on to the driver's relays.
class TEngineLink final : public TRegFisc2160Link {
public:
    TEngineLink() {
        engine_.OnLog = [this](const std::string& t) { Relay(OnLog, t); };
        engine_.OnInfo = [this](const std::string& t) { Relay(OnInfo, t); };
        engine_.OnError = [this](const std::string& t) { Relay(OnError, t); };
        engine_.OnQuery = [this](const std::string& t) { Relay(OnQuery, t); };
        engine_.OnPrint = [this](int c) {
            if (OnPrint) OnPrint(c);
        };
        engine_.OnCommandResult = [this](int id, int result) {
            if (OnCommandResult) OnCommandResult(id, result);
        };
    }
    // Gone with the driver object: the line closes at once and nothing is reported.
    ~TEngineLink() override {
        OnLog = OnInfo = OnError = OnQuery = nullptr;
        OnPrint = nullptr;
        OnCommandResult = nullptr;
        engine_.Close();
    }

    std::int32_t AddCommand(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                            const std::string& Description) override {
        return engine_.AddCommand(Text, Mode, Options, Description);
    }
    void AddMessage(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                    const std::string& Description) override {
        engine_.AddMessage(Text, Mode, Options, Description);
    }
    void AddMessageNext(const std::string& Text, std::uint8_t Mode, std::int32_t Options) override {
        engine_.AddMessageNext(Text, Mode, Options);
    }
    int VersionIndex() const override { return engine_.VersionIndex(); }
    std::string FirmwareText() const override { return RegFisc2160FirmwareText(); }
    std::string DeviceId() const override { return engine_.DeviceId(); }
    bool InInteraction() const override { return engine_.InInteraction() != 0; }
    void SetIgnoreReplyFormatError(bool value) override { engine_.SetIgnoreReplyFormatError(value); }
    void SetWaits(std::chrono::seconds print, std::chrono::seconds longPrint) override {
        engine_.SetWaitCheckOutPrint(print);
        engine_.SetWaitCheckOutLongPrint(longPrint);
    }
    void ApplyPriority(std::uint8_t priority) override { engine_.ApplyPriority(priority); }
    std::int32_t Open(std::string& cause) override { return engine_.Open(cause); }
    void Close() override { engine_.CloseAfterCurrent(); }
    void Terminate() override { engine_.Terminate(); }
    std::uint8_t GetComNumber() const override { return engine_.GetComNumber(); }
    void SetComNumber(std::uint8_t value) override { engine_.SetComNumber(value); }
    std::int32_t GetBaud() const override { return engine_.GetBaud(); }
    void SetBaud(std::int32_t value) override { engine_.SetBaud(value); }

private:
    static void Relay(const std::function<void(const std::string&)>& to, const std::string& text) {
        if (to) to(text);
    }

    TRegFisc2160Protocol engine_;
};

}  // namespace

std::unique_ptr<TRegFisc2160Link> MakeRegFisc2160Link() { return std::make_unique<TEngineLink>(); }

}  // namespace tolver

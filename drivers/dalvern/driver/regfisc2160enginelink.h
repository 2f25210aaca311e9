#pragma once
// What the "РФ 2160" driver object needs of its protocol engine: the command queue,
// the identified firmware row, the line and the engine's callbacks. The shipped
// driver runs it on the real engine (regfisc2160reallink.cpp); the tests of the command
// texts put a recording queue in its place.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace tolver {

class TRegFisc2160Link {
public:
    virtual ~TRegFisc2160Link() = default;

    // The engine's callbacks; each may stay unset.
    std::function<void(const std::string&)> OnLog, OnInfo, OnError, OnQuery;
    std::function<void(std::int32_t)> OnPrint;
    std::function<void(std::int32_t id, std::int32_t result)> OnCommandResult;

    // Queues a command text with the device mode it needs and its option bits; the
    // result is the fresh command id whose outcome OnCommandResult reports.
    virtual std::int32_t AddCommand(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                                    const std::string& Description) = 0;
    // The same without an id; an empty Text is an operator message (Description).
    virtual void AddMessage(const std::string& Text, std::uint8_t Mode, std::int32_t Options,
                            const std::string& Description) = 0;
    // A command without an id that goes next, before whatever else is queued.
    virtual void AddMessageNext(const std::string& Text, std::uint8_t Mode, std::int32_t Options) = 0;
    void AddCommandNoId(const std::string& Text, std::uint8_t Mode, std::int32_t Options) {
        AddMessage(Text, Mode, Options, {});
    }

    // The row of the firmware-version table the register identified itself with.
    virtual int VersionIndex() const = 0;
    // The version text of the last identification in this process, empty before one.
    virtual std::string FirmwareText() const = 0;
    virtual std::string DeviceId() const = 0;
    virtual bool InInteraction() const = 0;

    virtual void SetIgnoreReplyFormatError(bool value) = 0;
    // The print-end waits of the settings; the reply time-outs stay the engine's own.
    virtual void SetWaits(std::chrono::seconds print, std::chrono::seconds longPrint) = 0;
    virtual void ApplyPriority(std::uint8_t priority) = 0;
    // 0, or -1 with the cause.
    virtual std::int32_t Open(std::string& cause) = 0;
    // Closes the line once the command in flight has its outcome (the steps go on
    // until then; an Open meanwhile reopens after it).
    virtual void Close() = 0;
    // Nothing new goes to the register until the next Open; the command in flight
    // finishes.
    virtual void Terminate() = 0;
    virtual std::uint8_t GetComNumber() const = 0;
    virtual void SetComNumber(std::uint8_t value) = 0;
    virtual std::int32_t GetBaud() const = 0;
    virtual void SetBaud(std::int32_t value) = 0;
};

}  // namespace tolver

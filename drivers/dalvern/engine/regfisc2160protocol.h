#pragma once
// The protocol engine of the fiscal register "РФ 2160". The driver object queues
// command texts, each with the device mode it needs and option bits; the engine
// switches the register into that mode, sends the text as a frame, waits for the
// ACK and for the status that completes it, polls the status every 3 s while idle,
// identifies the firmware with "S1" after opening and after most error statuses,
// and recovers from lost bytes, NAKs, malformed replies and silence. Every command
// with an id gets exactly one result: 0 done, -1 failed or flushed, 1 dropped after
// a malformed reply.
//
// It runs on the shared engine core: its pump thread hands every step to the main
// thread, where the queue calls, the steps and the events all run; time is the
// injectable clock, so tests step it without waiting out real time-outs.
//
// Command texts are bytes as they go on the wire (Windows-1251 command letters,
// names already converted with WinToDos); descriptions and every text handed to the
// events are UTF-8.

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "drivers/dalvern/engine/regfisc2160frame.h"
#include "drivers/engine/commandqueue.h"
#include "drivers/engine/serialengine.h"

namespace tolver {

// One queued command or operator message.
struct TRegFisc2160Command {
    std::string Text;         // wire bytes; empty for an operator message
    std::string Description;  // an operator message's text (UTF-8)
    std::uint8_t Mode = 0;    // device mode the command needs, 1..5
    std::int32_t Id = 0;      // 0: no result is reported
    std::int32_t Options = 0;
};

class TRegFisc2160Protocol : public TSerialEngine {
public:
    enum : std::uint8_t {
        StateIdle = 0,
        StateModeSwitch = 1,
        StateCommandSent = 2,
        StateErrorStatus = 200,
        StateAckLost = 210,
        StateMalformed = 253,
        StateNak = 254,
        StateNoReply = 255,
    };
    // Option bits of a command (regfisc2160commands.h).
    using enum TRegFisc2160Option;
    static constexpr std::chrono::milliseconds kAckTimeout{1000};
    static constexpr std::chrono::milliseconds kAckLostResend{500};  // the NUL filler's pace
    static constexpr std::chrono::milliseconds kPollInterval{3000};
    static constexpr std::chrono::milliseconds kNakQuiet{1000};
    // The pause at the start of every step.
    static constexpr std::chrono::milliseconds kStepPause{1};
    // Above this gap between two steps, less the pump thread's own pauses and waits
    // for work, the main thread has stalled (an operator's message box, say), and the
    // running timers are moved on by the gap.
    static constexpr std::chrono::milliseconds kStallGap{500};

    // The default line (platform/serial/defaultline.h) with a pump thread.
    TRegFisc2160Protocol();
    // Another line and clock; without a thread the caller calls Step itself.
    TRegFisc2160Protocol(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread);
    ~TRegFisc2160Protocol() override;

    // Queue calls. AddCommand returns a fresh id (1, 2, ... over the engine's life);
    // AddMessage and AddCommandNoId queue without a result. An empty text queues an
    // operator message: never sent, its description goes to OnQuery when it reaches
    // the head. A text over 999 bytes cannot be framed: nothing is queued and the
    // result is -1.
    // The queue calls and what identification found are virtual: a driver's tests
    // record what is queued and set the firmware row in their place.
    virtual int AddCommand(const std::string& text, std::uint8_t mode, std::int32_t options,
                           const std::string& description);
    virtual int AddMessage(const std::string& text, std::uint8_t mode, std::int32_t options,
                           const std::string& description);
    int AddCommandNoId(const std::string& text, std::uint8_t mode, std::int32_t options);
    // A command without a result that goes next: at the head of the queue, or right
    // after the command in hand. 0, or -1 as for AddMessage.
    virtual int AddMessageNext(const std::string& text, std::uint8_t mode, std::int32_t options);

    // 0, or -1 with text "Ошибка при открытии COM<n>". Resets the state machine (the
    // queues and the ids stay, less a command in flight, as at Close) and discards
    // whatever the previous session left on the line; the first poll, 3 s later, is
    // the identification. While CloseAfterCurrent waits for the command in flight on
    // the same port, the reopen follows as soon as that command has its outcome (the
    // result is 0 at once).
    int Open(std::string& errorText);
    // Stops the steps (none runs after it returns, even when called from an event)
    // and closes the port. A command whose frame went out and whose outcome is not
    // known ends with -1: it is never sent again.
    void Close();
    // Nothing new goes out from now until the next Open: no command, no poll, no
    // operator message. The command in flight goes on to its outcome, with the resends
    // the protocol prescribes for it.
    void Terminate();
    // Terminates, and closes the port once the command in flight has its outcome (at
    // once when none is in flight; at the latest after that command's own reply
    // time-out, then as Close). The steps go on meanwhile; nothing blocks.
    void CloseAfterCurrent();
    bool Terminating() const { return terminating_; }
    bool Closing() const { return closing_; }

    // 0 idle .. 6 time critical; other values are clamped to that range.
    void ApplyPriority(int priority);
    void SetBusy(std::uint8_t value) { inInteraction_ = value; }
    void SetIgnoreReplyFormatError(bool on) { ignoreReplyFormatError_ = on; }
    bool IgnoreReplyFormatError() const { return ignoreReplyFormatError_; }
    // The print waits of the settings (whole seconds), kept for the driver; the reply
    // time-outs are the fixed ones below.
    void SetWaitCheckOutPrint(std::chrono::seconds wait) { waitCheckOutPrint_ = wait; }
    void SetWaitCheckOutLongPrint(std::chrono::seconds wait) { waitCheckOutLongPrint_ = wait; }
    std::chrono::seconds WaitCheckOutPrint() const { return waitCheckOutPrint_; }
    std::chrono::seconds WaitCheckOutLongPrint() const { return waitCheckOutLongPrint_; }

    // Applies a command's option bits: time-out and status count.
    void SelectTimeout(std::int32_t options);
    // Writes one unit: the single ACK or NUL byte, or the frame of text.
    void SendFrame(const std::string& text);
    void SendModeSwitch(std::uint8_t mode);
    // The last error: its class text, then CR LF " -" and each detail line.
    std::string GetErrorText() const;

    // What the pump thread may wait for before the next step can do anything, on a
    // real-time clock: the register's bytes, or the first of the timers the state
    // looks at. A reply to handle, a command that can start or a state that acts in
    // one step needs no wait.
    TWorkWait WorkWait() override;

    // Readable state.
    std::uint8_t State() const { return state_; }
    std::uint8_t InInteraction() const { return inInteraction_; }
    std::uint8_t DeviceMode() const { return deviceMode_; }
    virtual std::uint8_t VersionIndex() const { return versionIndex_; }
    virtual const std::string& DeviceId() const { return deviceId_; }
    // What the identification found: the version, or "неизвестная " and the text.
    const std::string& FirmwareText() const { return firmwareText_; }
    bool IdentifyPending() const { return identifyPending_; }
    bool StatusPending() const { return statusPending_; }
    bool Blocked() const { return blocked_; }
    int StatusCount() const { return statusCount_; }
    int ErrorStatusCount() const { return errorStatusCount_; }
    std::chrono::milliseconds ReplyTimeout() const { return replyTimeout_; }
    bool KeepOnError() const { return keepOnError_; }
    bool DropOnFormatError() const { return dropOnFormatError_; }
    std::uint8_t LastErrorFlags() const { return lastErrorFlags_; }
    const std::string& LastErrorText() const { return lastErrorText_; }
    const std::vector<std::string>& LastErrorDetails() const { return lastErrorDetails_; }
    const std::deque<TRegFisc2160Command>& Queue() const { return queue_.Items(); }
    std::int32_t NextId() const { return queue_.NextId(); }
    bool Working() const { return working_; }
    // The head's frame went out and its outcome is not known yet.
    bool CommandInFlight() const { return sentOut_; }
    // The frame last sent (command, mode switch or poll) has been acknowledged.
    bool Acknowledged() const { return acked_; }
    std::size_t RepliesWaiting() const { return replies_.size(); }

protected:
    void StepState() override;

private:
    int Enqueue(const std::string& text, std::uint8_t mode, std::int32_t options, const std::string& description,
              bool withId, bool next = false);
    void CorrectTimers();
    void Receive();
    // States 0, 1 and 2: the reply, then the state's own steps.
    void HandleReply(const TReply& r);
    void StatusStep(const TReply& r, bool& effective);
    // Counts and logs a status; whether it is the effective one.
    bool CountStatus(const TReply& r);
    // An effective status in state 0, 1 or 2 (s).
    void EffectiveStatus(const TReply& r, std::uint8_t s);
    // A status that came in state 2 before the frame's ACK: acknowledged and kept
    // aside, never taken as the frame's answer.
    void HoldStatus(const TReply& r);
    // A reply that a waiting state (210, 254) does not act on, logged as it is dropped.
    void LogDropped(const TReply& r);
    // The register acknowledged the frame after the engine gave up waiting for it:
    // back to the state that sent it, waiting for its status.
    void ResumeAfterLateAck();
    // A NAK that answers one of the NUL fillers, not a frame: taken off the count.
    bool NakForFiller();
    // While closing: closes (and reopens) once nothing is in flight; whether it did.
    bool SettleClose();
    // The head may start: no identification or poll outstanding, and when terminating
    // only the command in flight (a resend the protocol prescribes).
    bool CanStartHead() const;
    // The session's state reset, as Open and a deferred reopen do it.
    void ResetSession();
    void StepIdleAfter();
    void StepModeSwitchAfter();
    void StepCommandSentAfter();
    void StepErrorStatus();
    void StepAckLost();
    void StepMalformed();
    void StepNak();
    void StepNoReply();

    // Takes the reply at the head, if any (states 210 and 254).
    bool TakeReply(TReply& r);
    // Timers restarted for polling, the command (if any) left at the head, state 0.
    void BackToIdle();
    // Sends "S1" and waits for its data before anything else.
    void Reidentify();
    void Identify(const std::string& data);
    void Poll(const char* text);
    void CommandDone();
    // Removes the head that is being worked on and reports result for it.
    void DropCurrent(int result);
    // Ends the command in flight, if any, with -1 (Close, Open).
    void AbandonSent();
    void SetError(const char* text, const char* detail);
    void TakeError(const TReply& status);
    void NakError();
    void FormatError(const char* text);
    void NoAckError();
    void LogError();
    void LogText(const std::string& text);
    // Whether Close ran inside an event just raised: the step stops there.
    bool Stopped() const { return !PortOpen(); }

    TCommandQueue<TRegFisc2160Command, &TRegFisc2160Command::Id> queue_;
    std::deque<TReply> replies_;
    TReplyAssembler rx_;
    bool working_ = false;      // the queue's head is the current command
    // The head was refused with a "wrong command or format" status and has its one
    // resend (it stays set across a reopen, which keeps the head queued).
    bool headResent_ = false;
    // The head's frame went out and the register has neither completed nor refused
    // it (no effective status, no NAK): it may have been booked.
    bool sentOut_ = false;
    // The last frame sent has been acknowledged (an ACK, or a data reply, which only
    // comes once the register has taken the frame).
    bool acked_ = false;
    // Statuses that came before the ACK of the command in flight (logged as dropped
    // when the ACK or its time-out comes).
    std::deque<TReply> held_;
    // The state whose frame lost its ACK (0, 1 or 2), where a late ACK leads back.
    std::uint8_t ackLostFrom_ = StateIdle;
    // The NAK that led into state 254 answered a NUL filler (state 210), so the frame
    // itself may still be acknowledged.
    bool nakAfterFiller_ = false;
    // NUL fillers sent since the last frame and not yet answered with a NAK.
    int fillersUnanswered_ = 0;
    bool terminating_ = false;
    bool closing_ = false;
    bool reopenPending_ = false;
    std::uint8_t openCom_ = 0;           // the port the session runs on
    TTimer closeTimer_;                  // since CloseAfterCurrent
    std::chrono::milliseconds closeWait_{0};

    std::uint8_t state_ = StateIdle;
    int statusCount_ = 0;
    int errorStatusCount_ = 0;
    TTimer pollTimer_, replyTimer_, nakTimer_, ackTimer_;
    std::chrono::milliseconds replyTimeout_{3500};
    bool identifyPending_ = false;
    bool identifySent_ = false;  // "S1" is out and its data has not come
    bool statusPending_ = false;
    bool blocked_ = false;
    std::uint8_t lastErrorFlags_ = 0;
    std::string lastErrorText_;
    std::vector<std::string> lastErrorDetails_;
    bool keepOnError_ = false;
    bool dropOnFormatError_ = false;
    std::chrono::milliseconds shortTimeout_{3500}, longTimeout_{60000}, reportTimeout_{180000};
    std::int64_t lastStepTick_ = 0;
    std::uint8_t inInteraction_ = 0;
    std::string deviceId_;
    std::string firmwareText_;
    std::uint8_t versionIndex_ = 3;
    bool ignoreReplyFormatError_ = false;
    std::uint8_t deviceMode_ = 0;
    std::chrono::seconds waitCheckOutPrint_{5};
    std::chrono::seconds waitCheckOutLongPrint_{30};
};

// The firmware text of the last identification in this process, for the driver's
// properties frame ("" until the first).
const std::string& RegFisc2160FirmwareText();

}  // namespace tolver

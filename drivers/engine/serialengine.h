#pragma once
// The shared core of the serial protocol engines: the port and its clock, the pump
// thread that hands each step to the main thread, the pacing of the steps, the events
// with their text limit, the log-line prefix and the protocol thread's priority.
//
// How to build an engine on it:
//  - Derive from TSerialEngine, keep the commands in a TCommandQueue
//    (drivers/engine/commandqueue.h), and override StepState: one step of the state machine,
//    run on the main thread; it never sleeps and never loops waiting for bytes. Read
//    what has arrived, act, change state and return.
//  - A step that must leave a gap on the line first begins with
//        if (!Paced(1ms)) return;
//    before it touches anything: with a pump thread on a real clock the call returns
//    false, the pump thread waits the pause and runs the step again, which then
//    proceeds; the time the pump thread waited for work before the step counts toward
//    the pause, since the gap since the last step is what matters. On a virtual clock
//    (tests, the lockstep clock of the simulator) or without a pump thread the clock
//    sleeps at once and the step proceeds. The gaps on the wire are at least the
//    pause either way, and the main thread stays free for the window and the bus. A
//    pause that must follow an action goes at the start of the next state's step.
//  - Time-outs are TTimer objects on Clock() (platform/timing/clock.h).
//  - Override WorkWait to say when the next step can do something: by default the
//    next step follows at once; an engine that waits for a reply or a time-out returns
//    the time to its earliest deadline less the next step's pause, whether arriving
//    bytes end the wait, and that pause. The pump thread then sleeps that long, or
//    until Wake (a command was queued), Close, or input, and spends the pause before
//    it hands the step over, which then goes on at once. Only a real clock with a
//    pump thread waits.
//  - Open: reset the state machine, then OpenPort; Close: ClosePort, then settle what
//    the state machine held. Call StopPump in the destructor of the derived engine.
//  - Report results with Result(id, 0 or -1): exactly one per id, -1 for each id a
//    flush drops (TCommandQueue::Flush with Result).
//  - Log lines go through Log: "hh:mm:ss.zzz " + direction + text.

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/serial/serialport.h"
#include "platform/thread/protocolthread.h"
#include "platform/timing/clock.h"

namespace tolver {

class TSerialEngine {
public:
    // Events, raised synchronously on the main thread and only when set. Texts are
    // UTF-8, cut to kEventTextLimit characters. OnPrint gets one print-copy character
    // as its Windows-1251 code; OnCommandResult an id and 0 (done) or -1 (failed or
    // flushed).
    std::function<void(const std::string&)> OnLog;
    std::function<void(const std::string&)> OnInfo;
    std::function<void(const std::string&)> OnError;
    std::function<void(const std::string&)> OnQuery;
    std::function<void(int)> OnPrint;
    std::function<void(int, int)> OnCommandResult;

    static constexpr std::size_t kEventTextLimit = 255;

    // port and clock; with a thread, steps are pumped to the creating thread (which
    // must run a Qt event loop), without one the caller calls Step itself.
    TSerialEngine(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread);
    virtual ~TSerialEngine();
    TSerialEngine(const TSerialEngine&) = delete;
    TSerialEngine& operator=(const TSerialEngine&) = delete;

    // What the pump thread may wait for before the next step can do anything: at most
    // `longest`, and less once bytes arrive when `input`; then the pause that the next
    // step begins with. The default: nothing.
    using TWorkWait = TStepWait;

    // One step of the state machine; nothing while the port is closed.
    void Step();
    virtual TWorkWait WorkWait() { return {}; }

    std::uint8_t GetComNumber() const { return port_->ComNumber(); }
    void SetComNumber(std::uint8_t n) { port_->SetComNumber(n); }
    std::int32_t GetBaud() const { return port_->Baud(); }
    // A rate the open line refuses is kept and reported at the next Open.
    void SetBaud(std::int32_t baud);
    // 0 idle .. 6 time critical; false (priority unchanged) for any other value.
    bool ApplyPriority(int priority);
    int Priority() const { return priority_; }

    bool PortOpen() const { return portOpen_; }
    bool Running() const { return running_; }
    TSerialPort& Port() { return *port_; }
    TClock& Clock() { return clock_; }

protected:
    // The engine's own step, run by Step while the port is open.
    virtual void StepState() = 0;

    // Opens (or reopens) the port and starts the steps; 0, or -1 with cause
    // "Ошибка при открытии COM<n>", followed by ": " and the reason where the port
    // gives one (the device and why it does not open). Pacing starts afresh.
    int OpenPort(std::string& cause);
    // Stops the steps (none runs after it returns) and closes the port.
    void ClosePort();
    // Ends the pump thread for good; derived destructors call it first.
    void StopPump();
    // Ends an idle wait of the pump thread (a command was queued).
    void Wake();

    // true when the step may go on now; see the header comment.
    bool Paced(std::chrono::milliseconds pause);
    // The time the pump thread has spent pausing and waiting for work since the last
    // call (or the last OpenPort): the engine's own waits, which a measure of how long
    // the main thread kept the steps from running leaves out.
    std::chrono::milliseconds TakeOwnWaits();

    // A running timer and the wait after which it expires.
    struct TDue {
        const TTimer& timer;
        std::chrono::milliseconds after;
    };
    // The time until the first of the running timers expires, less lead (the pause the
    // next step spends before it looks at them); 0 when one has expired or none runs.
    std::chrono::milliseconds UntilFirstDue(std::initializer_list<TDue> timers, std::chrono::milliseconds lead);

    void Raise(const std::function<void(const std::string&)>& event, const std::string& text);
    // "hh:mm:ss.zzz " + direction + text to OnLog.
    void Log(const char* direction, const std::string& text);
    void Result(std::int32_t id, int result);

private:
    // What the pump thread waits for after a step: the pause asked for, else WorkWait.
    TStepWait NextWait();
    // Whether the step after the one that asked for next may follow at once: no
    // pause, nothing to wait for.
    bool FollowsAtOnce(const TStepWait& next) const;

    std::unique_ptr<TSerialPort> port_;
    TClock& clock_;
    std::unique_ptr<TProtocolThread> thread_;
    bool portOpen_ = false;
    bool running_ = false;
    int priority_ = TProtocolThread::Normal;
    std::chrono::microseconds pause_{0};  // asked for by the last step, not yet spent
    bool paceSpent_ = false;  // the pump thread has spent the pause of the step it repeats
    // The pump thread's wait before the step that runs, which its first pause may use.
    std::chrono::microseconds waitedBefore_{0};
    std::chrono::microseconds ownWaits_{0};
    TStepWait nextWait_;  // what the last step of a hand-over asked the pump thread for
};

// text for a log line: every control byte (0x00..0x1F, 0x7F) by its ASCII name in
// angle brackets ("<CR>", "<ESC>"), so that no text of a client or of the device ends
// a line of the log early or reaches it raw. UTF-8 passes unchanged.
std::string ControlsByName(std::string_view text);
// Appends c as ControlsByName shows it when it is a control byte; whether it was one.
bool AppendControlName(std::string& out, unsigned char c);

// format with its one %d or %x directive filled in (hexadecimal digits upper case);
// format is one of the engine's own texts.
std::string FormatOne(const char* format, std::int64_t value);
// format with its one "%s" replaced by arg (arg is never read as a format).
std::string FormatWith(std::string format, const std::string& arg);

}  // namespace tolver

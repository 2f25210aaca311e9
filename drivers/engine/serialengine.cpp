#include "drivers/engine/serialengine.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "common/debug.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

constexpr const char* kOpenFailure = "Ошибка при открытии COM%d";

}  // namespace

TSerialEngine::TSerialEngine(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread)
    : port_(std::move(port)), clock_(clock) {
    if (!withThread) return;
    thread_ = std::make_unique<TProtocolThread>(
        [this] {
            waitedBefore_ = thread_->Waited();
            ownWaits_ += waitedBefore_;
            Step();
            // Steps that follow at once, with no pause and nothing to wait for, come
            // in the same hand-over.
            constexpr int kStepsAtOnce = 8;
            nextWait_ = NextWait();
            for (int i = 0; i < kStepsAtOnce && FollowsAtOnce(nextWait_); ++i) {
                Step();
                nextWait_ = NextWait();
            }
        },
        [this] { return nextWait_; });
    port_->SetOnInput(thread_->InputNotifier());
}

TSerialEngine::~TSerialEngine() { StopPump(); }

void TSerialEngine::StopPump() {
    if (thread_) thread_->Terminate();
}

void TSerialEngine::Wake() {
    if (thread_) thread_->Wake();
}

void TSerialEngine::Step() {
    if (portOpen_) StepState();
    paceSpent_ = false;  // a spent pause serves only the step it was asked for
    waitedBefore_ = std::chrono::microseconds{0};
}

bool TSerialEngine::Paced(std::chrono::milliseconds pause) {
    if (pause <= std::chrono::milliseconds{0}) return true;
    if (!thread_ || !clock_.RealTime()) {
        clock_.SleepMs(static_cast<int>(pause.count()));
        return true;
    }
    const std::chrono::microseconds waited = waitedBefore_;
    waitedBefore_ = std::chrono::microseconds{0};
    if (paceSpent_ || waited >= pause) {
        paceSpent_ = false;
        return true;
    }
    pause_ = pause - waited;
    return false;
}

bool TSerialEngine::FollowsAtOnce(const TStepWait& next) const {
    return portOpen_ && clock_.RealTime() && next.longest <= std::chrono::milliseconds{0} &&
           next.pause <= std::chrono::microseconds{0};
}

TStepWait TSerialEngine::NextWait() {
    TStepWait wait;
    if (pause_ > std::chrono::microseconds{0}) {
        // The step is repeated once the pause has passed, whatever else happens.
        wait.pause = pause_;
        pause_ = std::chrono::microseconds{0};
        paceSpent_ = true;
        return wait;
    }
    if (!portOpen_ || !clock_.RealTime()) return wait;
    return WorkWait();
}

std::chrono::milliseconds TSerialEngine::UntilFirstDue(std::initializer_list<TDue> timers,
                                                       std::chrono::milliseconds lead) {
    std::optional<std::chrono::milliseconds> first;
    for (const TDue& due : timers) {
        if (!due.timer.Armed()) continue;
        const std::chrono::milliseconds left = due.timer.Left(clock_, due.after);
        if (!first || left < *first) first = left;
    }
    return first && *first > lead ? *first - lead : std::chrono::milliseconds{0};
}

std::chrono::milliseconds TSerialEngine::TakeOwnWaits() {
    const auto waits = std::chrono::duration_cast<std::chrono::milliseconds>(ownWaits_);
    ownWaits_ -= waits;  // the rest of a millisecond counts next time
    return waits;
}

int TSerialEngine::OpenPort(std::string& cause) {
    pause_ = std::chrono::microseconds{0};
    paceSpent_ = false;
    ownWaits_ = std::chrono::microseconds{0};
    running_ = false;
    cause.clear();
    portOpen_ = false;  // an open port is reopened, and no step runs until it is
    try {
        port_->Open();
        portOpen_ = true;
        if (thread_) thread_->Resume();
        running_ = true;
        return 0;
    } catch (const std::exception& e) {
        DebugLog(e.what());  // the device and the system's reason, for whoever debugs the set-up
        if (thread_) thread_->Suspend();  // a failed reopen stops the steps
        cause = FormatOne(kOpenFailure, port_->ComNumber());
        // The device and why it does not open, where the port knows it.
        if (const auto* failure = dynamic_cast<const ESerialPortError*>(&e); failure && !failure->Reason().empty())
            cause += ": " + failure->Reason();
        return -1;
    }
}

void TSerialEngine::ClosePort() {
    if (running_ && !(thread_ && thread_->Terminated())) {
        running_ = false;
        if (thread_) thread_->Suspend();
    }
    if (portOpen_) {
        portOpen_ = false;
        try {
            port_->Close();
        } catch (...) {
        }
    }
    pause_ = std::chrono::microseconds{0};
    paceSpent_ = false;
}

void TSerialEngine::SetBaud(std::int32_t baud) {
    try {
        port_->SetBaud(baud);
    } catch (const std::exception&) {
        // The open line keeps its rate; the next Open reports the failure.
    }
}

bool TSerialEngine::ApplyPriority(int priority) {
    if (priority < TProtocolThread::Idle || priority > TProtocolThread::TimeCritical) return false;
    priority_ = priority;
    if (thread_) thread_->SetPriority(priority);
    return true;
}

void TSerialEngine::Raise(const std::function<void(const std::string&)>& event, const std::string& text) {
    if (event) event(Utf8Left(text, kEventTextLimit));
}

void TSerialEngine::Log(const char* direction, const std::string& text) {
    if (OnLog) Raise(OnLog, LogTimeStamp() + direction + text);
}

void TSerialEngine::Result(std::int32_t id, int result) {
    if (id > 0 && OnCommandResult) OnCommandResult(id, result);
}

bool AppendControlName(std::string& out, unsigned char c) {
    static constexpr const char* kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                               "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                               "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                               "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    if (c >= 0x20 && c != 0x7F) return false;
    out += '<';
    out += c == 0x7F ? "DEL" : kNames[c];
    out += '>';
    return true;
}

std::string ControlsByName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (!AppendControlName(out, static_cast<unsigned char>(c))) out += c;
    return out;
}

std::string FormatOne(const char* format, std::int64_t value) {
    std::string f = format;
    const std::size_t pct = f.find('%');
    const std::size_t conv = pct == std::string::npos ? pct : f.find_first_of("dx", pct);
    char buf[256];
    if (conv == std::string::npos) return f;
    if (f[conv] == 'x') {
        f[conv] = 'X';
        std::snprintf(buf, sizeof buf, f.c_str(), static_cast<unsigned>(value));
    } else {
        std::snprintf(buf, sizeof buf, f.c_str(), static_cast<int>(value));
    }
    return buf;
}

std::string FormatWith(std::string format, const std::string& arg) {
    const std::size_t at = format.find("%s");
    if (at != std::string::npos) format.replace(at, 2, arg);
    return format;
}

}  // namespace tolver

#include "drivers/engine/serialengine.h"

#include <cstdio>
#include <exception>

#include "common/debug.h"
#include "platform/variant/utf.h"

namespace tolver {

TSerialEngine::TSerialEngine(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread)
    : port_(std::move(port)), clock_(clock) {
    if (withThread)
        thread_ = std::make_unique<TProtocolThread>([this] { Step(); }, [this] { return IdleMs(); },
                                                    [this] { return TakePause(); });
}

TSerialEngine::~TSerialEngine() { StopPump(); }

void TSerialEngine::StopPump() {
    if (thread_) thread_->Terminate();
}

void TSerialEngine::Wake() {
    if (thread_) thread_->Wake();
}

void TSerialEngine::Step() {
    if (!portOpen_) return;
    StepState();
    paceSpent_ = false;  // a spent pause serves only the step it was asked for
}

bool TSerialEngine::Paced(int ms) {
    if (ms <= 0) return true;
    if (!thread_ || !clock_.RealTime()) {
        clock_.SleepMs(ms);
        return true;
    }
    if (paceSpent_) {
        paceSpent_ = false;
        return true;
    }
    pause_ = ms;
    return false;
}

int TSerialEngine::TakePause() {
    const int ms = pause_;
    pause_ = 0;
    paceSpent_ = ms > 0;
    return ms;
}

int TSerialEngine::OpenPort(std::string& cause, const char* failureFormat) {
    pause_ = 0;
    paceSpent_ = false;
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
        cause = FormatOne(failureFormat, port_->ComNumber());
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
    pause_ = 0;
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

#include "drivers/sorbel/samser350fprotocol.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "common/debug.h"
#include "drivers/sorbel/samser350fgl.h"
#include "drivers/sorbel/samser350fkeys.h"
#include "platform/serial/defaultline.h"
#include "platform/variant/codepage.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

constexpr const char* kSent = "-> ";
constexpr const char* kReceived = "<- ";
constexpr const char* kNone = "";

// Longest text handed to an event, in characters.
constexpr std::size_t kEventTextLimit = 255;
// Characters of the identification that count: the register sends its id last
// character first, and only the last ten characters received are kept.
constexpr std::size_t kIdLength = 10;

// The texts of the protocol log, each with its line end.
constexpr const char* kLogByte = "$%.2x\r\n";
constexpr const char* kLogLineEnd = "\r\n";
constexpr const char* kLogEcho = "эхо $%.2x\r\n";
constexpr const char* kLogQueued = "в очередь $%.2x\r\n";
constexpr const char* kLogSilent = "нет связи в КА (счетчик=%d)\r\n";
constexpr const char* kLogSilentOverflow = "нет связи в КА (счетчик переполнен)\r\n";
constexpr const char* kLogFailure = "ошибка %d\r\n";
constexpr const char* kEchoDetail = "Эхо = не получено на символ $%x";
constexpr const char* kKeyPosDetail = "Ключ = %s";
constexpr const char* kOpenFailure = "Ошибка при открытии COM%d";

// format with its one %d or %x directive filled in; hexadecimal digits are upper case.
std::string Fmt(const char* format, std::int64_t v) {
    std::string f = format;
    const std::size_t pct = f.find('%');
    const std::size_t conv = pct == std::string::npos ? pct : f.find_first_of("dx", pct);
    char buf[256];
    if (conv == std::string::npos) return f;
    if (f[conv] == 'x') {
        f[conv] = 'X';
        std::snprintf(buf, sizeof buf, f.c_str(), static_cast<unsigned>(v));
    } else {
        std::snprintf(buf, sizeof buf, f.c_str(), static_cast<int>(v));
    }
    return buf;
}

// format with its one "%s" replaced by arg (arg is never read as a format).
std::string WithArg(std::string format, const std::string& arg) {
    const std::size_t at = format.find("%s");
    if (at != std::string::npos) format.replace(at, 2, arg);
    return format;
}

std::string AnsiCharText(int ansi) { return Cp1251ToUtf8(std::string(1, static_cast<char>(ansi))); }

std::string LastChars(const std::string& text, std::size_t count) {
    const std::size_t n = Utf8Length(text);
    return n <= count ? text : Utf8Mid(text, n - count, count);
}

std::string ReverseChars(const std::string& text) {
    std::vector<char32_t> cps;
    for (std::size_t pos = 0; pos < text.size();) cps.push_back(Utf8Next(text, pos));
    std::string out;
    for (auto it = cps.rbegin(); it != cps.rend(); ++it) Utf8Append(out, *it);
    return out;
}

}  // namespace

TSamsER350FProtocolThread::TSamsER350FProtocolThread(TSamsER350FProtocol& protocol)
    : TProtocolThread([&protocol] { protocol.Step(); }, [&protocol] { return protocol.IdleMs(); }) {}

TSamsER350FProtocol::TSamsER350FProtocol()
    : TSamsER350FProtocol(MakeDefaultPort(), DefaultLineClock(), true) {}

TSamsER350FProtocol::TSamsER350FProtocol(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread)
    : port_(std::move(port)), clock_(clock) {
    if (withThread) thread_ = std::make_unique<TSamsER350FProtocolThread>(*this);
}

TSamsER350FProtocol::~TSamsER350FProtocol() {
    if (thread_) thread_->Terminate();
}

// ---- queue ----

void TSamsER350FProtocol::Enqueue(std::int32_t code, std::uint8_t keyPos, std::uint8_t kind, const std::string& text,
                                  std::int32_t flags) {
    TCommand c;
    c.Code = code;
    c.KeyPos = keyPos;
    c.Kind = kind;
    c.Text = text;
    c.Flags = flags;
    queue_.push_back(std::move(c));
    Log(kNone, Fmt(kLogQueued, static_cast<std::uint32_t>(code)));
    if (thread_) thread_->Wake();
}

void TSamsER350FProtocol::EnqueueKey(std::int32_t code, std::uint8_t keyPos, std::uint8_t kind) {
    Enqueue(code, keyPos, kind, std::string(), 0);
}

std::int32_t TSamsER350FProtocol::EnqueueWithId(std::int32_t code, std::uint8_t keyPos, const std::string& text,
                                                std::uint8_t kind) {
    ++nextId_;
    Enqueue(code, keyPos, kind, text, 0);
    queue_.back().ID = nextId_;
    return nextId_;
}

void TSamsER350FProtocol::PopHead() {
    if (!queue_.empty()) queue_.pop_front();
}

void TSamsER350FProtocol::FlushQueue() {
    // Detached first: a result handler that queues or flushes sees a consistent queue.
    std::deque<TCommand> flushed;
    flushed.swap(queue_);
    for (const TCommand& c : flushed)
        if (c.ID > 0) Result(c.ID, -1);
}

// ---- life cycle ----

int TSamsER350FProtocol::Open(std::string& cause) {
    // Every open starts the step machine afresh, so that a reopen never resumes a
    // half-done exchange or fires a stale time-out. The queue stays.
    FinishAccepted();
    state_ = StateIdle;
    idRequested_ = false;
    idIdleCount_ = 0;
    echoTimer_.Stop();
    doneTimer_.Stop();
    silentPolls_ = 0;
    pollSent_ = true;
    keyPosRead_ = 0;

    pollTimer_.Start(clock_);
    running_ = false;
    idPending_ = true;
    connected_ = false;
    id_.clear();
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
        cause = Fmt(kOpenFailure, port_->ComNumber());
        return -1;
    }
}

void TSamsER350FProtocol::Close() {
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
    FinishAccepted();
}

void TSamsER350FProtocol::FinishAccepted() {
    // The key left the queue when the register took it; its completion is not left
    // hanging across a reopen.
    if (state_ != StateDone) return;
    state_ = StateIdle;
    if (model_ != 0) Result(current_.ID, 0);
}

void TSamsER350FProtocol::SetBaud(std::int32_t baud) {
    try {
        port_->SetBaud(baud);
    } catch (const std::exception&) {
        // The open line keeps its rate; the next Open reports the failure.
    }
}

bool TSamsER350FProtocol::ApplyPriority(int priority) {
    if (priority < TProtocolThread::Idle || priority > TProtocolThread::TimeCritical) return false;
    priority_ = priority;
    if (thread_) thread_->SetPriority(priority);
    return true;
}

bool TSamsER350FProtocol::SetModel(int model) {
    if (!SamsER350FVersion(model)) return false;
    model_ = static_cast<std::uint8_t>(model);
    return true;
}

void TSamsER350FProtocol::SetKind(int kind) {
    struct KindRow {
        int wait;  // 0 short, 1 print, 2 long print
        bool echo, keyCheck, errorIsKey, readAll;
    };
    static constexpr KindRow kKinds[10] = {
        {0, true, true, false, false}, {1, true, true, false, false},  {0, false, true, false, false},
        {0, false, false, false, false}, {2, true, true, false, false}, {1, true, true, false, false},
        {0, true, true, true, false},  {1, true, true, false, false},  {1, true, true, false, true},
        {1, true, true, false, true},
    };
    if (kind < 0 || kind > 9) return;
    const KindRow& k = kKinds[kind];
    doneWait_ = k.wait == 0 ? kWaitShort : k.wait == 1 ? waitCheckOutPrint_ : waitCheckOutLongPrint_;
    noEcho_ = !k.echo;
    noKeyCheck_ = !k.keyCheck;
    errorIsKeyAnswer_ = k.errorIsKey;
    readAll_ = k.readAll;
}

// ---- events and log ----

void TSamsER350FProtocol::Raise(const std::function<void(const std::string&)>& event, const std::string& text) {
    if (event) event(Utf8Left(text, kEventTextLimit));
}

void TSamsER350FProtocol::Log(const char* direction, const std::string& text) {
    if (OnLog) Raise(OnLog, LogTimeStamp() + direction + text);
}

void TSamsER350FProtocol::Result(std::int32_t id, int result) {
    if (id > 0 && OnCommandResult) OnCommandResult(id, result);
}

void TSamsER350FProtocol::Send(std::uint8_t byte) {
    port_->PutChar(byte);
    Log(kSent, Fmt(kLogByte, byte));
}

void TSamsER350FProtocol::SendByte(std::uint8_t byte) { port_->PutChar(byte); }

void TSamsER350FProtocol::PrintCopy(int deviceByte) {
    const int ansi = DeviceToAnsi(static_cast<std::uint8_t>(deviceByte));
    if (OnPrint) OnPrint(ansi);
    Log(kReceived, AnsiCharText(ansi) + kLogLineEnd);
}

void TSamsER350FProtocol::ReadPrintCopy() {
    while (port_->CharReady()) {
        PrintCopy(port_->GetChar());
        doneTimer_.Start(clock_);
    }
}

// ---- steps ----

int TSamsER350FProtocol::IdleMs() {
    // Only the polling of a quiet line has nothing to do until its timer expires: the
    // bytes that come meanwhile are read at the poll, and a new command wakes the
    // thread. Everything else (a command, the identification) counts steps.
    if (!clock_.RealTime() || !portOpen_ || state_ != StateIdle) return 0;
    if (connected_ && (idPending_ || !queue_.empty())) return 0;
    if (!pollTimer_.Armed()) return 0;
    constexpr std::int64_t kLongestIdle = 1000;
    // The step that follows pauses 1 ms itself before it looks at the timer.
    const std::int64_t left = pollTimer_.StartedAt() + kPollInterval - clock_.NowMs() - 1;
    return static_cast<int>(left <= 0 ? 0 : left < kLongestIdle ? left : kLongestIdle);
}

void TSamsER350FProtocol::Step() {
    if (!portOpen_) return;
    switch (state_) {
        case StateIdle: StepIdle(); break;
        case StateSend: StepSend(); break;
        case StateEcho: StepEcho(); break;
        case StateKeyPos: StepKeyPos(); break;
        case StateDone: StepDone(); break;
        case StateDeviceError: StepDeviceError(); break;
        case StateWrongKeyPos: StepWrongKeyPos(); break;
        case StateNoEcho: StepNoEcho(); break;
        default: state_ = StateIdle; break;
    }
}

void TSamsER350FProtocol::StepIdle() {
    // The identification, once per open, after the first answer.
    if (idPending_ && connected_) {
        clock_.SleepMs(1);
        if (idRequested_) {
            if (port_->CharReady()) {
                id_ = LastChars(id_ + AnsiCharText(DeviceToAnsi(static_cast<std::uint8_t>(port_->GetChar()))), kIdLength);
                idIdleCount_ = 0;
            } else if (idIdleCount_ == kIdIdleSteps) {
                id_ = ReverseChars(LastChars(id_, kIdLength));
                idIdleCount_ = 0;
                idRequested_ = false;
                idPending_ = false;
            } else {
                ++idIdleCount_;
            }
        } else {
            port_->FlushInBuffer();
            Send(kSamsIdentify);
            idIdleCount_ = 0;
            idRequested_ = true;
        }
    }
    if (idRequested_) return;

    if (!queue_.empty() && connected_) {
        current_.Assign(queue_.front());
        if (current_.Code == -1) {
            // An operator query: the queue waits while the handler shows it.
            Raise(OnQuery, current_.Text);
            PopHead();
            return;
        }
        pollSent_ = false;
        SetKind(current_.Kind);
        port_->FlushInBuffer();
        if (noKeyCheck_ || (keyCheckMode_ == 1 && (current_.Flags & kFirstKey) == 0)) {
            state_ = StateSend;
        } else {
            Send(kSamsQueryKeyPos);
            pollTimer_.Start(clock_);
            state_ = StateKeyPos;
        }
        return;
    }

    // Polling the link.
    clock_.SleepMs(1);
    if (!pollTimer_.Expired(clock_, kPollInterval)) return;
    if (port_->CharReady()) {
        silentPolls_ = 0;
        while (port_->CharReady()) {
            const int b = port_->GetChar();
            if (SamsIsErrorByte(b)) {
                errorCode_ = b;
                state_ = StateDeviceError;
            } else if (!pollSent_) {
                PrintCopy(b);
            }
        }
        connected_ = true;
        pollTimer_.Start(clock_);
        if (pollSent_) {
            port_->FlushInBuffer();
            Send(kSamsQueryKeyPos);
        }
    } else {
        ++silentPolls_;
        Log(kNone, Fmt(kLogSilent, silentPolls_));
        if (silentPolls_ == 3) {
            connected_ = false;
            silentPolls_ = 0;
            Log(kNone, kLogSilentOverflow);
        }
        port_->FlushInBuffer();
        Send(kSamsQueryKeyPos);
        pollTimer_.Start(clock_);
        pollSent_ = true;
    }
}

void TSamsER350FProtocol::StepSend() {
    clock_.SleepMs(1);
    port_->FlushInBuffer();
    Send(static_cast<std::uint8_t>(current_.Code & 0xFF));
    if (noEcho_) {
        PopHead();
        doneTimer_.Start(clock_);
        state_ = StateDone;
    } else {
        echoTimer_.Start(clock_);
        state_ = StateEcho;
    }
}

void TSamsER350FProtocol::StepEcho() {
    clock_.SleepMs(1);
    if (port_->CharReady()) {
        const int b = port_->GetChar();
        if (b == current_.Code + kSamsEchoOffset || b == 0) {
            Log(kReceived, Fmt(kLogEcho, static_cast<std::uint32_t>(current_.Code)));
            port_->FlushInBuffer();
            PopHead();
            doneTimer_.Start(clock_);
            state_ = StateDone;
        } else {
            echoTimer_.Start(clock_);
            PrintCopy(b);
        }
    } else if (echoTimer_.Expired(clock_, kEchoTimeout)) {
        errorDetail_ = Fmt(kEchoDetail, static_cast<std::uint32_t>(current_.Code));
        state_ = StateNoEcho;
    }
}

void TSamsER350FProtocol::StepKeyPos() {
    clock_.SleepMs(1);
    if (port_->CharReady()) {
        const int b = port_->GetChar();
        keyPosRead_ = SamsDecodeKeyPos(b);
        if (SamsIsErrorByte(b)) {
            if (errorIsKeyAnswer_) {
                keyPosRead_ = current_.KeyPos;
            } else {
                errorCode_ = b;
                state_ = StateDeviceError;
                return;
            }
        }
        if (keyPosRead_ == current_.KeyPos) {
            port_->FlushInBuffer();
            state_ = StateSend;
        } else {
            PrintCopy(b);
        }
    } else if (pollTimer_.Expired(clock_, kPollInterval)) {
        errorDetail_ = WithArg(kKeyPosDetail, SamsKeyPosName(keyPosRead_));
        state_ = StateWrongKeyPos;
    }
}

void TSamsER350FProtocol::StepDone() {
    if (model_ == 0) {
        clock_.SleepMs(20);
        ReadPrintCopy();
        if (!port_->CharReady() && doneTimer_.Expired(clock_, doneWait_)) state_ = StateIdle;
        return;
    }
    if (model_ == 1 || readAll_) {
        clock_.SleepMs(1);
        if (port_->CharReady()) {
            ReadPrintCopy();
            return;
        }
        if (doneTimer_.Expired(clock_, doneWait_)) Complete();
        return;
    }
    clock_.SleepMs(1);
    Complete();
}

void TSamsER350FProtocol::Complete() {
    pollSent_ = false;
    state_ = StateIdle;
    Result(current_.ID, 0);
}

void TSamsER350FProtocol::StepDeviceError() {
    Log(kNone, Fmt(kLogFailure, StateDeviceError));
    Raise(OnError, SamsErrorText(errorCode_));
    if (errorCode_ == 0xE0 || errorCode_ == 0xE3 || errorCode_ == 0xE6) FlushQueue();
    Send(kSamsAcknowledge);
    clock_.SleepMs(50);
    port_->FlushInBuffer();
    state_ = StateIdle;
}

void TSamsER350FProtocol::StepWrongKeyPos() {
    Log(kNone, Fmt(kLogFailure, StateWrongKeyPos));
    const std::string format = std::string("Сбой коммуникации 252: (%s)\r\nВозможные причины:\r\n -неверное положение ключа /должно быть ") + SamsKeyPosName(current_.KeyPos) + "/;" +
                               "\r\n" + " -обрыв кабеля;" + "\r\n" + " -кассовый аппарат выключен или неисправен";
    Raise(OnError, WithArg(format, errorDetail_));
    port_->FlushInBuffer();
    state_ = StateIdle;
}

void TSamsER350FProtocol::StepNoEcho() {
    Log(kNone, Fmt(kLogFailure, StateNoEcho));
    Raise(OnError, WithArg("Ошибка коммуникации 255: (%s)\r\nВозможные причины:\r\n -неверная версия прошивки кассового аппарата;\r\n -обрыв кабеля;\r\n -неисправность кассового аппарата", errorDetail_));
    port_->FlushInBuffer();
    state_ = StateIdle;
    FlushQueue();
}

}  // namespace tolver

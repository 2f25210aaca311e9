#include "drivers/sorbel/engine/samser350fprotocol.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "drivers/sorbel/engine/samser350fkeys.h"
#include "drivers/sorbel/settings/samser350fgl.h"
#include "platform/serial/defaultline.h"
#include "platform/variant/codepage.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

constexpr const char* kSent = "-> ";
constexpr const char* kReceived = "<- ";
constexpr const char* kNone = "";

// Characters of the identification that count: the register sends its id last
// character first, and only the last ten characters received are kept.
constexpr std::size_t kIdLength = 10;

// The texts of the protocol log, each with its line end.
constexpr const char* kLogByte = "$%.2x\r\n";
constexpr const char* kLogLineEnd = "\r\n";
constexpr const char* kLogEcho = "эхо $%.2x\r\n";
constexpr const char* kLogQueued = "в очередь $%.2x\r\n";
constexpr const char* kLogQueuedQuery = "в очередь %s\r\n";
constexpr const char* kLogSilent = "нет связи в КА (счетчик=%d)\r\n";
constexpr const char* kLogSilentOverflow = "нет связи в КА (счетчик переполнен)\r\n";
constexpr const char* kLogFailure = "ошибка %d\r\n";
constexpr const char* kEchoDetail = "Эхо = не получено на символ $%x";
constexpr const char* kKeyPosDetail = "Ключ = %s";

// The failures that the link reports as errors: a kind, the state's number, the
// detail, then the possible causes.
constexpr const char* kFailureWrongKeyPos = "Сбой коммуникации";
constexpr const char* kFailureNoEcho = "Ошибка коммуникации";
constexpr const char* kCausesWrongKeyPos =
    " -неверное положение ключа /должно быть %s/;\r\n -обрыв кабеля;\r\n -кассовый аппарат выключен или неисправен";
constexpr const char* kCausesNoEcho =
    " -неверная версия прошивки кассового аппарата;\r\n -обрыв кабеля;\r\n -неисправность кассового аппарата";

TCommand MakeCommand(std::int32_t code, std::uint8_t keyPos, std::uint8_t kind, const std::string& text,
                     std::int32_t flags) {
    TCommand c;
    c.Code = code;
    c.KeyPos = keyPos;
    c.Kind = kind;
    c.Text = text;
    c.Flags = flags;
    return c;
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

std::string FailureText(const char* kind, int state, const std::string& detail, const std::string& causes) {
    return std::string(kind) + ' ' + std::to_string(state) + ": (" + detail + ")\r\nВозможные причины:\r\n" + causes;
}

}  // namespace

TSamsER350FProtocol::TSamsER350FProtocol()
    : TSamsER350FProtocol(MakeDefaultPort(), DefaultLineClock(), true) {}

TSamsER350FProtocol::TSamsER350FProtocol(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread)
    : TSerialEngine(std::move(port), clock, withThread) {}

TSamsER350FProtocol::~TSamsER350FProtocol() { StopPump(); }

// ---- queue ----

void TSamsER350FProtocol::Enqueue(std::int32_t code, std::uint8_t keyPos, std::uint8_t kind, const std::string& text,
                                  std::int32_t flags) {
    queue_.Push(MakeCommand(code, keyPos, kind, text, flags));
    // An operator query (code -1) shows its text, a key its code.
    Log(kNone, code == -1 ? FormatWith(kLogQueuedQuery, ControlsByName(text))
                          : FormatOne(kLogQueued, static_cast<std::uint32_t>(code)));
    Wake();
}

void TSamsER350FProtocol::EnqueueKey(std::int32_t code, std::uint8_t keyPos, std::uint8_t kind) {
    Enqueue(code, keyPos, kind, std::string(), 0);
}

std::int32_t TSamsER350FProtocol::EnqueueWithId(std::int32_t code, std::uint8_t keyPos, const std::string& text,
                                                std::uint8_t kind) {
    const std::int32_t id = queue_.PushWithId(MakeCommand(code, keyPos, kind, text, 0));
    Log(kNone, FormatOne(kLogQueued, static_cast<std::uint32_t>(code)));
    Wake();
    return id;
}

void TSamsER350FProtocol::PopHead() { queue_.PopFront(); }

void TSamsER350FProtocol::FlushQueue() {
    queue_.Flush([this](std::int32_t id) { Result(id, -1); });
    // A register left inside a text line takes every later key as text and echoes
    // none: end the line before anything else, or nothing would ever work again.
    QueueRecovery(false);
}

void TSamsER350FProtocol::AbandonSentKey() {
    if (state_ != StateEcho) return;
    state_ = StateIdle;
    std::int32_t id = 0;
    // The key at the head went out; the rest of its operation goes with it.
    for (bool first = true; !queue_.Empty(); first = false) {
        const TCommand& c = queue_.Front();
        if (!first && (c.Flags & kFirstKey)) break;
        id = c.ID;
        queue_.PopFront();
        if (id > 0) break;
    }
    QueueRecovery(true);
    Result(id, -1);
}

void TSamsER350FProtocol::QueueRecovery(bool clearEntry) {
    // In the position of the interrupted key. The start key begins a fresh entry on
    // the register and drops what was keyed; after the end of a text line it also
    // drops a digit 2 (the same key) that a register no longer in the line took.
    const std::uint8_t keyPos = current_.KeyPos ? current_.KeyPos : kSamsKeyPosP;
    if (clearEntry || textLineOpen_)
        queue_.PushFront(MakeCommand(kSamsKeyStart, keyPos, kSamsKindStart, std::string(), kFirstKey));
    if (textLineOpen_)
        queue_.PushFront(MakeCommand(kSamsKeyTextEnd, keyPos, kSamsKindShort, std::string(), kFirstKey));
}

// ---- life cycle ----

int TSamsER350FProtocol::Open(std::string& cause) {
    // Every open starts the step machine afresh, so that a reopen never resumes a
    // half-done exchange or fires a stale time-out. The queue stays.
    FinishAccepted();
    AbandonSentKey();
    state_ = StateIdle;
    idRequested_ = false;
    idIdleCount_ = 0;
    echoTimer_.Stop();
    doneTimer_.Stop();
    silentPolls_ = 0;
    pollSent_ = true;
    keyPosRead_ = 0;

    pollTimer_.Start(Clock());
    idPending_ = true;
    connected_ = false;
    id_.clear();
    idRead_.clear();
    return OpenPort(cause);
}

void TSamsER350FProtocol::Close() {
    ClosePort();
    FinishAccepted();
    AbandonSentKey();
}

void TSamsER350FProtocol::FinishAccepted() {
    // The key left the queue when the register took it; its completion is not left
    // hanging across a reopen.
    if (state_ != StateDone) return;
    state_ = StateIdle;
    if (model_ != 0) Result(current_.ID, 0);
}

bool TSamsER350FProtocol::SetModel(int model) {
    if (!SamsER350FVersion(model)) return false;
    model_ = static_cast<std::uint8_t>(model);
    return true;
}

void TSamsER350FProtocol::SetKind(int kind) {
    enum Wait { Short, Print, LongPrint };
    struct Rule {
        Wait wait = Short;
        bool echo = true;
        bool keyCheck = true;
        bool errorIsKeyAnswer = false;
        bool readAll = false;
    };
    // By kind, 0..9 (SamsKind).
    static constexpr Rule kKinds[10] = {
        {},                                          // short
        {.wait = Print},                             // print
        {.echo = false},                             // no echo
        {.echo = false, .keyCheck = false},          // raw
        {.wait = LongPrint},                         // report
        {.wait = Print},                             // print 5
        {.errorIsKeyAnswer = true},                  // start
        {.wait = Print},                             // print 7
        {.wait = Print, .readAll = true},            // sale
        {.wait = Print, .readAll = true},            // text end
    };
    if (kind < 0 || kind > 9) return;
    const Rule& k = kKinds[kind];
    doneWait_ = k.wait == Short ? kWaitShort : k.wait == Print ? waitCheckOutPrint_ : waitCheckOutLongPrint_;
    noEcho_ = !k.echo;
    noKeyCheck_ = !k.keyCheck;
    errorIsKeyAnswer_ = k.errorIsKeyAnswer;
    readAll_ = k.readAll;
}

// ---- events and log ----

void TSamsER350FProtocol::Send(std::uint8_t byte) {
    Port().PutChar(byte);
    Log(kSent, FormatOne(kLogByte, byte));
}

void TSamsER350FProtocol::SendByte(std::uint8_t byte) { Port().PutChar(byte); }

void TSamsER350FProtocol::PrintCopy(int deviceByte) {
    const int ansi = DeviceToAnsi(static_cast<std::uint8_t>(deviceByte));
    if (OnPrint) OnPrint(ansi);
    Log(kReceived, AnsiCharText(ansi) + kLogLineEnd);
}

void TSamsER350FProtocol::ReadPrintCopy() {
    while (Port().CharReady()) {
        PrintCopy(Port().GetChar());
        doneTimer_.Start(Clock());
    }
}

// ---- steps ----

std::chrono::milliseconds TSamsER350FProtocol::NextStepPause() const {
    switch (state_) {
        case StateIdle:
            // Only the start of a command goes without a pause.
            return connected_ && !idPending_ && !queue_.Empty() ? std::chrono::milliseconds{0} : kStepPause;
        case StateSend:
        case StateEcho:
        case StateKeyPos: return kStepPause;
        case StateDone: return model_ == 0 ? kPrintReadPause : kStepPause;
        case StateErrorAcknowledged: return kErrorQuiet;
        default: return std::chrono::milliseconds{0};
    }
}

TSerialEngine::TWorkWait TSamsER350FProtocol::WorkWait() {
    if (!Clock().RealTime() || !PortOpen()) return {};
    const std::chrono::milliseconds pause = NextStepPause();
    switch (state_) {
        case StateIdle: {
            // Only the polling of a quiet line has nothing to do until its timer
            // expires: the bytes that come meanwhile are read at the poll, and a new
            // command wakes the thread. The identification counts steps.
            if (connected_ && (idPending_ || !queue_.Empty())) break;
            if (!pollTimer_.Armed()) break;
            constexpr std::chrono::milliseconds kLongestIdle{1000};
            return {std::min(UntilFirstDue({{pollTimer_, kPollInterval}}, pause), kLongestIdle), false, pause};
        }
        case StateEcho:
            if (Port().CharReady()) break;
            return {UntilFirstDue({{echoTimer_, kEchoTimeout}}, pause), true, pause};
        case StateKeyPos:
            if (Port().CharReady()) break;
            return {UntilFirstDue({{pollTimer_, kPollInterval}}, pause), true, pause};
        case StateDone:
            if (Port().CharReady() || (model_ != 0 && model_ != 1 && !readAll_)) break;
            return {UntilFirstDue({{doneTimer_, doneWait_}}, pause), true, pause};
        default: break;
    }
    return {std::chrono::milliseconds{0}, false, pause};
}

void TSamsER350FProtocol::StepState() {
    switch (state_) {
        case StateIdle: StepIdle(); break;
        case StateSend: StepSend(); break;
        case StateEcho: StepEcho(); break;
        case StateKeyPos: StepKeyPos(); break;
        case StateDone: StepDone(); break;
        case StateDeviceError: StepDeviceError(); break;
        case StateErrorAcknowledged: StepErrorAcknowledged(); break;
        case StateWrongKeyPos: StepWrongKeyPos(); break;
        case StateNoEcho: StepNoEcho(); break;
        default: state_ = StateIdle; break;
    }
}

void TSamsER350FProtocol::StepIdle() {
    // The identification, once per open, after the first answer.
    if (idPending_ && connected_) {
        if (!Paced(kStepPause)) return;
        if (idRequested_) {
            if (Port().CharReady()) {
                idRead_ = LastChars(idRead_ + AnsiCharText(DeviceToAnsi(static_cast<std::uint8_t>(Port().GetChar()))),
                                    kIdLength);
                idIdleCount_ = 0;
            } else if (idIdleCount_ == kIdIdleSteps) {
                // Published whole: a reader never sees a half-read identification.
                id_ = ReverseChars(LastChars(idRead_, kIdLength));
                idRead_.clear();
                idIdleCount_ = 0;
                idRequested_ = false;
                idPending_ = false;
            } else {
                ++idIdleCount_;
            }
        } else {
            Port().FlushInBuffer();
            Send(kSamsIdentify);
            idIdleCount_ = 0;
            idRequested_ = true;
        }
    }
    if (idRequested_) return;

    if (!queue_.Empty() && connected_) {
        current_.Assign(queue_.Front());
        if (current_.Code == -1) {
            // An operator query: the queue waits while the handler shows it.
            Raise(OnQuery, current_.Text);
            PopHead();
            return;
        }
        pollSent_ = false;
        SetKind(current_.Kind);
        Port().FlushInBuffer();
        if (noKeyCheck_ || (keyCheckMode_ == 1 && (current_.Flags & kFirstKey) == 0)) {
            state_ = StateSend;
        } else {
            // An answer from an earlier query must not pass for this one's: a register
            // that says nothing has its key "не определен".
            keyPosRead_ = 0;
            keyPosAnswered_ = false;
            Send(kSamsQueryKeyPos);
            pollTimer_.Start(Clock());
            state_ = StateKeyPos;
        }
        return;
    }

    // Polling the link.
    if (!Paced(kStepPause)) return;
    if (!pollTimer_.Expired(Clock(), kPollInterval)) return;
    if (Port().CharReady()) {
        silentPolls_ = 0;
        while (Port().CharReady()) {
            const int b = Port().GetChar();
            if (SamsIsErrorByte(b)) {
                errorCode_ = b;
                state_ = StateDeviceError;
            } else if (!pollSent_) {
                PrintCopy(b);
            }
        }
        connected_ = true;
        pollTimer_.Start(Clock());
        if (pollSent_) {
            Port().FlushInBuffer();
            Send(kSamsQueryKeyPos);
        }
    } else {
        CountSilentPoll();
        Port().FlushInBuffer();
        Send(kSamsQueryKeyPos);
        pollTimer_.Start(Clock());
        pollSent_ = true;
    }
}

void TSamsER350FProtocol::CountSilentPoll() {
    ++silentPolls_;
    Log(kNone, FormatOne(kLogSilent, silentPolls_));
    if (silentPolls_ == 3) {
        connected_ = false;
        silentPolls_ = 0;
        Log(kNone, kLogSilentOverflow);
    }
}

void TSamsER350FProtocol::StepSend() {
    if (!Paced(kStepPause)) return;
    Port().FlushInBuffer();
    Send(static_cast<std::uint8_t>(current_.Code & 0xFF));
    if (current_.Code == kSamsKeyTextLine) textLineOpen_ = true;
    if (noEcho_) {
        PopHead();
        doneTimer_.Start(Clock());
        state_ = StateDone;
    } else {
        echoTimer_.Start(Clock());
        state_ = StateEcho;
    }
}

void TSamsER350FProtocol::StepEcho() {
    if (!Paced(kStepPause)) return;
    if (Port().CharReady()) {
        const int b = Port().GetChar();
        if (b == current_.Code + kSamsEchoOffset || b == 0) {
            Log(kReceived, FormatOne(kLogEcho, static_cast<std::uint32_t>(current_.Code)));
            if (current_.Code == kSamsKeyTextEnd) textLineOpen_ = false;
            Port().FlushInBuffer();
            PopHead();
            doneTimer_.Start(Clock());
            state_ = StateDone;
        } else {
            echoTimer_.Start(Clock());
            PrintCopy(b);
        }
    } else if (echoTimer_.Expired(Clock(), kEchoTimeout)) {
        errorDetail_ = FormatOne(kEchoDetail, static_cast<std::uint32_t>(current_.Code));
        state_ = StateNoEcho;
    }
}

void TSamsER350FProtocol::StepKeyPos() {
    if (!Paced(kStepPause)) return;
    if (Port().CharReady()) {
        silentPolls_ = 0;
        keyPosAnswered_ = true;
        const int b = Port().GetChar();
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
            Port().FlushInBuffer();
            state_ = StateSend;
        } else {
            PrintCopy(b);
        }
    } else if (pollTimer_.Expired(Clock(), kPollInterval)) {
        errorDetail_ = FormatWith(kKeyPosDetail, SamsKeyPosName(keyPosRead_));
        // No answer at all counts as a silent poll: a register that stays silent is
        // no longer connected, so the command waits for it in the idle polling (and
        // the link reports the loss) instead of failing its key check for ever.
        if (!keyPosAnswered_) {
            CountSilentPoll();
            // The query was the poll: the idle polling goes on from it.
            pollTimer_.Start(Clock());
            pollSent_ = true;
        }
        state_ = StateWrongKeyPos;
    }
}

void TSamsER350FProtocol::StepDone() {
    if (model_ == 0) {
        if (!Paced(kPrintReadPause)) return;
        ReadPrintCopy();
        if (!Port().CharReady() && doneTimer_.Expired(Clock(), doneWait_)) state_ = StateIdle;
        return;
    }
    if (model_ == 1 || readAll_) {
        if (!Paced(kStepPause)) return;
        if (Port().CharReady()) {
            ReadPrintCopy();
            return;
        }
        if (doneTimer_.Expired(Clock(), doneWait_)) Complete();
        return;
    }
    if (!Paced(kStepPause)) return;
    Complete();
}

void TSamsER350FProtocol::Complete() {
    pollSent_ = false;
    state_ = StateIdle;
    Result(current_.ID, 0);
}

void TSamsER350FProtocol::StepDeviceError() {
    Log(kNone, FormatOne(kLogFailure, StateDeviceError));
    Raise(OnError, SamsErrorText(errorCode_));
    if (errorCode_ == kSamsErrorMemoryFull || errorCode_ == kSamsErrorFiscalMemoryFull ||
        errorCode_ == kSamsErrorFiscalMemory)
        FlushQueue();
    Send(kSamsAcknowledge);
    state_ = StateErrorAcknowledged;
    StepErrorAcknowledged();  // the pause at once where the clock allows it
}

void TSamsER350FProtocol::StepErrorAcknowledged() {
    // What the register sends within 50 ms of the acknowledgement is dropped.
    if (!Paced(kErrorQuiet)) return;
    Port().FlushInBuffer();
    state_ = StateIdle;
}

void TSamsER350FProtocol::StepWrongKeyPos() {
    Log(kNone, FormatOne(kLogFailure, StateWrongKeyPos));
    Raise(OnError, FailureText(kFailureWrongKeyPos, StateWrongKeyPos, errorDetail_,
                               FormatWith(kCausesWrongKeyPos, SamsKeyPosName(current_.KeyPos))));
    Port().FlushInBuffer();
    state_ = StateIdle;
}

void TSamsER350FProtocol::StepNoEcho() {
    Log(kNone, FormatOne(kLogFailure, StateNoEcho));
    Raise(OnError, FailureText(kFailureNoEcho, StateNoEcho, errorDetail_, kCausesNoEcho));
    Port().FlushInBuffer();
    state_ = StateIdle;
    FlushQueue();
}

}  // namespace tolver

#include "drivers/dalvern/engine/regfisc2160protocol.h"

#include <algorithm>
#include <cstdio>

#include "common/utilgl.h"
#include "drivers/dalvern/settings/regfisc2160gl.h"
#include "platform/serial/defaultline.h"
#include "platform/thread/protocolthread.h"
#include "platform/variant/codepage.h"

namespace tolver {
namespace {

using namespace fisc2160;

constexpr const char* kLogQueued = "в очередь %s";
constexpr const char* kLogStatus = "<- состояние%d %s %s %s %s";
constexpr const char* kLogData = "<- данные %s";
constexpr const char* kLogUnrecognised = "<- неопознано %s";
constexpr const char* kLogError = "<- ошибка %s";
constexpr const char* kLogAck = "<- ACK";
constexpr const char* kLogNak = "<- NAK";
constexpr const char* kLogSentAck = "-> ACK";
constexpr const char* kLogSentNul = "-> #0";
constexpr const char* kLogSent = "-> %s";
constexpr const char* kLogTimerPoll = "коррекция таймера на %dмс";
constexpr const char* kLogTimerReply = "коррекция таймера ожидания на %dмс";
constexpr const char* kLogTimerAck = "коррекция таймера ожидания ACK на %dмс";
constexpr const char* kLogNulFiller = "досылаем байт #0";

constexpr const char* kCommError = "Ошибка коммуникации";
constexpr const char* kCommErrorColon = "Ошибка коммуникации:";
constexpr const char* kDetailLink = "ошибка связи";
constexpr const char* kDetailNoAck = "нет ACK на команду";
constexpr const char* kDetailFormat = "ошибка формата ответа на команду";
constexpr const char* kDetailNoReply = "нет ответа на команду";
constexpr const char* kUnknownFirmware = "неизвестная ";

constexpr const char* kStatusRequest = "[";
constexpr const char* kIdentifyRequest = "S1";

// The raw error-class bits that decide an error status's handling.
constexpr std::uint8_t kErrorFormat = 0x04;
constexpr std::uint8_t kErrorLock = 0x80;

std::string& FirmwareTextStore() {
    static std::string text;
    return text;
}

// count bytes of s from the 1-based position pos; shorter (or empty) where s ends.
std::string Mid(const std::string& s, std::size_t pos, std::size_t count) {
    return pos - 1 < s.size() ? s.substr(pos - 1, count) : std::string();
}

// Bytes in Windows-1251 (frames, raw replies, converted data) for a log line.
std::string Shown(const std::string& bytes) { return Cp1251ToUtf8(bytes); }

}  // namespace

const std::string& RegFisc2160FirmwareText() { return FirmwareTextStore(); }

TRegFisc2160Protocol::TRegFisc2160Protocol() : TRegFisc2160Protocol(MakeDefaultPort(), DefaultLineClock(), true) {}

TRegFisc2160Protocol::TRegFisc2160Protocol(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread)
    : TSerialEngine(std::move(port), clock, withThread) {}

TRegFisc2160Protocol::~TRegFisc2160Protocol() { StopPump(); }

// ---- queue ----------------------------------------------------------------------

int TRegFisc2160Protocol::Enqueue(const std::string& text, std::uint8_t mode, std::int32_t options,
                                  const std::string& description, bool withId, bool next) {
    if (text.size() > kMaxText) return -1;
    TRegFisc2160Command c;
    c.Text = text;
    c.Description = description;
    c.Mode = mode;
    c.Options = options;
    int id = 0;
    if (next)
        queue_.Insert(working_ ? 1 : 0, std::move(c));
    else if (withId)
        id = queue_.PushWithId(std::move(c));
    else
        queue_.Push(std::move(c));
    LogText(FormatWith(kLogQueued, Shown(text)));
    Wake();
    return id;
}

int TRegFisc2160Protocol::AddCommand(const std::string& text, std::uint8_t mode, std::int32_t options,
                                     const std::string& description) {
    return Enqueue(text, mode, options, description, true);
}

int TRegFisc2160Protocol::AddMessage(const std::string& text, std::uint8_t mode, std::int32_t options,
                                     const std::string& description) {
    return Enqueue(text, mode, options, description, false);
}

int TRegFisc2160Protocol::AddCommandNoId(const std::string& text, std::uint8_t mode, std::int32_t options) {
    return Enqueue(text, mode, options, std::string(), false);
}

int TRegFisc2160Protocol::AddMessageNext(const std::string& text, std::uint8_t mode, std::int32_t options) {
    return Enqueue(text, mode, options, std::string(), false, true);
}

// ---- opening and settings ---------------------------------------------------------

int TRegFisc2160Protocol::Open(std::string& errorText) {
    AbandonSent();  // a reopen without Close ends the command in flight the same way
    errorStatusCount_ = 0;
    shortTimeout_ = std::chrono::milliseconds(3500);
    longTimeout_ = std::chrono::milliseconds(60000);
    reportTimeout_ = std::chrono::milliseconds(180000);
    versionIndex_ = kRegFisc2160DefaultRow;
    rx_.Clear();
    deviceMode_ = 0;
    identifyPending_ = true;
    identifySent_ = false;
    statusPending_ = false;
    blocked_ = false;
    pollTimer_.Start(Clock());
    replyTimer_.Start(Clock());
    nakTimer_.Stop();
    ackTimer_.Stop();
    lastStepTick_ = Clock().NowMs();
    state_ = StateIdle;
    working_ = false;
    inInteraction_ = 0;
    keepOnError_ = false;
    dropOnFormatError_ = false;
    deviceId_.clear();
    return OpenPort(errorText);
}

void TRegFisc2160Protocol::Close() {
    ClosePort();
    AbandonSent();
}

void TRegFisc2160Protocol::AbandonSent() {
    // The register may have booked the command whose frame went out: sent again
    // after the reopen it could be booked twice, so it ends here with -1 and the
    // next command starts clean.
    if (!sentOut_ || queue_.Empty()) return;
    DropCurrent(-1);
}

void TRegFisc2160Protocol::ApplyPriority(int priority) {
    TSerialEngine::ApplyPriority(std::clamp(priority, static_cast<int>(TProtocolThread::Idle),
                                            static_cast<int>(TProtocolThread::TimeCritical)));
}

void TRegFisc2160Protocol::SelectTimeout(std::int32_t options) {
    keepOnError_ = false;
    dropOnFormatError_ = false;
    if (options & OptShortTimeout) {
        replyTimeout_ = shortTimeout_;
        statusCount_ = versionIndex_ != 0 ? 1 : 0;
    }
    if (options & OptLongTimeout) {
        replyTimeout_ = longTimeout_;
        statusCount_ = versionIndex_ != 0 ? 1 : 0;
    }
    if (options & OptReportTimeout) {
        replyTimeout_ = reportTimeout_;
        statusCount_ = 1;
    }
    keepOnError_ = (options & OptKeepOnError) != 0;
    dropOnFormatError_ = (options & OptDropOnFormatError) != 0;
}

// ---- sending ----------------------------------------------------------------------

void TRegFisc2160Protocol::SendFrame(const std::string& text) {
    if (text.size() == 1 && text[0] == kACK) {
        Port().PutChar(static_cast<std::uint8_t>(kACK));
        LogText(kLogSentAck);
        return;
    }
    if (text.size() == 1 && text[0] == kNUL) {
        Port().PutChar(0);
        LogText(kLogSentNul);
        return;
    }
    const auto frame = BuildFrame(text);
    if (!frame) return;  // refused when queued; never sent with a broken length
    Port().PutString(*frame);
    LogText(FormatWith(kLogSent, Shown(*frame)));
}

void TRegFisc2160Protocol::SendModeSwitch(std::uint8_t mode) {
    statusCount_ = versionIndex_ != 0 ? 1 : 0;
    char text[16];
    std::snprintf(text, sizeof text, "o%1.1d%s", mode, kModePassword);
    SendFrame(text);
}

std::string TRegFisc2160Protocol::GetErrorText() const { return ErrorReportText(lastErrorText_, lastErrorDetails_); }

// ---- the step ---------------------------------------------------------------------

void TRegFisc2160Protocol::StepState() {
    if (!Paced(kStepPause)) return;
    CorrectTimers();
    switch (state_) {
        case StateIdle:
        case StateModeSwitch:
        case StateCommandSent: {
            const std::uint8_t entry = state_;
            if (!replies_.empty()) {
                const TReply r = std::move(replies_.front());
                replies_.pop_front();
                HandleReply(r);
                if (Stopped()) return;
            }
            if (entry == StateIdle)
                StepIdleAfter();
            else if (entry == StateModeSwitch)
                StepModeSwitchAfter();
            else
                StepCommandSentAfter();
            break;
        }
        case StateErrorStatus: StepErrorStatus(); break;
        case StateAckLost: StepAckLost(); break;
        case StateMalformed: StepMalformed(); break;
        case StateNak: StepNak(); break;
        case StateNoReply: StepNoReply(); break;
        default: state_ = StateIdle; break;
    }
    if (Stopped()) return;
    Receive();
}

void TRegFisc2160Protocol::CorrectTimers() {
    const std::int64_t now = Clock().NowMs();
    // The pump thread's own pauses and waits for work are no stall.
    const std::chrono::milliseconds gap = std::chrono::milliseconds(now - lastStepTick_) - TakeOwnWaits();
    if (gap > kStallGap) {
        const std::pair<TTimer*, const char*> timers[] = {
            {&pollTimer_, kLogTimerPoll}, {&replyTimer_, kLogTimerReply}, {&ackTimer_, kLogTimerAck}};
        for (const auto& [timer, text] : timers) {
            if (!timer->Armed()) continue;
            timer->Shift(gap);
            LogText(FormatOne(text, gap.count()));
        }
    }
    lastStepTick_ = now;
}

void TRegFisc2160Protocol::Receive() {
    std::string unit;
    while (Port().CharReady()) {
        const int b = Port().GetChar();
        if (b < 0) break;
        if (!rx_.Feed(static_cast<char>(b), unit)) continue;
        TReply r;
        r.Parse(unit);
        replies_.push_back(std::move(r));
    }
}

void TRegFisc2160Protocol::StatusStep(const TReply& r, bool& effective) {
    ++statusCount_;
    char line[128];
    std::snprintf(line, sizeof line, kLogStatus, statusCount_, BitsText(r.ModeFlags).c_str(),
                  BitsText(r.ErrorFlags).c_str(), BitsText(r.SpareFlags).c_str(), BitsText(r.DetailFlags).c_str());
    LogText(line);
    SendFrame(std::string(1, kACK));
    effective = statusCount_ == 2;
}

void TRegFisc2160Protocol::HandleReply(const TReply& r) {
    const std::uint8_t s = state_;
    // Any unit received means the register answers.
    inInteraction_ = 1;
    if (s == StateIdle) blocked_ = false;
    switch (r.Kind) {
        case TReply::KindUnrecognised:
            LogText(FormatWith(kLogUnrecognised, Shown(r.Raw)));
            SendFrame(std::string(1, kACK));
            if (s == StateIdle) {
                replyTimer_.Start(Clock());
                ackTimer_.Stop();
            } else {
                FormatError(kCommError);
            }
            break;
        case TReply::KindNak: NakError(); break;
        case TReply::KindAck:
            LogText(kLogAck);
            replyTimer_.Start(Clock());
            ackTimer_.Stop();
            break;
        case TReply::KindStatus: {
            bool effective = false;
            StatusStep(r, effective);
            if (effective) {
                deviceMode_ = r.Mode;
                if (s == StateIdle) statusPending_ = false;
                if (s == StateCommandSent) {
                    if (!r.ErrorText.empty()) {
                        sentOut_ = false;  // refused: the register did not book it
                        TakeError(r);
                        state_ = StateErrorStatus;
                    } else {
                        CommandDone();
                    }
                } else {
                    ++errorStatusCount_;
                    if (errorStatusCount_ >= 3 && !r.ErrorText.empty()) {
                        TakeError(r);
                        state_ = StateErrorStatus;
                    } else if (s == StateIdle) {
                        replyTimer_.Start(Clock());
                    }
                }
            }
            ackTimer_.Stop();
            break;
        }
        case TReply::KindData:
            LogText(FormatWith(kLogData, Shown(r.Data)));
            if (s == StateIdle && identifyPending_) Identify(r.Data);
            SendFrame(std::string(1, kACK));
            if (s == StateIdle) {
                replyTimer_.Start(Clock());
            } else if (s == StateModeSwitch) {
                FormatError(kCommError);
            } else {
                ackTimer_.Stop();
            }
            break;
        default:  // damaged
            LogText(FormatWith(kLogError, Shown(r.Raw)));
            SendFrame(std::string(1, kACK));
            if (s == StateIdle) {
                replyTimer_.Start(Clock());
                ackTimer_.Stop();
            } else {
                FormatError(s == StateModeSwitch ? kCommError : kCommErrorColon);
            }
            break;
    }
}

void TRegFisc2160Protocol::StepIdleAfter() {
    if (ackTimer_.Expired(Clock(), kAckTimeout)) NoAckError();
    if (pollTimer_.Expired(Clock(), kPollInterval)) {
        // A poll still unanswered at the next one: the link is gone. (The reply timer
        // cannot tell: every poll restarts it.)
        if (statusPending_ || identifySent_) inInteraction_ = 0;
        if (identifyPending_) {
            Poll(kIdentifyRequest);
            identifySent_ = true;
        } else {
            statusPending_ = true;
            Poll(kStatusRequest);
        }
    }
    if (replyTimer_.Expired(Clock(), replyTimeout_)) {
        if (blocked_) {
            LogError();
            Raise(OnError, GetErrorText());
            if (Stopped()) return;
            replyTimer_.Start(Clock());
        } else {
            inInteraction_ = 0;
        }
    }
    if (identifyPending_ || statusPending_ || queue_.Empty()) return;
    working_ = true;
    const TRegFisc2160Command& head = queue_.Front();
    if (head.Text.empty()) {
        // An operator message: taken off the queue before the host shows it, so that
        // whatever the host does meanwhile finds a consistent queue.
        const TRegFisc2160Command message = head;
        queue_.PopFront();
        working_ = false;
        headResent_ = false;
        sentOut_ = false;
        Raise(OnQuery, message.Description);
        Result(message.Id, 0);
        return;
    }
    if (head.Mode != deviceMode_) {
        SelectTimeout(OptShortTimeout);
        SendModeSwitch(head.Mode);
        replyTimer_.Start(Clock());
        pollTimer_.Start(Clock());
        ackTimer_.Start(Clock());
    }
    state_ = StateModeSwitch;
}

void TRegFisc2160Protocol::Poll(const char* text) {
    SelectTimeout(OptShortTimeout);
    SendFrame(text);
    ackTimer_.Start(Clock());
    replyTimer_.Start(Clock());
    pollTimer_.Start(Clock());
}

void TRegFisc2160Protocol::StepModeSwitchAfter() {
    if (!working_ || queue_.Empty()) {  // nothing to switch for any more
        working_ = false;
        state_ = StateIdle;
        return;
    }
    const std::uint8_t mode = queue_.Front().Mode;
    if (ackTimer_.Expired(Clock(), kAckTimeout)) NoAckError();
    if (pollTimer_.Expired(Clock(), kPollInterval) && mode != deviceMode_) {
        SendModeSwitch(mode);
        pollTimer_.Start(Clock());
        ackTimer_.Start(Clock());
    }
    if (replyTimer_.Expired(Clock(), replyTimeout_)) {
        SetError(kCommError, kDetailNoReply);
        state_ = StateNoReply;
    }
    if (mode == deviceMode_) {
        const TRegFisc2160Command& c = queue_.Front();
        SelectTimeout(c.Options);
        SendFrame(c.Text);
        sentOut_ = true;
        replyTimer_.Start(Clock());
        ackTimer_.Start(Clock());
        state_ = StateCommandSent;
    }
}

void TRegFisc2160Protocol::StepCommandSentAfter() {
    if (ackTimer_.Expired(Clock(), kAckTimeout)) NoAckError();
    if (replyTimer_.Expired(Clock(), replyTimeout_)) {
        SetError(kCommError, kDetailNoReply);
        state_ = StateNoReply;
    }
}

void TRegFisc2160Protocol::CommandDone() {
    if (working_ && !queue_.Empty()) DropCurrent(0);
    working_ = false;
    pollTimer_.Start(Clock());
    replyTimer_.Start(Clock());
    state_ = StateIdle;
}

void TRegFisc2160Protocol::DropCurrent(int result) {
    const std::int32_t id = queue_.Front().Id;
    queue_.PopFront();
    working_ = false;
    headResent_ = false;
    sentOut_ = false;
    Result(id, result);
}

void TRegFisc2160Protocol::StepErrorStatus() {
    LogError();
    const bool current = working_ && !queue_.Empty();
    if (lastErrorFlags_ & kErrorFormat) {
        // Re-identify and send the command again, once: a register that refuses the
        // same text twice will refuse it for ever.
        if (current && headResent_) {
            Raise(OnError, GetErrorText());
            if (Stopped()) return;
            if (working_ && !queue_.Empty()) DropCurrent(-1);
            if (Stopped()) return;
        } else if (current) {
            headResent_ = true;
        }
        Reidentify();
    } else if (lastErrorFlags_ & kErrorLock) {
        Raise(OnError, GetErrorText());
        if (Stopped()) return;
        if (working_ && !queue_.Empty() && !keepOnError_) DropCurrent(-1);
        if (Stopped()) return;
        working_ = false;
        blocked_ = true;
    } else {
        Raise(OnError, GetErrorText());
        if (Stopped()) return;
        working_ = false;
        headResent_ = false;
        sentOut_ = false;
        queue_.Flush([this](std::int32_t id) { Result(id, -1); });
        if (Stopped()) return;
        Reidentify();
    }
    errorStatusCount_ = 0;
    pollTimer_.Start(Clock());
    replyTimer_.Start(Clock());
    state_ = StateIdle;
}

bool TRegFisc2160Protocol::TakeNak() {
    if (replies_.empty()) return false;
    const bool nak = replies_.front().Kind == TReply::KindNak;
    replies_.pop_front();
    inInteraction_ = 1;
    return nak;
}

void TRegFisc2160Protocol::BackToIdle() {
    working_ = false;
    pollTimer_.Start(Clock());
    replyTimer_.Start(Clock());
    ackTimer_.Stop();
    state_ = StateIdle;
}

void TRegFisc2160Protocol::Reidentify() {
    identifyPending_ = true;
    identifySent_ = true;
    SelectTimeout(OptShortTimeout);
    SendFrame(kIdentifyRequest);
    ackTimer_.Start(Clock());
}

void TRegFisc2160Protocol::StepAckLost() {
    if (TakeNak()) NakError();  // anything else is dropped
    // Silence since the unacknowledged send: the link is gone.
    if (replyTimer_.Expired(Clock(), replyTimeout_)) inInteraction_ = 0;
    if (ackTimer_.Expired(Clock(), kAckLostResend)) {
        SelectTimeout(OptShortTimeout);
        LogText(kLogNulFiller);
        SendFrame(std::string(1, kNUL));
        ackTimer_.Start(Clock());
    }
}

void TRegFisc2160Protocol::StepMalformed() {
    LogError();
    if (ignoreReplyFormatError_ || dropOnFormatError_) {
        if (working_ && !queue_.Empty()) DropCurrent(1);
    } else {
        Raise(OnError, GetErrorText());
    }
    if (Stopped()) return;
    BackToIdle();
}

void TRegFisc2160Protocol::StepNak() {
    if (TakeNak()) {  // anything else is dropped
        LogText(kLogNak);
        nakTimer_.Start(Clock());
    }
    if (nakTimer_.Expired(Clock(), kNakQuiet)) BackToIdle();
}

void TRegFisc2160Protocol::StepNoReply() {
    LogError();
    Raise(OnError, GetErrorText());
    if (Stopped()) return;
    if (working_ && !queue_.Empty() && !keepOnError_) DropCurrent(-1);
    if (Stopped()) return;
    BackToIdle();
}

// ---- errors and identification ------------------------------------------------------

void TRegFisc2160Protocol::SetError(const char* text, const char* detail) {
    lastErrorText_ = text;
    lastErrorDetails_.assign(1, detail);
}

void TRegFisc2160Protocol::TakeError(const TReply& status) {
    lastErrorFlags_ = status.ErrorFlags;
    lastErrorText_ = status.ErrorText;
    lastErrorDetails_ = status.Details;
}

void TRegFisc2160Protocol::NakError() {
    sentOut_ = false;  // the register refused the frame; it is sent again
    LogText(kLogNak);
    SetError(kCommError, kDetailLink);
    ackTimer_.Stop();
    nakTimer_.Start(Clock());
    LogError();
    state_ = StateNak;
}

void TRegFisc2160Protocol::FormatError(const char* text) {
    SetError(text, kDetailFormat);
    ackTimer_.Stop();
    state_ = StateMalformed;
}

void TRegFisc2160Protocol::NoAckError() {
    ackTimer_.Start(Clock());
    SetError(kCommError, kDetailNoAck);
    LogError();
    state_ = StateAckLost;
}

void TRegFisc2160Protocol::LogError() { LogText(FormatWith(kLogError, DeleteCRLF(GetErrorText()))); }

void TRegFisc2160Protocol::LogText(const std::string& text) { Log("", text + "\r\n"); }

void TRegFisc2160Protocol::Identify(const std::string& data) {
    deviceId_ = Shown(Mid(data, 3, 10));
    std::string firmware = kUnknownFirmware + Shown(Mid(data, 44, 14));
    for (int row = 0; row < kRegFisc2160VersionCount; ++row) {
        const std::string& name = RegFisc2160Version(row)->VersionName;
        if (Mid(data, 44, 7) == name) {
            versionIndex_ = static_cast<std::uint8_t>(row);
            firmware = Shown(Mid(data, 44, 7));
        } else if (Mid(data, 44, 10) == name || Mid(data, 44, 9) == name) {
            versionIndex_ = static_cast<std::uint8_t>(row);
            firmware = Shown(Mid(data, 44, 14));
        }
    }
    firmwareText_ = firmware;
    FirmwareTextStore() = firmware;
    identifyPending_ = false;
    identifySent_ = false;
}

TSerialEngine::TWorkWait TRegFisc2160Protocol::WorkWait() {
    if (!Clock().RealTime() || !PortOpen()) return {};
    // Every step begins with its pause, which the pump thread spends before it.
    const TWorkWait now{std::chrono::milliseconds{0}, false, kStepPause};
    if (!replies_.empty() || Port().CharReady()) return now;
    const auto untilPollOrReply = [&] {
        return UntilFirstDue({{ackTimer_, kAckTimeout}, {pollTimer_, kPollInterval}, {replyTimer_, replyTimeout_}},
                             kStepPause);
    };
    std::chrono::milliseconds longest{0};
    switch (state_) {
        case StateIdle:
            if (!identifyPending_ && !statusPending_ && !queue_.Empty()) return now;
            longest = untilPollOrReply();
            break;
        case StateModeSwitch:
            if (!working_ || queue_.Empty() || queue_.Front().Mode == deviceMode_) return now;
            longest = untilPollOrReply();
            break;
        case StateCommandSent:
            longest = UntilFirstDue({{ackTimer_, kAckTimeout}, {replyTimer_, replyTimeout_}}, kStepPause);
            break;
        case StateAckLost:
            longest = UntilFirstDue({{ackTimer_, kAckLostResend}, {replyTimer_, replyTimeout_}}, kStepPause);
            break;
        case StateNak: longest = UntilFirstDue({{nakTimer_, kNakQuiet}}, kStepPause); break;
        default: return now;  // the error states act in one step
    }
    return {longest, true, kStepPause};
}

}  // namespace tolver

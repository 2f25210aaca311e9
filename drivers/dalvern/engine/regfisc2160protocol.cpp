#include "drivers/dalvern/engine/regfisc2160protocol.h"

#include <algorithm>
#include <cstdio>

#include "common/utilgl.h"
#include "drivers/dalvern/engine/regfisc2160code.h"
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
constexpr const char* kLogStatusEarly = "<- состояние до ACK %s %s %s %s";
constexpr const char* kLogEarlyNotAnswer = "состояние до ACK не ответ на команду";
constexpr const char* kLogEarlyDropped = "нет ACK, состояние до него не ответ на команду";
constexpr const char* kLogLateAck = "ACK после ожидания: команда принята, ждем ответа";
constexpr const char* kLogNakForFiller = "<- NAK на байт #0";
constexpr const char* kLogStatusDropped = "<- состояние отброшено %s %s %s %s";
constexpr const char* kLogDropped = "<- отброшено %s";
constexpr const char* kLogStaleData = "данные не в ответ на S1, не приняты";

constexpr const char* kCommError = "Ошибка коммуникации";
constexpr const char* kCommErrorColon = "Ошибка коммуникации:";
constexpr const char* kDetailLink = "ошибка связи";
constexpr const char* kDetailNoAck = "нет ACK на команду";
constexpr const char* kDetailFormat = "ошибка формата ответа на команду";
constexpr const char* kDetailNoReply = "нет ответа на команду";
constexpr const char* kUnknownFirmware = "неизвестная ";

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

// Log lines are UTF-8 text: a control byte shows by its name (ControlsByName), the
// other bytes as the characters they stand for.

// Windows-1251 bytes (converted reply data).
std::string ShownAnsi(std::string_view bytes) {
    std::string out;
    for (const char ch : bytes)
        if (!AppendControlName(out, static_cast<unsigned char>(ch))) out += Cp1251ToUtf8(std::string_view(&ch, 1));
    return out;
}

// Bytes as they go on the line: names and texts in the register's code page. The
// only letters sent in Windows-1251 are the second letters of the report codes ("I"
// or "J" and a Cyrillic letter: IаX, JоX, ...); text starts at textAt (0 for a command
// text, the data field of a frame), npos for bytes from the register.
std::string ShownWire(std::string_view bytes, std::size_t textAt) {
    const std::size_t ansiAt = textAt < bytes.size() && textAt + 1 < bytes.size() &&
                                       (bytes[textAt] == 'I' || bytes[textAt] == 'J')
                                   ? textAt + 1
                                   : std::string_view::npos;
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (AppendControlName(out, c)) continue;
        const char ansi = static_cast<char>(i == ansiAt ? c : DosCharToWin(c));
        out += Cp1251ToUtf8(std::string_view(&ansi, 1));
    }
    return out;
}

// The data field's offset in a frame: SOH, the signature, STX, FS and the length.
constexpr std::size_t kFrameTextAt = 24;

std::string StatusBits(const char* format, const TReply& r) {
    char line[128];
    std::snprintf(line, sizeof line, format, BitsText(r.ModeFlags).c_str(), BitsText(r.ErrorFlags).c_str(),
                  BitsText(r.SpareFlags).c_str(), BitsText(r.DetailFlags).c_str());
    return line;
}

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
    if (next)  // after the head in hand, or the one in flight that waits to be sent again
        queue_.Insert(working_ || sentOut_ ? 1 : 0, std::move(c));
    else if (withId)
        id = queue_.PushWithId(std::move(c));
    else
        queue_.Push(std::move(c));
    // An operator message shows its text.
    LogText(FormatWith(kLogQueued, text.empty() ? ControlsByName(description) : ShownWire(text, 0)));
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
    if (closing_) {
        if (GetComNumber() == openCom_) {
            // The port closes once the command in flight has its outcome; the reopen
            // follows then.
            reopenPending_ = true;
            errorText.clear();
            return 0;
        }
        Close();  // another port: the command in flight is given up
    }
    AbandonSent();  // a reopen without Close ends the command in flight the same way
    ResetSession();
    openCom_ = GetComNumber();
    const int result = OpenPort(errorText);
    // What the previous session left on the line (a late identification, a status) is
    // not this session's answer.
    if (result == 0) Port().FlushInBuffer();
    return result;
}

void TRegFisc2160Protocol::ResetSession() {
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
    replies_.clear();
    held_.clear();
    acked_ = false;
    ackLostFrom_ = StateIdle;
    nakAfterFiller_ = false;
    fillersUnanswered_ = 0;
    terminating_ = false;
    closing_ = false;
    reopenPending_ = false;
    closeTimer_.Stop();
}

void TRegFisc2160Protocol::Close() {
    closing_ = false;
    reopenPending_ = false;
    closeTimer_.Stop();
    ClosePort();
    AbandonSent();
}

void TRegFisc2160Protocol::Terminate() { terminating_ = true; }

void TRegFisc2160Protocol::CloseAfterCurrent() {
    if (!PortOpen()) {
        Close();
        return;
    }
    terminating_ = true;
    if (!closing_) {
        closing_ = true;
        closeTimer_.Start(Clock());
        // The command's own reply time-out, and the wait for its ACK before it.
        std::chrono::milliseconds timeout = replyTimeout_;
        if (sentOut_ && !queue_.Empty()) {
            const std::int32_t options = queue_.Front().Options;
            if (options & OptShortTimeout) timeout = shortTimeout_;
            if (options & OptLongTimeout) timeout = longTimeout_;
            if (options & OptReportTimeout) timeout = reportTimeout_;
        }
        closeWait_ = timeout + kAckTimeout;
    }
    SettleClose();
}

bool TRegFisc2160Protocol::SettleClose() {
    // The error states act in the next step, with results to report.
    if (state_ == StateErrorStatus || state_ == StateMalformed || state_ == StateNoReply) return false;
    if (sentOut_ && !queue_.Empty()) {
        if (!closeTimer_.Expired(Clock(), closeWait_)) return false;
        // Past its time-out: the command in flight ends with -1, as silence ends it.
        SetError(kCommError, kDetailNoReply);
        LogError();
        Raise(OnError, GetErrorText());
        if (Stopped()) return true;
    }
    const bool reopen = reopenPending_;
    Close();
    if (reopen) {
        std::string cause;
        if (Open(cause) != 0) Raise(OnError, cause);
    }
    return true;
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
    acked_ = false;
    held_.clear();
    fillersUnanswered_ = 0;  // a NAK from here on answers this frame
    LogText(FormatWith(kLogSent, ShownWire(*frame, kFrameTextAt)));
}

void TRegFisc2160Protocol::SendModeSwitch(std::uint8_t mode) {
    statusCount_ = versionIndex_ != 0 ? 1 : 0;
    char text[16];
    std::snprintf(text, sizeof text, "%s%1.1d%s", fisc2160::kCmdModeSwitch, mode, fisc2160::kModePassword);
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
    if (closing_ && SettleClose()) return;
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

bool TRegFisc2160Protocol::CountStatus(const TReply& r) {
    ++statusCount_;
    char line[128];
    std::snprintf(line, sizeof line, kLogStatus, statusCount_, BitsText(r.ModeFlags).c_str(),
                  BitsText(r.ErrorFlags).c_str(), BitsText(r.SpareFlags).c_str(), BitsText(r.DetailFlags).c_str());
    LogText(line);
    return statusCount_ == 2;
}

void TRegFisc2160Protocol::StatusStep(const TReply& r, bool& effective) {
    effective = CountStatus(r);
    SendFrame(std::string(1, kACK));
}

void TRegFisc2160Protocol::EffectiveStatus(const TReply& r, std::uint8_t s) {
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
        return;
    }
    ++errorStatusCount_;
    if (errorStatusCount_ >= 3 && !r.ErrorText.empty()) {
        TakeError(r);
        state_ = StateErrorStatus;
    } else if (s == StateIdle) {
        replyTimer_.Start(Clock());
    }
}

// The register acknowledges every frame before it answers it: a status ahead of the
// ACK is one it sent of its own accord, or the previous command's.
void TRegFisc2160Protocol::HoldStatus(const TReply& r) {
    LogText(StatusBits(kLogStatusEarly, r));
    SendFrame(std::string(1, kACK));
    held_.push_back(r);
}

void TRegFisc2160Protocol::LogDropped(const TReply& r) {
    if (r.Kind == TReply::KindStatus)
        LogText(StatusBits(kLogStatusDropped, r));
    else
        LogText(FormatWith(kLogDropped, ShownWire(r.Raw, std::string_view::npos)));
}

bool TRegFisc2160Protocol::NakForFiller() {
    if (fillersUnanswered_ == 0) return false;
    --fillersUnanswered_;
    return true;
}

void TRegFisc2160Protocol::HandleReply(const TReply& r) {
    const std::uint8_t s = state_;
    // Any unit received means the register answers.
    inInteraction_ = 1;
    if (s == StateIdle) blocked_ = false;
    switch (r.Kind) {
        case TReply::KindUnrecognised:
            LogText(FormatWith(kLogUnrecognised, ShownWire(r.Raw, std::string_view::npos)));
            SendFrame(std::string(1, kACK));
            if (s == StateIdle) {
                replyTimer_.Start(Clock());
                ackTimer_.Stop();
            } else {
                FormatError(kCommError);
            }
            break;
        case TReply::KindNak:
            // Once the frame is acknowledged a NAK cannot refuse it.
            if (acked_ && NakForFiller()) {
                LogText(kLogNakForFiller);  // the frame was acknowledged; this answers a NUL
                break;
            }
            NakError();
            break;
        case TReply::KindAck:
            LogText(kLogAck);
            acked_ = true;
            if (!held_.empty()) {
                LogText(kLogEarlyNotAnswer);
                held_.clear();
            }
            replyTimer_.Start(Clock());
            ackTimer_.Stop();
            break;
        case TReply::KindStatus: {
            if (s == StateCommandSent && !acked_) {
                HoldStatus(r);
                break;
            }
            bool effective = false;
            StatusStep(r, effective);
            if (effective) EffectiveStatus(r, s);
            ackTimer_.Stop();
            break;
        }
        case TReply::KindData:
            LogText(FormatWith(kLogData, ShownAnsi(r.Data)));
            if (s == StateIdle && identifyPending_) {
                // Only the answer to this session's "S1" identifies the register.
                if (identifySent_)
                    Identify(r.Data);
                else
                    LogText(kLogStaleData);
            }
            SendFrame(std::string(1, kACK));
            if (s == StateIdle) {
                replyTimer_.Start(Clock());
            } else if (s == StateModeSwitch) {
                FormatError(kCommError);
            } else {
                // Data comes only for a frame the register took: its ACK is as good as here.
                acked_ = true;
                if (!held_.empty()) {
                    LogText(kLogEarlyNotAnswer);
                    held_.clear();
                }
                ackTimer_.Stop();
            }
            break;
        default:  // damaged
            LogText(FormatWith(kLogError, ShownWire(r.Raw, std::string_view::npos)));
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

bool TRegFisc2160Protocol::CanStartHead() const {
    return !identifyPending_ && !statusPending_ && !queue_.Empty() && (!terminating_ || sentOut_);
}

void TRegFisc2160Protocol::StepIdleAfter() {
    if (ackTimer_.Expired(Clock(), kAckTimeout)) NoAckError();
    if (pollTimer_.Expired(Clock(), kPollInterval)) {
        if (terminating_) {
            pollTimer_.Start(Clock());  // no poll goes out while terminating
        } else {
        // A poll still unanswered at the next one: the link is gone. (The reply timer
        // cannot tell: every poll restarts it.)
        if (statusPending_ || identifySent_) inInteraction_ = 0;
        if (identifyPending_) {
            Poll(fisc2160::kCmdIdentify);
            identifySent_ = true;
        } else {
            statusPending_ = true;
            Poll(fisc2160::kCmdStatus);
        }
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
    if (!CanStartHead()) return;
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
    // Nothing to switch for any more, or terminating before the command went out.
    if (!working_ || queue_.Empty() || (terminating_ && !sentOut_)) {
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
    if (ackTimer_.Expired(Clock(), kAckTimeout)) {
        // A status held while the ACK never came is still no answer: the register may
        // never have had the frame. The lost ACK's road (fillers, then the register's
        // NAK and the frame again, or its late ACK) tells.
        if (!held_.empty()) {
            LogText(kLogEarlyDropped);
            held_.clear();
        }
        NoAckError();
        return;
    }
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

bool TRegFisc2160Protocol::TakeReply(TReply& r) {
    if (replies_.empty()) return false;
    r = std::move(replies_.front());
    replies_.pop_front();
    inInteraction_ = 1;
    return true;
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
    if (terminating_) {  // the next Open identifies the register anyway
        identifySent_ = false;
        return;
    }
    identifySent_ = true;
    SelectTimeout(OptShortTimeout);
    SendFrame(fisc2160::kCmdIdentify);
    ackTimer_.Start(Clock());
}

// An ACK here shows that the register took the frame after all (it was busy): sending
// it again would have it carried out twice, so the engine waits for its status.
void TRegFisc2160Protocol::StepAckLost() {
    TReply r;
    if (TakeReply(r)) {
        if (r.Kind == TReply::KindNak) {
            NakForFiller();
            NakError();
        } else if (r.Kind == TReply::KindAck) {
            ResumeAfterLateAck();
        } else {
            LogDropped(r);
        }
        if (state_ != StateAckLost) return;
    }
    // Silence since the unacknowledged send: the link is gone.
    if (replyTimer_.Expired(Clock(), replyTimeout_)) inInteraction_ = 0;
    if (ackTimer_.Expired(Clock(), kAckLostResend)) {
        SelectTimeout(OptShortTimeout);
        LogText(kLogNulFiller);
        SendFrame(std::string(1, kNUL));
        ++fillersUnanswered_;
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

// A NAK that answered a NUL filler leaves the frame itself unanswered: its ACK may
// still come in the quiet second, and then the frame is not sent again.
void TRegFisc2160Protocol::StepNak() {
    TReply r;
    if (TakeReply(r)) {
        if (r.Kind == TReply::KindNak) {
            NakForFiller();
            LogText(kLogNak);
            nakTimer_.Start(Clock());
        } else if (r.Kind == TReply::KindAck && nakAfterFiller_) {
            ResumeAfterLateAck();
            return;
        } else {
            LogDropped(r);
        }
    }
    if (nakTimer_.Expired(Clock(), kNakQuiet)) BackToIdle();
}

void TRegFisc2160Protocol::ResumeAfterLateAck() {
    LogText(kLogAck);
    LogText(kLogLateAck);
    acked_ = true;
    ackTimer_.Stop();
    nakTimer_.Stop();
    std::uint8_t back = ackLostFrom_;
    if (back != StateIdle && (!working_ || queue_.Empty())) back = StateIdle;
    if (back == StateCommandSent) {
        SelectTimeout(queue_.Front().Options);  // the command's own time-out and status count
        sentOut_ = true;
    } else {
        SelectTimeout(OptShortTimeout);  // a mode switch's or a poll's
    }
    replyTimer_.Start(Clock());
    state_ = back;
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
    nakAfterFiller_ = state_ == StateAckLost;
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
    ackLostFrom_ = state_ <= StateCommandSent ? state_ : static_cast<std::uint8_t>(StateIdle);
    ackTimer_.Start(Clock());
    SetError(kCommError, kDetailNoAck);
    LogError();
    state_ = StateAckLost;
}

void TRegFisc2160Protocol::LogError() { LogText(FormatWith(kLogError, DeleteCRLF(GetErrorText()))); }

void TRegFisc2160Protocol::LogText(const std::string& text) { Log("", text + "\r\n"); }

void TRegFisc2160Protocol::Identify(const std::string& data) {
    deviceId_ = Cp1251ToUtf8(Mid(data, 3, 10));
    std::string firmware = kUnknownFirmware + Cp1251ToUtf8(Mid(data, 44, 14));
    for (int row = 0; row < kRegFisc2160VersionCount; ++row) {
        const std::string& name = RegFisc2160Version(row)->VersionName;
        if (Mid(data, 44, 7) == name) {
            versionIndex_ = static_cast<std::uint8_t>(row);
            firmware = Cp1251ToUtf8(Mid(data, 44, 7));
        } else if (Mid(data, 44, 10) == name || Mid(data, 44, 9) == name) {
            versionIndex_ = static_cast<std::uint8_t>(row);
            firmware = Cp1251ToUtf8(Mid(data, 44, 14));
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
            if (CanStartHead()) return now;
            longest = untilPollOrReply();
            break;
        case StateModeSwitch:
            if (!working_ || queue_.Empty() || queue_.Front().Mode == deviceMode_ || (terminating_ && !sentOut_))
                return now;
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

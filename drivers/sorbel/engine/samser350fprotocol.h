#pragma once
// The key-stroke protocol engine of the Samsung ER-350F STU. The register is worked
// as if an operator pressed its keys: one key code per byte, an echo for each
// accepted key, a key-position answer to 0x02, single error bytes, and a copy of
// everything it prints. The engine keeps a queue of key commands and runs them one
// at a time through a step machine on the shared engine core (drivers/engine): its
// pump thread hands every step to the thread that created the engine (the Qt main
// thread), so steps, port access, queue changes and events all happen there and need
// no lock, and spends the pauses between the steps itself.
//
// Use: create, set the events, SetComNumber / SetBaud, SetModel, SetKeyCheckMode,
// the print waits and ApplyPriority, then Open; queue keys with Enqueue, EnqueueKey
// and EnqueueWithId (and the entry routines of samser350fkeys.h); results arrive as
// OnCommandResult(id, 0 or -1). Close stops the steps and the port; queued
// commands stay for the next Open.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "drivers/engine/commandqueue.h"
#include "drivers/engine/serialengine.h"

namespace tolver {

// Kinds of a key: how the engine checks and times it (TSamsER350FProtocol::SetKind).
enum SamsKind : std::uint8_t {
    kSamsKindShort = 0,     // echo, key check, no wait
    kSamsKindPrint = 1,     // echo, key check, the receipt print wait
    kSamsKindNoEcho = 2,    // key check, no echo
    kSamsKindRaw = 3,       // neither echo nor key check (the characters of a text line)
    kSamsKindReport = 4,    // echo, key check, the report print wait
    kSamsKindPrint5 = 5,    // as kSamsKindPrint
    kSamsKindStart = 6,     // as kSamsKindShort, and an error byte answers the key check
    kSamsKindPrint7 = 7,    // as kSamsKindPrint
    kSamsKindSale = 8,      // the receipt print wait, reading the print copy until silence
    kSamsKindTextEnd = 9,   // the same, for the end of a text line
};

// One queued key or operator query.
class TCommand {
public:
    std::int32_t Code = 0;    // byte to send (key code or raw character), -1 for an operator query
    std::uint8_t KeyPos = 0;  // key position required before the key: 1 P, 2 X, 3 Z, 4 П, 5 МС
    std::uint8_t Kind = 0;    // timing and checking kind 0..9
    std::string Text;         // operator prompt, used when Code is -1
    std::int32_t ID = 0;      // id reported on completion; 0 = none
    std::int32_t Flags = 0;   // bit 0: first key of an operation

    void Assign(const TCommand& source) { *this = source; }
};

class TSamsER350FProtocol : public TSerialEngine {
public:
    // Step machine states.
    enum : std::uint8_t {
        StateIdle = 0,
        StateSend = 1,
        StateEcho = 2,
        StateKeyPos = 3,
        StateDone = 4,
        StateDeviceError = 200,
        StateErrorAcknowledged = 201,  // the pause after the acknowledgement of an error byte
        StateWrongKeyPos = 252,
        StateNoEcho = 255,
    };
    // Command flag: the first key of an operation (key-check mode 1 checks only it).
    // An operation runs from its first key to the next first key, or to its key with
    // an id, whichever comes first.
    static constexpr std::int32_t kFirstKey = 1;

    // The default line (a termios port on the system clock unless a test has put in
    // others, platform/serial/defaultline.h) and a protocol thread.
    TSamsER350FProtocol();
    // Another line and clock; without a thread the caller calls Step itself.
    TSamsER350FProtocol(std::unique_ptr<TSerialPort> port, TClock& clock, bool withThread);
    ~TSamsER350FProtocol() override;

    // Queueing, in the order the keys go out.
    void Enqueue(std::int32_t code, std::uint8_t keyPos, std::uint8_t kind, const std::string& text,
                 std::int32_t flags);
    void EnqueueKey(std::int32_t code, std::uint8_t keyPos, std::uint8_t kind);
    // Queues a key whose completion is reported; returns its id (1, 2, ...).
    std::int32_t EnqueueWithId(std::int32_t code, std::uint8_t keyPos, const std::string& text, std::uint8_t kind);

    // 0, or -1 with cause "Ошибка при открытии COM<n>". Every Open starts the step
    // machine afresh (the queue stays): the first poll goes out a poll interval later.
    int Open(std::string& cause);
    // Stops the steps (none runs after Close returns) and closes the port. A key that
    // has been accepted and waits for its completion completes now. A key that went
    // out and whose echo is still awaited is never sent again: its operation is
    // dropped with -1 for its id, and the register's entry is cleared (a start key)
    // before the next operation.
    void Close();
    void SendByte(std::uint8_t byte);
    void SetKind(int kind);
    // What the protocol thread may wait for before the next step can do anything, on a
    // real-time clock: a quiet polled line waits for its poll, input or not (the bytes
    // are read at the poll); an echo, a key position or the end of a print waits for
    // the register's bytes or its time-out. Everything else steps at once, after the
    // pause the step begins with.
    TWorkWait WorkWait() override;

    // Settings the driver copies in at open.
    // Firmware-version row 0..3; false (model unchanged) for any other value.
    bool SetModel(int model);
    std::uint8_t Model() const { return model_; }
    // 1: query the key position only before the first key of an operation; any other
    // value: before every key.
    void SetKeyCheckMode(std::uint8_t mode) { keyCheckMode_ = mode; }
    std::uint8_t KeyCheckMode() const { return keyCheckMode_; }
    // Completion waits of the printing kinds and of reports (negative values count as 0).
    void SetWaitCheckOutPrint(std::chrono::milliseconds wait) { waitCheckOutPrint_ = NotNegative(wait); }
    void SetWaitCheckOutLongPrint(std::chrono::milliseconds wait) { waitCheckOutLongPrint_ = NotNegative(wait); }
    std::chrono::milliseconds WaitCheckOutPrint() const { return waitCheckOutPrint_; }
    std::chrono::milliseconds WaitCheckOutLongPrint() const { return waitCheckOutLongPrint_; }

    // Readable state.
    bool Connected() const { return connected_; }
    // The identification once read whole (empty before).
    const std::string& ID() const { return id_; }
    std::uint8_t State() const { return state_; }
    const std::deque<TCommand>& Queue() const { return queue_.Items(); }
    const TCommand& Current() const { return current_; }
    int ErrorCode() const { return errorCode_; }
    const std::string& ErrorDetail() const { return errorDetail_; }
    int SilentPolls() const { return silentPolls_; }
    bool IdPending() const { return idPending_; }
    bool IdRequested() const { return idRequested_; }
    std::uint8_t KeyPosRead() const { return keyPosRead_; }
    bool PollSent() const { return pollSent_; }
    std::int32_t NextId() const { return queue_.NextId(); }
    std::chrono::milliseconds DoneWait() const { return doneWait_; }
    bool NoEcho() const { return noEcho_; }
    bool NoKeyCheck() const { return noKeyCheck_; }
    bool ErrorIsKeyAnswer() const { return errorIsKeyAnswer_; }
    bool ReadAll() const { return readAll_; }
    // The register takes keys as the text of a receipt line: a text-line key went out
    // and the end of that line has not been accepted yet.
    bool TextLineOpen() const { return textLineOpen_; }

    // Fixed timings (and steps for the identification).
    static constexpr std::chrono::milliseconds kPollInterval{1800};  // also the key-position answer time-out
    static constexpr int kIdIdleSteps = 300;
    static constexpr std::chrono::milliseconds kEchoTimeout{1200};
    static constexpr std::chrono::milliseconds kWaitShort{0};  // completion wait of the short kinds
    // Pauses at the start of a step: of most steps, of model 0's completion steps, and
    // after the acknowledgement of an error byte (what the register sends meanwhile is
    // dropped).
    static constexpr std::chrono::milliseconds kStepPause{1};
    static constexpr std::chrono::milliseconds kPrintReadPause{20};
    static constexpr std::chrono::milliseconds kErrorQuiet{50};

private:
    static std::chrono::milliseconds NotNegative(std::chrono::milliseconds wait) {
        return wait < std::chrono::milliseconds{0} ? std::chrono::milliseconds{0} : wait;
    }
    void StepState() override;
    // The pause that the step of the present state begins with.
    std::chrono::milliseconds NextStepPause() const;
    void StepIdle();
    void StepSend();
    // A poll or key query that got no answer; the third in a row ends "connected".
    void CountSilentPoll();
    void StepEcho();
    void StepKeyPos();
    void StepDone();
    void StepDeviceError();
    void StepErrorAcknowledged();
    void StepWrongKeyPos();
    void StepNoEcho();

    void Send(std::uint8_t byte);
    void PrintCopy(int deviceByte);
    void ReadPrintCopy();
    void PopHead();
    void Complete();
    // Completes a key that waits for its completion (Close, reopen).
    void FinishAccepted();
    // Empties the queue, then raises -1 for every queued id; a text line left open is
    // ended first thing afterwards.
    void FlushQueue();
    // Drops a key that went out and waits for its echo, with the rest of its operation.
    void AbandonSentKey();
    // Puts the keys that bring the register back to its idle entry at the head of the
    // queue: the end of an open text line, and with clearEntry a start key.
    void QueueRecovery(bool clearEntry);

    TCommandQueue<TCommand> queue_;
    TCommand current_;
    int idIdleCount_ = 0;
    TTimer pollTimer_;
    TTimer echoTimer_;
    TTimer doneTimer_;
    int silentPolls_ = 0;
    std::chrono::milliseconds doneWait_{0};
    bool noEcho_ = false;
    bool noKeyCheck_ = false;
    bool errorIsKeyAnswer_ = false;
    bool readAll_ = false;
    bool textLineOpen_ = false;
    bool idPending_ = false;
    bool idRequested_ = false;
    int errorCode_ = 0;
    std::uint8_t state_ = StateIdle;
    bool pollSent_ = true;
    std::uint8_t keyPosRead_ = 0;
    bool keyPosAnswered_ = false;  // a byte came since the command's key query
    std::string errorDetail_;
    std::chrono::milliseconds waitCheckOutPrint_{400};
    std::chrono::milliseconds waitCheckOutLongPrint_{2000};
    bool connected_ = false;
    std::string id_;
    std::string idRead_;  // the identification as it arrives
    std::uint8_t model_ = 0;
    std::uint8_t keyCheckMode_ = 0;
};

}  // namespace tolver

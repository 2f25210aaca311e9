#pragma once
// The device side of a simulated register: a byte stream in, scheduled output out,
// and a record of both with their times. A register simulator derives from
// TSimDevice and answers in OnReceive; TSimPty (a pseudo-terminal), TSimLoopPort
// (in memory) and TLockstepClock move the bytes. Times are milliseconds of whatever
// clock drives the device (virtual in tests, the steady clock in cashsim).

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tolver {

struct TSimByte {
    std::int64_t time;
    std::uint8_t byte;
};

class TSimDevice {
public:
    virtual ~TSimDevice() = default;

    // A byte from the PC at time now. Recorded always; answered unless silent.
    void Receive(std::uint8_t byte, std::int64_t now);
    // Appends to out the output due at or before now, in order of time and of
    // scheduling; returns whether there was any.
    bool TakeDue(std::int64_t now, std::string& out);
    // The time the next output is due, -1 when none is scheduled.
    std::int64_t NextDue() const;

    // Silence models a link loss without closing the line: what arrives is recorded
    // but not answered, and output falling due meanwhile is lost. A silence until a
    // time extends one that is under way; it never shortens it.
    void SetSilent(bool silent) { silentForever_ = silent; }
    void SetSilentUntil(std::int64_t time) { silentUntil_ = std::max(silentUntil_, time); }
    bool Silent(std::int64_t now) const { return silentForever_ || now < silentUntil_; }

    // Sends bytes at time `at` whatever the protocol (garbage, a late answer).
    void SendAt(std::string_view bytes, std::int64_t at) { Schedule(bytes, at); }

    // Everything received and sent, with times.
    const std::vector<TSimByte>& Received() const { return received_; }
    const std::vector<TSimByte>& Sent() const { return sent_; }
    std::string ReceivedBytes() const;
    void ClearRecord();

protected:
    // Answers one byte (not called while silent).
    virtual void OnReceive(std::uint8_t byte, std::int64_t now) = 0;
    // Called before output is taken, so that a device can act on time alone.
    virtual void OnTime(std::int64_t now) {}
    void Schedule(std::string_view bytes, std::int64_t at);
    // Drops all scheduled output not yet sent.
    void CancelOutput() { schedule_.clear(); }

private:
    struct Pending {
        std::int64_t at;
        std::string bytes;
    };
    std::deque<Pending> schedule_;  // sorted by time, stable
    std::vector<TSimByte> received_;
    std::vector<TSimByte> sent_;
    bool silentForever_ = false;
    std::int64_t silentUntil_ = 0;
};

}  // namespace tolver

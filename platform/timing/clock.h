#pragma once
// The monotonic millisecond clock of the protocol engines and their one-shot timers.
// An engine takes its clock by reference, so that tests step it on a fake clock
// without waiting out real time-outs. Times are 64-bit milliseconds: no wrap, and a
// timer says whether it runs by its own flag, never by a start time of 0.

#include <chrono>
#include <cstdint>

namespace tolver {

class TClock {
public:
    virtual ~TClock() = default;
    // Milliseconds on a monotonic scale.
    virtual std::int64_t NowMs() = 0;
    // Pauses the caller for ms milliseconds (a fake clock moves on instead).
    virtual void SleepMs(int ms) = 0;
    // Whether the clock's time is real time, so that a thread may simply wait for it.
    virtual bool RealTime() const { return false; }
};

// The process's steady clock; SleepMs really sleeps.
TClock& SystemClock();

// A one-shot timer: Start arms it at the clock's present time; Expired is true once
// the clock has reached the start plus the wait, and disarms it, so that each start
// fires once.
class TTimer {
public:
    void Start(TClock& clock) {
        start_ = clock.NowMs();
        armed_ = true;
    }
    void Stop() { armed_ = false; }
    bool Armed() const { return armed_; }
    std::int64_t StartedAt() const { return start_; }
    // Moves a running timer's start forward (a stall of the caller that must not count).
    void Shift(std::chrono::milliseconds delta) {
        if (armed_) start_ += delta.count();
    }
    bool Expired(TClock& clock, std::chrono::milliseconds wait) {
        if (!armed_ || clock.NowMs() - start_ < wait.count()) return false;
        armed_ = false;
        return true;
    }
    // The time from now until a running timer expires after wait (0 once it has).
    std::chrono::milliseconds Left(TClock& clock, std::chrono::milliseconds wait) const {
        const std::int64_t left = start_ + wait.count() - clock.NowMs();
        return std::chrono::milliseconds(left > 0 ? left : 0);
    }

private:
    std::int64_t start_ = 0;
    bool armed_ = false;
};

// A clock for tests: time moves only through SleepMs and Advance.
class TFakeClock : public TClock {
public:
    explicit TFakeClock(std::int64_t startMs = 0) : now_(startMs) {}
    std::int64_t NowMs() override { return now_; }
    void SleepMs(int ms) override {
        if (ms <= 0) return;
        now_ += ms;
        slept_ += ms;
    }
    void Advance(std::int64_t ms) { now_ += ms; }
    // The sum of all pauses asked for.
    std::int64_t SleptMs() const { return slept_; }

private:
    std::int64_t now_;
    std::int64_t slept_ = 0;
};

}  // namespace tolver

#pragma once
// The clock of end-to-end tests over a pseudo-terminal. Time is virtual and moves
// only when the engine sleeps; before each sleep returns, the simulator has been
// given the time and every byte in flight has arrived: the simulator has read all
// that the port wrote and the port's reader thread has buffered all that the
// simulator wrote. So an engine on a real port, thread and event loop sees the
// same bytes at the same virtual times on every run, however loaded the machine.

#include <cstdint>
#include <functional>

#include "platform/serial/termiosport.h"
#include "platform/timing/clock.h"
#include "sim/simdevice.h"
#include "sim/simpty.h"

namespace tolver {

class TLockstepClock : public TClock {
public:
    // Real time that bytes in flight may take before the test is failed as hung.
    static constexpr int kHangGuardMs = 30000;

    TLockstepClock(TSimPty& pty, TSimDevice& device, std::int64_t startMs = 0)
        : pty_(pty), device_(device), now_(startMs) {}
    // The engine's port, whose byte counters tell when the line is quiet.
    void Attach(const TTermiosPort& port) { port_ = &port; }

    // Runs at the end of every pause, inside the engine's step: a test acts here at an
    // exact virtual time.
    std::function<void(std::int64_t now)> OnSleep;

    std::int64_t NowMs() override { return now_; }
    void SleepMs(int ms) override;
    // Delivers everything in flight at the present virtual time.
    void Settle();

private:
    bool Quiet() const;

    TSimPty& pty_;
    TSimDevice& device_;
    const TTermiosPort* port_ = nullptr;
    std::int64_t now_;
};

}  // namespace tolver

#pragma once
// Plays a simulated device on a pseudo-terminal in real time, as cashsim does.

#include <atomic>
#include <functional>

#include "platform/timing/clock.h"
#include "sim/simdevice.h"
#include "sim/simpty.h"

namespace tolver {

// Pumps until stop is set, waking for the PC's bytes and for output falling due.
// afterPump, when set, runs after every pump.
void RunSimulator(TSimPty& pty, TSimDevice& device, TClock& clock, const std::atomic<bool>& stop,
                  const std::function<void()>& afterPump = {});

}  // namespace tolver

#include "sim/simrun.h"

#include <algorithm>

namespace tolver {

void RunSimulator(TSimPty& pty, TSimDevice& device, TClock& clock, const std::atomic<bool>& stop,
                  const std::function<void()>& afterPump) {
    // The longest wait, so that a stop request is seen soon.
    constexpr std::int64_t kMaxWaitMs = 50;
    while (!stop) {
        const std::int64_t now = clock.NowMs();
        pty.Pump(device, now);
        if (afterPump) afterPump();
        const std::int64_t due = device.NextDue();
        std::int64_t wait = due < 0 ? kMaxWaitMs : std::clamp<std::int64_t>(due - now, 0, kMaxWaitMs);
        if (pty.OutputPending()) wait = std::min<std::int64_t>(wait, 1);
        if (wait > 0) pty.WaitInput(static_cast<int>(wait));
    }
}

}  // namespace tolver

#include "sim/lockstep.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tolver {

void TLockstepClock::SleepMs(int ms) {
    Settle();  // what was written before the pause arrives at its own time
    if (ms > 0) now_ += ms;
    Settle();  // and what falls due during it is there when the pause ends
    if (OnSleep) OnSleep(now_);
}

bool TLockstepClock::Quiet() const {
    if (pty_.OutputPending()) return false;
    if (!port_ || !port_->IsOpen()) return true;
    return port_->TxCount() == pty_.RxCount() && port_->RxCount() == pty_.TxCount();
}

void TLockstepClock::Settle() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangGuardMs);
    for (;;) {
        pty_.Pump(device_, now_);
        if (Quiet()) return;
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "lockstep clock: bytes in flight never arrived (port tx %llu rx %llu, sim rx %llu tx %llu)\n",
                         static_cast<unsigned long long>(port_ ? port_->TxCount() : 0),
                         static_cast<unsigned long long>(port_ ? port_->RxCount() : 0),
                         static_cast<unsigned long long>(pty_.RxCount()),
                         static_cast<unsigned long long>(pty_.TxCount()));
            std::abort();
        }
        if (port_ && port_->TxCount() != pty_.RxCount())
            pty_.WaitInput(1);
        else
            std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
}

}  // namespace tolver

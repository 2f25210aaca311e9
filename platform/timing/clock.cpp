#include "platform/timing/clock.h"

#include <chrono>
#include <thread>

namespace tolver {
namespace {

class TSystemClock : public TClock {
public:
    std::int64_t NowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void SleepMs(int ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    bool RealTime() const override { return true; }
};

}  // namespace

TClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}

}  // namespace tolver

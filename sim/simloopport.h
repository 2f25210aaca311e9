#pragma once
// A serial line wired straight to a simulated device in memory, on a clock that the
// test drives: what the engine writes reaches the device at once, the device's
// output becomes readable when it falls due. No thread, no pseudo-terminal.

#include <deque>

#include "platform/serial/serialport.h"
#include "platform/timing/clock.h"
#include "sim/simdevice.h"

namespace tolver {

class TSimLoopPort : public TSerialPort {
public:
    TSimLoopPort(TSimDevice& device, TClock& clock) : device_(device), clock_(clock) {}

    void Open() override { open_ = true; }
    void Close() override {
        open_ = false;
        in_.clear();
    }
    bool IsOpen() const override { return open_; }
    bool CharReady() override {
        Pull();
        return !in_.empty();
    }
    std::size_t InBuffUsed() override {
        Pull();
        return in_.size();
    }
    int GetChar() override {
        Pull();
        if (in_.empty()) return -1;
        const int b = static_cast<unsigned char>(in_.front());
        in_.pop_front();
        return b;
    }
    void PutChar(std::uint8_t byte) override {
        if (open_) device_.Receive(byte, clock_.NowMs());
    }
    void PutString(std::string_view bytes) override {
        for (const char c : bytes) PutChar(static_cast<std::uint8_t>(c));
    }
    void FlushInBuffer() override {
        Pull();
        in_.clear();
    }

private:
    void Pull() {
        std::string due;
        device_.TakeDue(clock_.NowMs(), due);
        if (open_) in_.insert(in_.end(), due.begin(), due.end());
    }

    TSimDevice& device_;
    TClock& clock_;
    std::deque<char> in_;
    bool open_ = false;
};

}  // namespace tolver

#pragma once
// A serial line for step tests: what the engine writes is collected in Sent, what
// the device "sends" is put into the input with Feed; OnPut, when set, sees every
// byte written (a test's responder feeds its answer from there).

#include <deque>
#include <functional>
#include <string>

#include "platform/serial/serialport.h"

namespace tolver {

class TFakePort : public TSerialPort {
public:
    void Open() override {
        ++opens;
        if (failOpen)
            throw ESerialPortError("Cannot open serial port COM" + std::to_string(ComNumber()) + " (fake)", failReason);
        open_ = true;
    }
    void Close() override {
        open_ = false;
        in_.clear();
    }
    bool IsOpen() const override { return open_; }

    bool CharReady() override { return !in_.empty(); }
    std::size_t InBuffUsed() override { return in_.size(); }
    int GetChar() override {
        if (in_.empty()) return -1;
        const int b = static_cast<unsigned char>(in_.front());
        in_.pop_front();
        return b;
    }
    void PutChar(std::uint8_t byte) override {
        if (!open_) return;
        sent.push_back(static_cast<char>(byte));
        if (onPut) onPut(byte);
    }
    void PutString(std::string_view bytes) override {
        for (const char c : bytes) PutChar(static_cast<std::uint8_t>(c));
    }
    void FlushInBuffer() override {
        ++flushes;
        in_.clear();
    }

    // Bytes that arrive from the device, in order.
    void Feed(std::string_view bytes) {
        in_.insert(in_.end(), bytes.begin(), bytes.end());
        if (!bytes.empty()) InputArrived();
    }
    void Feed(std::uint8_t byte) {
        in_.push_back(static_cast<char>(byte));
        InputArrived();
    }
    // The bytes written since the last call.
    std::string TakeSent() {
        std::string s;
        s.swap(sent);
        return s;
    }

    std::string sent;
    std::function<void(std::uint8_t)> onPut;
    bool failOpen = false;
    std::string failReason;  // the reason a failed Open gives
    int opens = 0;
    int flushes = 0;

private:
    std::deque<char> in_;
    bool open_ = false;
};

}  // namespace tolver

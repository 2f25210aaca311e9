#pragma once
// The serial line on a Linux tty device (a serial port, a USB adapter, a
// pseudo-terminal): termios raw 8N1, no flow control, opened with O_NOCTTY and an
// exclusive lock, with a reader thread that buffers everything the line delivers,
// as the serial component's dispatcher did. Rates without a termios constant
// (14400, 28800, 56000, ...) are set through termios2 with BOTHER.

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/serial/serialport.h"

namespace tolver {

class TTermiosPort : public TSerialPort {
public:
    // Input beyond this many unread bytes is dropped, as by a UART overrun.
    static constexpr std::size_t kInputLimit = 65536;

    TTermiosPort() = default;
    ~TTermiosPort() override;
    TTermiosPort(const TTermiosPort&) = delete;
    TTermiosPort& operator=(const TTermiosPort&) = delete;

    void Open() override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    void SetBaud(std::int32_t baud) override;

    bool CharReady() override;
    std::size_t InBuffUsed() override;
    int GetChar() override;
    void PutChar(std::uint8_t byte) override;
    void PutString(std::string_view bytes) override;
    void FlushInBuffer() override;

    // The rate the open line is set to, as the device reports it; -1 when closed.
    int LineBaud() const;
    // The device the port opened last (or tried to).
    const std::string& DevicePath() const { return device_; }
    // Bytes written to the line, and bytes taken from it (buffered, dropped or
    // flushed), since the object was made; tests follow the bytes in flight by them.
    std::uint64_t TxCount() const { return txCount_; }
    std::uint64_t RxCount() const { return rxCount_; }

private:
    void ApplyLineSettings();
    void ReaderLoop();
    void StopReader();

    std::string device_;
    int fd_ = -1;
    int wakeFd_ = -1;  // eventfd that ends the reader's wait
    std::thread reader_;
    std::mutex m_;  // guards in_ and every read of fd_'s input
    std::deque<std::uint8_t> in_;
    std::atomic<std::uint64_t> txCount_{0};
    std::atomic<std::uint64_t> rxCount_{0};
};

}  // namespace tolver

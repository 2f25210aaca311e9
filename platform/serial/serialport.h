#pragma once
// The serial line as the protocol engines use it: open and close by port number,
// a baud rate, a test for waiting input, one-byte reads, writes of strings and single
// bytes, and flushing of the input. Line settings other than the baud rate are fixed:
// raw 8N1, no flow control.
//
// TTermiosPort (termiosport.h) is the real line; TFakePort (fakeport.h) serves tests.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/exception.h"

namespace tolver {

// A port that cannot be opened or configured; the message names the device path.
// Reason, when set, says why in the user's words (OpenFailureReason below).
class ESerialPortError : public Exception {
public:
    explicit ESerialPortError(const std::string& message, std::string reason = {})
        : Exception(message), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }

private:
    std::string reason_;
};

class TSerialPort {
public:
    virtual ~TSerialPort() = default;

    // Raises ESerialPortError when the line cannot be opened as configured. Opening
    // an open port reopens it.
    virtual void Open() = 0;
    // Never raises; closing a closed port does nothing.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // The port number n of "COMn"; it takes effect at the next Open.
    std::uint8_t ComNumber() const { return comNumber_; }
    void SetComNumber(std::uint8_t n) { comNumber_ = n; }
    // Bits per second; an open port applies a new rate at once (a rate the line cannot
    // take raises ESerialPortError there, and at the next Open).
    std::int32_t Baud() const { return baud_; }
    virtual void SetBaud(std::int32_t baud) { baud_ = baud; }

    // Whether a received byte waits in the input buffer.
    virtual bool CharReady() = 0;
    // The number of bytes waiting.
    virtual std::size_t InBuffUsed() = 0;
    // The next waiting byte (0..255), or -1 when none waits.
    virtual int GetChar() = 0;
    // Writes on a closed port do nothing.
    virtual void PutChar(std::uint8_t byte) = 0;
    virtual void PutString(std::string_view bytes) = 0;
    // Discards every byte received and not yet read.
    virtual void FlushInBuffer() = 0;

    // Called whenever received bytes have become readable, on whatever thread buffered
    // them (the reader thread of a real line), so that a thread waiting for input
    // wakes. Set it while the port is closed.
    void SetOnInput(std::function<void()> onInput) { onInput_ = std::move(onInput); }

protected:
    void InputArrived() {
        if (onInput_) onInput_();
    }

private:
    std::function<void()> onInput_;
    std::uint8_t comNumber_ = 1;
    std::int32_t baud_ = 9600;
};

// The device of "COMn": the registry value "COMn" under "\Software\Norvale\Spooler\Ports"
// of HKEY_LOCAL_MACHINE when it names one, else /dev/ttyS(n-1); "" for port 0.
std::string ComDevicePath(int comNumber);
// Names the device of "COMn" in that registry value (a simulator's pseudo-terminal);
// raises Exception when the store cannot be written.
void SetComDevicePath(int comNumber, const std::string& device);

// Why a device does not open, for the cashier (Russian): absent, no permission (with
// the device's group, which the user must join), in use by another program, or the
// system's text. error is the errno of the open, EWOULDBLOCK for a lock held
// elsewhere.
std::string OpenFailureReason(const std::string& device, int error);

// A serial adapter present on the machine: its stable name (under /dev/serial/by-id
// when it has one, else the device itself) and the device it leads to.
struct TSerialDevice {
    std::string Path;
    std::string Device;
};
// The USB and ACM serial devices under devRoot ("/dev"), by their stable names, in
// name order; a device without one (no by-id link) by its own name.
std::vector<TSerialDevice> ListSerialDevices(const std::string& devRoot = "/dev");
// The number n whose registry value "COMn" names this device (by either name: the
// stable one or the one it leads to), 0 for none.
int StoredComNumber(const TSerialDevice& device);
// The first number from 9 up (Com1 to Com8 stay the standard ports) that no registry
// value names a device for; 0 when all up to 255 are taken.
int FreeComNumber();

}  // namespace tolver

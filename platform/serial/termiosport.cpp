#include "platform/serial/termiosport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/serial/custombaud.h"

namespace tolver {
namespace {

// A write waits at most this long for room in the line's output queue; a peer that
// never reads must not hang the caller.
constexpr int kWriteWaitMs = 1000;
// After a hang-up or a read error the reader retries at this pace instead of spinning.
constexpr int kErrorBackoffMs = 100;

speed_t StandardSpeed(int baud) {
    switch (baud) {
        case 50: return B50;
        case 75: return B75;
        case 110: return B110;
        case 134: return B134;
        case 150: return B150;
        case 200: return B200;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 1800: return B1800;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 500000: return B500000;
        case 576000: return B576000;
        case 921600: return B921600;
        case 1000000: return B1000000;
        case 1152000: return B1152000;
        case 1500000: return B1500000;
        case 2000000: return B2000000;
        default: return B0;
    }
}

std::string Describe(std::uint8_t com, const std::string& device) {
    return "COM" + std::to_string(com) + " (" + (device.empty() ? std::string("no device") : device) + ")";
}

}  // namespace

TTermiosPort::~TTermiosPort() { Close(); }

void TTermiosPort::Open() {
    Close();
    device_ = ComDevicePath(ComNumber());
    if (device_.empty()) throw ESerialPortError("Cannot open serial port " + Describe(ComNumber(), device_));
    const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw ESerialPortError("Cannot open serial port " + Describe(ComNumber(), device_) + ": " + std::strerror(err),
                               OpenFailureReason(device_, err));
    }
    if (!::isatty(fd)) {
        ::close(fd);
        throw ESerialPortError("Cannot open serial port " + Describe(ComNumber(), device_) + ": not a terminal device",
                               device_ + " не последовательный порт");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw ESerialPortError("Cannot open serial port " + Describe(ComNumber(), device_) + ": in use by another program",
                               OpenFailureReason(device_, EWOULDBLOCK));
    }
    fd_ = fd;
    try {
        ApplyLineSettings();
    } catch (...) {
        ::close(fd_);
        fd_ = -1;
        throw;
    }
    // The component raised DTR and RTS; a pseudo-terminal has no modem lines.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd_, TIOCMBIS, &lines);

    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        const int err = errno;
        ::close(fd_);
        fd_ = -1;
        throw ESerialPortError("Cannot open serial port " + Describe(ComNumber(), device_) + ": " + std::strerror(err));
    }
    reader_ = std::thread([this] { ReaderLoop(); });
}

void TTermiosPort::ApplyLineSettings() {
    const int baud = Baud();
    const speed_t speed = StandardSpeed(baud);
    if (baud <= 0) {
        throw ESerialPortError("Serial port " + Describe(ComNumber(), device_) + ": unsupported baud rate " +
                               std::to_string(baud));
    }
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        throw ESerialPortError("Serial port " + Describe(ComNumber(), device_) + ": " + std::strerror(errno));
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (speed != B0) {
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
    }
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
        throw ESerialPortError("Serial port " + Describe(ComNumber(), device_) + ": " + std::strerror(errno));
    }
    if (speed == B0 && !SetCustomBaud(fd_, baud)) {
        throw ESerialPortError("Serial port " + Describe(ComNumber(), device_) + ": unsupported baud rate " +
                               std::to_string(baud) + ": " + std::strerror(errno));
    }
}

void TTermiosPort::SetBaud(std::int32_t baud) {
    TSerialPort::SetBaud(baud);
    if (IsOpen()) ApplyLineSettings();
}

void TTermiosPort::StopReader() {
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
        reader_.join();
    }
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
}

void TTermiosPort::Close() {
    if (fd_ < 0) return;
    StopReader();
    ::close(fd_);  // also releases the lock
    fd_ = -1;
    std::lock_guard l(m_);
    in_.clear();
}

void TTermiosPort::ReaderLoop() {
    bool backoff = false;
    for (;;) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const int n = ::poll(fds, backoff ? 1 : 2, backoff ? kErrorBackoffMs : -1);
        if (n < 0 && errno != EINTR) return;
        if (fds[0].revents & POLLIN) return;
        backoff = false;
        if (n <= 0 || fds[1].revents == 0) continue;
        std::uint8_t buf[4096];
        bool arrived = false;
        {
            std::lock_guard l(m_);
            const ssize_t got = ::read(fd_, buf, sizeof buf);
            if (got > 0) {
                rxCount_ += static_cast<std::uint64_t>(got);
                const std::size_t room = kInputLimit > in_.size() ? kInputLimit - in_.size() : 0;
                const std::size_t keep = static_cast<std::size_t>(got) < room ? static_cast<std::size_t>(got) : room;
                in_.insert(in_.end(), buf, buf + keep);
                arrived = keep > 0;
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The peer hung up (a pseudo-terminal's master closed) or the device
                // failed: wait for it at a slow pace, without spinning.
                backoff = true;
            }
        }
        if (arrived) InputArrived();
    }
}

int TTermiosPort::LineBaud() const { return fd_ >= 0 ? tolver::LineBaud(fd_) : -1; }

bool TTermiosPort::CharReady() {
    std::lock_guard l(m_);
    return !in_.empty();
}

std::size_t TTermiosPort::InBuffUsed() {
    std::lock_guard l(m_);
    return in_.size();
}

int TTermiosPort::GetChar() {
    std::lock_guard l(m_);
    if (in_.empty()) return -1;
    const int b = in_.front();
    in_.pop_front();
    return b;
}

void TTermiosPort::PutChar(std::uint8_t byte) {
    const char c = static_cast<char>(byte);
    PutString(std::string_view(&c, 1));
}

void TTermiosPort::PutString(std::string_view bytes) {
    if (fd_ < 0) return;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            txCount_ += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, kWriteWaitMs) > 0 && (p.revents & POLLOUT)) continue;
        }
        return;  // the line takes no more: the rest is lost, as on a dead line
    }
}

void TTermiosPort::FlushInBuffer() {
    std::lock_guard l(m_);
    if (fd_ >= 0) {
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) rxCount_ += static_cast<std::uint64_t>(waiting);
        ::tcflush(fd_, TCIFLUSH);
    }
    in_.clear();
}

}  // namespace tolver

#include "sim/simpty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/base/exception.h"

namespace tolver {

TSimPty::TSimPty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw Exception(std::string("posix_openpt: ") + std::strerror(errno));
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        const int err = errno;
        ::close(master_);
        throw Exception(std::string("pseudo-terminal: ") + std::strerror(err));
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || ::tcgetattr(slave_, &tio) != 0) {
        const int err = errno;
        if (slave_ >= 0) ::close(slave_);
        ::close(master_);
        throw Exception("pseudo-terminal " + slavePath_ + ": " + std::strerror(err));
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

TSimPty::~TSimPty() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

void TSimPty::Pump(TSimDevice& device, std::int64_t now) {
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        rx_ += static_cast<std::uint64_t>(n);
        for (ssize_t i = 0; i < n; ++i) device.Receive(buf[i], now);
    }
    device.TakeDue(now, pending_);
    while (!pending_.empty()) {
        const ssize_t n = ::write(master_, pending_.data(), pending_.size());
        if (n <= 0) break;  // the PC side's input is full: the rest goes next time
        tx_ += static_cast<std::uint64_t>(n);
        pending_.erase(0, static_cast<std::size_t>(n));
    }
}

void TSimPty::WaitInput(int timeoutMs) const {
    pollfd p{master_, POLLIN, 0};
    ::poll(&p, 1, timeoutMs);
}

}  // namespace tolver

#include "sim/simcontrol.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolver {

bool TurnSimulatorKey(const std::string& socketPath, const std::string& position) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof addr.sun_path) return false;
    socketPath.copy(addr.sun_path, socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    const std::string command = "key " + position + "\n";
    ok = ok && ::write(fd, command.data(), command.size()) == static_cast<ssize_t>(command.size());
    std::string answer;
    while (ok && answer.find('\n') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        char buf[64];
        if (::poll(&p, 1, 5000) <= 0) break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        answer.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer.rfind("ok", 0) == 0;
}

}  // namespace tolver

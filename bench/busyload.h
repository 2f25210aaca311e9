#pragma once
// A machine loaded on purpose, as by a stress tool's CPU workers: count child
// processes that each spin on a core until the object goes; and the load average
// that a benchmark prints beside its figures, so that a reader sees how busy the
// machine was.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tolver::bench {

class BusyLoad {
public:
    explicit BusyLoad(int count) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                // The child only spins: it touches nothing of the parent's threads or locks.
                volatile unsigned long spins = 0;
                for (;;) spins = spins + 1;
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyLoad() {
        for (const pid_t pid : pids_) ::kill(pid, SIGKILL);
        for (const pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
    }
    BusyLoad(const BusyLoad&) = delete;
    BusyLoad& operator=(const BusyLoad&) = delete;

private:
    std::vector<pid_t> pids_;
};

// The one-minute load average, -1 when unknown.
inline double LoadAverage() {
    double load[1];
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

}  // namespace tolver::bench

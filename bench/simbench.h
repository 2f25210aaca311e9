#pragma once
// What the benchmarks of the protocol engines share: the Qt application they run the
// event loop of, a cashsim register in a child process (so that its own work is not
// counted) entered as a COM port in a registry store of the benchmark's own, an event
// loop run until a condition holds, and the process's CPU time; the application times
// each step that a protocol thread hands to the main thread.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/utilgl.h"
#include "platform/serial/serialport.h"
#include "platform/registry/temp_registry.h"
#include "platform/testing/run_until.h"

extern char** environ;

namespace tolver::bench {

// The application, timing every queued call it delivers: those are the protocol
// thread's hand-overs of engine steps to the main thread.
class TimedApp : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (event->type() != QEvent::MetaCall) return QCoreApplication::notify(receiver, event);
        QElapsedTimer t;
        t.start();
        const bool handled = QCoreApplication::notify(receiver, event);
        const qint64 ns = t.nsecsElapsed();
        longestStepNs = std::max(longestStepNs, ns);
        stepsOver2ms += ns > 2'000'000;
        ++steps;
        return handled;
    }
    void ResetTimes() { longestStepNs = stepsOver2ms = steps = 0; }
    qint64 longestStepNs = 0, stepsOver2ms = 0, steps = 0;
};

inline TimedApp& App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static TimedApp app(argc, argv);
    return app;
}

// cashsim <device> <options> on its own pseudo-terminal, entered as COM<com>.
class Register {
public:
    Register(const std::string& device, const std::vector<std::string>& options, int com) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        std::string path = GetAppPath() + "cashsim", kind = device;
        std::vector<std::string> args = options;
        std::vector<char*> argv = {path.data(), kind.data()};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + path);
        posix_spawn_file_actions_destroy(&fa);
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(out[0]);
        SetComDevicePath(com, line);
    }
    ~Register() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    TempRegistry registry_;  // first: cashsim inherits its TOLVER_REGISTRY
    pid_t pid_ = -1;
};

using testutil::RunUntil;

inline double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The process's CPU time while the event loop runs idle for ms, in percent of one core.
inline double IdleCpuPercent(int ms) {
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // A plain loop: a polling condition would add its own wake-ups to the figure.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return 100.0 * (CpuSeconds() - cpu0) / (static_cast<double>(wall.elapsed()) / 1000.0);
}

// The idle CPU of a fresh Engine once open(engine) has connected it (false: the
// register did not answer); report(engine) adds the engine's own counters.
template <class Engine, class Open, class Report>
void MeasureIdleEngine(benchmark::State& state, Open open, Report report) {
    for (auto _ : state) {
        Engine engine;
        if (!open(engine)) {
            state.SkipWithError("the engine did not connect");
            return;
        }
        state.counters["cpu_percent_of_a_core"] = IdleCpuPercent(10000);
        report(engine);
    }
}

// The counters of a timed run against the waits the protocol prescribes for it.
inline void ReportAgainstPrescribed(benchmark::State& state, double wallMs, double prescribedMs, int failures) {
    state.counters["wall_ms"] = wallMs;
    state.counters["prescribed_ms"] = prescribedMs;
    state.counters["ratio"] = wallMs / prescribedMs;
    state.counters["failures"] = failures;
}

}  // namespace tolver::bench

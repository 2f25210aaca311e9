// The ER-350F engine against cashsim in real time, through its real port, protocol
// thread and Qt event loop:
//   IdleEngineCpu   CPU time of the whole process while the open engine idles for
//                   10 s (target: under 2 % of one core);
//   TenItemReceipt  wall time of a ten-item receipt with no device delay, divided
//                   by the sum of the waits the protocol itself prescribes (target:
//                   under 1.2).
// cashsim runs as a child process, so that its own work is not counted.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/utilgl.h"
#include "drivers/sorbel/wire/samser350fkeys.h"
#include "drivers/sorbel/wire/samser350fprotocol.h"
#include "platform/registry/registry.h"
#include "platform/registry/temp_registry.h"

extern char** environ;
using namespace tolver;

namespace {

constexpr int kCom = 9;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "bench_samser350f";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// cashsim er350f on its own pseudo-terminal, entered as COM9 in a registry store of
// the benchmark's own.
class Register {
public:
    explicit Register(const std::vector<std::string>& options) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        std::string path = GetAppPath() + "cashsim", device = "er350f";
        std::vector<std::string> args = options;
        std::vector<char*> argv = {path.data(), device.data()};
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
        TRegistry reg(HKEY_LOCAL_MACHINE);
        reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true);
        reg.WriteString("COM" + std::to_string(kCom), line);
    }
    ~Register() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    TempRegistry registry_;  // first: cashsim inherits its TOLVER_REGISTRY
    pid_t pid_ = -1;
};

// Runs the event loop, as the host program does, until pred holds (looked at every
// 10 ms) or guardMs have passed.
template <typename Pred>
bool RunUntil(Pred pred, int guardMs) {
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (pred() || t.elapsed() > guardMs) loop.quit();
    });
    tick.start(10);
    if (!pred()) loop.exec();
    return pred();
}

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// An open engine, connected and identified.
bool OpenEngine(TSamsER350FProtocol& p) {
    p.SetComNumber(kCom);
    p.SetBaud(9600);
    p.SetModel(2);
    std::string cause;
    if (p.Open(cause) != 0) return false;
    return RunUntil([&] { return p.Connected() && !p.IdPending(); }, 30000);
}

void IdleEngineCpu(benchmark::State& state) {
    App();
    Register reg({});
    for (auto _ : state) {
        TSamsER350FProtocol p;
        if (!OpenEngine(p)) {
            state.SkipWithError("the engine did not connect");
            return;
        }
        const double cpu0 = CpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunUntil([] { return false; }, 10000);
        const double cpu = CpuSeconds() - cpu0;
        state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / (static_cast<double>(wall.elapsed()) / 1000.0);
        state.counters["connected"] = p.Connected();
    }
}

void TenItemReceipt(benchmark::State& state) {
    App();
    Register reg({"--print-delay", "0"});
    for (auto _ : state) {
        TSamsER350FProtocol p;
        if (!OpenEngine(p)) {
            state.SkipWithError("the engine did not connect");
            return;
        }
        constexpr std::uint8_t P = kSamsKeyPosP;
        int last = 0;
        for (int item = 0; item < 10; ++item) {
            p.Enqueue(kSamsKeyStart, P, kSamsKindStart, "", TSamsER350FProtocol::kFirstKey);
            EnterNumber(p, 1234 + item, 0, P, kSamsKindShort, "", 0);
            p.EnqueueWithId(KeyOfDigit(10 + item % 8), P, "", kSamsKindSale);
        }
        p.Enqueue(kSamsKeyStart, P, kSamsKindStart, "", TSamsER350FProtocol::kFirstKey);
        p.EnqueueKey(kSamsKeyCash, P, kSamsKindShort);
        EnterNumber(p, 20000, 0, P, kSamsKindShort, "", 0);
        last = p.EnqueueWithId(kSamsKeyCash, P, "", kSamsKindSale);

        // The waits the protocol prescribes for each key: the 1 ms pause of each step
        // it needs at least (key-position query, send, echo, completion) and, where it
        // reads until silence, the completion wait in place of the last.
        double prescribed = 0;
        for (const TCommand& c : p.Queue()) {
            p.SetKind(c.Kind);
            const bool query = !p.NoKeyCheck() && (p.KeyCheckMode() != 1 || (c.Flags & 1));
            prescribed += (query ? 1 : 0) + 1 + (p.NoEcho() ? 0 : 1) + (p.ReadAll() ? p.DoneWait() : 1);
        }
        int failures = 0;
        bool done = false;
        p.OnCommandResult = [&](int id, int r) {
            failures += r != 0;
            done = done || id == last;
        };
        QElapsedTimer wall;
        wall.start();
        if (!RunUntil([&] { return done; }, 60000)) {
            state.SkipWithError("the receipt did not complete");
            return;
        }
        const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        state.counters["wall_ms"] = ms;
        state.counters["prescribed_ms"] = prescribed;
        state.counters["ratio"] = ms / prescribed;
        state.counters["failures"] = failures;
    }
}

}  // namespace

BENCHMARK(IdleEngineCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(TenItemReceipt)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

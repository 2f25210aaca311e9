// The spooler against cashsim in real time, and its relay:
//   StartupToConnected   the main window from its creation to the connected state
//                        with Sorbel.csh; own_ms leaves out the 3.6 s in which the
//                        driver's protocol paces its first two polls of the register;
//   IdleSpooler          the Spooler program, connected and idle for 10 s: CPU of
//                        its process (target under 1 % of a core) and its resident
//                        memory (target under 60 MB);
//   Relay10000To4Clients 10 000 queued results delivered to 4 clients in one tick
//                        (all of them, in order, none twice), beside the 50 ms pace
//                        of the delivery timer.
// cashsim and the Spooler program run as child processes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <chrono>
#include <string>
#include <vector>

#include "common/utilgl.h"
#include "platform/registry/registry.h"
#include "platform/registry/temp_registry.h"
#include "platform/testing/run_until.h"
#include "spooler/mainform.h"
#include "spooler/spoolermessage.h"

extern char** environ;
using namespace tolver;
using tolver::testutil::RunUntil;

namespace {

constexpr int kCom = 7;
constexpr double kPacedPollsMs = 3600;

QApplication& App() {
    static int argc = 1;
    static char name[] = "bench_spooler";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(argc, argv);
    return app;
}

// A child process of a program beside this one; with firstLine, its first output
// line is read.
class Child {
public:
    Child(const std::string& program, std::vector<std::string> args, std::string* firstLine = nullptr) {
        int out[2] = {-1, -1};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (firstLine) {
            if (::pipe(out) != 0) throw std::runtime_error("pipe");
            posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        }
        std::string path = GetAppPath() + program;
        std::vector<char*> argv = {path.data()};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv.data(), environ) != 0)
            throw std::runtime_error("cannot start " + path);
        posix_spawn_file_actions_destroy(&fa);
        if (firstLine) {
            ::close(out[1]);
            char c;
            while (::read(out[0], &c, 1) == 1 && c != '\n') *firstLine += c;
            ::close(out[0]);
        }
    }
    ~Child() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// A registry store and state folder of the run's own, cashsim on COM7, Sorbel.csh
// installed and chosen.
class Register {
public:
    Register() {
        ::setenv("TOLVER_STATE_DIR", (registry_.dir() / "state").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", registry_.dir().c_str(), 1);
        std::string pty;
        sim_ = std::make_unique<Child>("cashsim", std::vector<std::string>{"er350f", "--print-delay", "100"}, &pty);
        TRegistry reg(HKEY_LOCAL_MACHINE);
        reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true);
        reg.WriteString("COM" + std::to_string(kCom), pty);
        const std::string bin = GetAppPath();
        if (std::system(("'" + bin + "tolver-regsvr' '" + bin + "Sorbel.csh' >/dev/null").c_str()) != 0 ||
            std::system(("'" + bin + "spooler-setup' --driver Sorbel.csh --com 7 --protocol on >/dev/null").c_str()) != 0)
            throw std::runtime_error("cannot install the driver");
    }
    std::string StateDir() const { return (registry_.dir() / "state").string(); }

private:
    TempRegistry registry_;
    std::unique_ptr<Child> sim_;
};

void StartupToConnected(benchmark::State& state) {
    App();
    Register reg;
    TSpoolerMessageScript boxes;  // no box may wait for a user
    for (auto _ : state) {
        QElapsedTimer wall;
        wall.start();
        TfrmMain main;
        const double created = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        if (!RunUntil([&] { return main.LinkState == lsConnected && main.LastPollOk; }, 60000)) {
            state.SkipWithError("the spooler did not connect");
            return;
        }
        const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        state.counters["total_ms"] = ms;
        state.counters["own_ms"] = ms - kPacedPollsMs;
        state.counters["create_and_connect_call_ms"] = created;
        main.CloseQuery();
        RunUntil([&] { return main.CanQuit; }, 10000);
    }
}

// utime + stime of a process in clock ticks, and its resident set in KB.
long long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(s.substr(s.rfind(')') + 2));
    std::string f;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stoll(f);
        if (i == 15) stime = std::stoll(f);
    }
    return utime + stime;
}

long long RssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            long long kb = 0;
            in >> kb;
            return kb;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

void IdleSpooler(benchmark::State& state) {
    App();
    Register reg;
    for (auto _ : state) {
        Child spooler("Spooler", {});
        // Connected: the identification and the restore have gone out, and the
        // polls after them follow.
        std::this_thread::sleep_for(std::chrono::seconds(8));
        // The polls of the idle link go to the protocol log: it grows while we watch.
        const std::string log = TSpoolerCore::ProtocolLogFileName(QDate::currentDate());
        std::error_code ec;
        const auto size0 = std::filesystem::file_size(log, ec);
        const long long t0 = CpuTicks(spooler.Pid());
        QElapsedTimer wall;
        wall.start();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        state.counters["log_bytes_while_idle"] = static_cast<double>(std::filesystem::file_size(log, ec) - size0);
        const double cpuS = static_cast<double>(CpuTicks(spooler.Pid()) - t0) / static_cast<double>(::sysconf(_SC_CLK_TCK));
        state.counters["cpu_percent_of_a_core"] = 100.0 * cpuS / (static_cast<double>(wall.elapsed()) / 1000.0);
        state.counters["rss_mb"] = static_cast<double>(RssKb(spooler.Pid())) / 1024.0;
    }
}

struct TCountingSink : ISpoolerSink {
    std::int32_t last = 0;
    std::int64_t count = 0;
    bool ordered = true;
    void OnCommandResult(std::int32_t id, std::int32_t) override {
        ordered = ordered && id == last + 1;
        last = id;
        ++count;
    }
};

struct TCountingClient : ISpoolerClient {
    std::shared_ptr<TCountingSink> sink = std::make_shared<TCountingSink>();
    std::vector<std::shared_ptr<ISpoolerSink>> Sinks() const override { return {sink}; }
};

class TNullView final : public ISpoolerView {
public:
    void SetInfo(const std::string&) override {}
    void ShowStatus() override {}
    void HideStatus() override {}
    void SetMenuFull(bool) override {}
    void PrintChar(std::int32_t) override {}
    void StartCommandResultTimer() override {}
    void PushDriverProperties() override {}
    void PostClose() override {}
    void PostMessage(const std::string&, const std::string&) override {}
    void LinkChanged() override {}
};

void Relay10000To4Clients(benchmark::State& state) {
    App();
    constexpr int kResults = 10000;
    TNullView view;
    bool allDelivered = true;
    for (auto _ : state) {
        state.PauseTiming();
        TSpoolerCore core(view);
        std::vector<std::shared_ptr<TCountingClient>> clients(4);
        for (auto& c : clients) {
            c = std::make_shared<TCountingClient>();
            core.AddClient(c);
        }
        for (int i = 1; i <= kResults; ++i) core.DoCommandResult(i, 0);
        state.ResumeTiming();
        core.TimerCommandResultTick();
        state.PauseTiming();
        for (const auto& c : clients)
            allDelivered = allDelivered && c->sink->count == kResults && c->sink->ordered && c->sink->last == kResults;
        state.ResumeTiming();
    }
    state.counters["all_in_order_once"] = allDelivered;
    state.counters["timer_pace_ms"] = 50;
}

}  // namespace

BENCHMARK(StartupToConnected)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(IdleSpooler)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Relay10000To4Clients)->Unit(benchmark::kMillisecond);

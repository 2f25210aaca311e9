// The spooler against cashsim in real time with either driver (argument driver: 0
// Sorbel.csh on cashsim er350f, 1 Dalvern.csh on cashsim rf2160), and its relay:
//   StartupToConnected/driver/busy  the main window from its creation to the connected
//                        state (target: within 5 s), with `busy` spinning processes
//                        loading the machine; own_ms leaves out the time in which the
//                        driver's protocol paces its first polls of the register (3.6 s
//                        for Sorbel, 3 s for Dalvern); link_up_ms is when the driver
//                        first reported that the register answers;
//   IdleSpooler/driver   the Spooler program, connected and idle for 10 s: CPU of its
//                        process (target under 0.3 % of a core), its resident memory
//                        (target under 60 MB), the protocol log's growth and the timer
//                        corrections logged meanwhile;
//   ReceiptSpooler/driver/busy  the Spooler program printing a ten-item receipt that
//                        a client queues over the bus, with `busy` spinning processes
//                        loading the machine: CPU of its process from the first sale to
//                        the result of the closing (target under 1 % of a core), its
//                        context switches a second and the receipt's wall time;
//   Relay10000To4Clients 10 000 queued results delivered to 4 clients in one tick
//                        (all of them, in order, none twice), beside the 50 ms pace
//                        of the delivery timer.
// cashsim, the Spooler program and the receipt's private bus run as child processes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "bench/busyload.h"
#include "common/utilgl.h"
#include "platform/registry/registry.h"
#include "platform/registry/temp_registry.h"
#include "platform/testing/run_until.h"
#include "spooler/application.h"
#include "spooler/automation/automationbus.h"
#include "spooler/client/spoolclient.h"
#include "spooler/mainform.h"
#include "spooler/spoolermessage.h"

extern char** environ;
using namespace tolver;
using tolver::bench::BusyLoad;
using tolver::bench::LoadAverage;
using tolver::testutil::RunUntil;

namespace {

constexpr int kCom = 7;

// The two drivers, each on its simulated register.
struct TDriverRun {
    const char* module;
    std::vector<std::string> simulator;
    double pacedPollsMs;  // the protocol's own pace before its first answered polls
};
const TDriverRun kDrivers[] = {
    {"Sorbel.csh", {"er350f", "--print-delay", "100"}, 3600},
    // The register prints a sale in about 0.4 s.
    {"Dalvern.csh", {"rf2160", "--reply-delay", "400"}, 3000},
};
const TDriverRun& Driver(const benchmark::State& state) { return kDrivers[state.range(0) == 1 ? 1 : 0]; }

QApplication& App() {
    static int argc = 1;
    static char name[] = "bench_spooler";
    static char* argv[] = {name, nullptr};
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(argc, argv);
    return app;
}

// A child process of a program beside this one (or of a full path); with firstLine,
// its first output line is read.
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
        std::string path = program.starts_with('/') ? program : GetAppPath() + program;
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

// A registry store and state folder of the run's own, the driver's simulator on COM7,
// the driver installed and chosen.
class Register {
public:
    explicit Register(const TDriverRun& driver) {
        ::setenv("TOLVER_STATE_DIR", (registry_.dir() / "state").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", registry_.dir().c_str(), 1);
        std::string pty;
        sim_ = std::make_unique<Child>("cashsim", driver.simulator, &pty);
        TRegistry reg(HKEY_LOCAL_MACHINE);
        reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true);
        reg.WriteString("COM" + std::to_string(kCom), pty);
        const std::string bin = GetAppPath(), module = driver.module;
        if (std::system(("'" + bin + "tolver-regsvr' '" + bin + module + "' >/dev/null").c_str()) != 0 ||
            std::system(("'" + bin + "spooler-setup' --driver " + module + " --com 7 --protocol on --notify off >/dev/null")
                            .c_str()) != 0)
            throw std::runtime_error("cannot install the driver");
    }
    std::string StateDir() const { return (registry_.dir() / "state").string(); }

private:
    TempRegistry registry_;
    std::unique_ptr<Child> sim_;
};

void StartupToConnected(benchmark::State& state) {
    App();
    Register reg(Driver(state));
    TSpoolerMessageScript boxes;  // no box may wait for a user
    BusyLoad load(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        QElapsedTimer wall;
        wall.start();
        TSpoolerProgram program;
        TfrmMain& main = program.Main();
        TSpoolerCore& core = main.Core();
        const double created = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        double linkUp = -1;  // the driver first reports that the register answers
        const auto answers = [&] {
            try {
                return core.Binding().Driver().Call(&ICashDriverAuto::get_InInteraction);
            } catch (const std::exception&) {
                return false;
            }
        };
        if (!RunUntil(
                [&] {
                    if (linkUp < 0 && answers()) linkUp = static_cast<double>(wall.nsecsElapsed()) / 1e6;
                    return core.Link().State() == lsConnected && core.Link().LastPollOk();
                },
                60000)) {
            state.SkipWithError("the spooler did not connect");
            return;
        }
        const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        state.counters["total_ms"] = ms;
        state.counters["link_up_ms"] = linkUp;
        state.counters["own_ms"] = ms - Driver(state).pacedPollsMs;
        state.counters["create_and_connect_call_ms"] = created;
        state.counters["load_average"] = LoadAverage();
        core.Link().CloseQuery();
        RunUntil([&] { return core.Link().CanQuit(); }, 10000);
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

// The CPU time of a process's living threads, in seconds (finer than its clock ticks).
double ThreadsCpuSeconds(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        std::ifstream in(task.path() / "schedstat");
        long long ns = 0;
        if (in >> ns) total += static_cast<double>(ns) / 1e9;
    }
    return total;
}

// The context switches of a process's living threads.
long long ContextSwitches(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    long long total = 0;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        std::ifstream in(task.path() / "status");
        std::string key;
        while (in >> key) {
            long long n = 0;
            if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
                in >> n;
                total += n;
            }
            in.ignore(1 << 12, '\n');
        }
    }
    return total;
}

// The timer corrections in a protocol log (the fiscal engine writes them).
int Corrections(const std::string& log) {
    std::ifstream in(log);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) n += line.find("коррекция таймера") != std::string::npos;
    return n;
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
    Register reg(Driver(state));
    for (auto _ : state) {
        Child spooler("Spooler", {});
        // Connected: the identification and the restore have gone out, and the
        // polls after them follow.
        std::this_thread::sleep_for(std::chrono::seconds(8));
        // The polls of the idle link go to the protocol log: it grows while we watch.
        const std::string log = TProtocolLog::FileName(QDate::currentDate());
        std::error_code ec;
        const auto size0 = std::filesystem::file_size(log, ec);
        const int corrections0 = Corrections(log);
        const double cpu0 = ThreadsCpuSeconds(spooler.Pid());
        QElapsedTimer wall;
        wall.start();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        state.counters["log_bytes_while_idle"] = static_cast<double>(std::filesystem::file_size(log, ec) - size0);
        const double cpuS = ThreadsCpuSeconds(spooler.Pid()) - cpu0;
        state.counters["cpu_percent_of_a_core"] = 100.0 * cpuS / (static_cast<double>(wall.elapsed()) / 1000.0);
        state.counters["rss_mb"] = static_cast<double>(RssKb(spooler.Pid())) / 1024.0;
        state.counters["timer_corrections"] = Corrections(log) - corrections0;
        state.counters["load_average"] = LoadAverage();
    }
}

// A session bus of the run's own (dbus-daemon as a child), which the Spooler children
// started after it join.
class PrivateBus {
public:
    PrivateBus() : daemon_("/usr/bin/dbus-daemon", {"--session", "--nofork", "--print-address=1"}, &address_) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    }
    QDBusConnection Connect(const QString& name) {
        return QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    }

private:
    std::string address_;
    Child daemon_;
};

void ReceiptSpooler(benchmark::State& state) {
    App();
    Register reg(Driver(state));
    PrivateBus bus;
    const bool fiscal = state.range(0) == 1;
    static int connections = 0;  // a connection's name is the process's for good
    BusyLoad load(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        Child spooler("Spooler", {});
        QDBusConnection connection = bus.Connect(QStringLiteral("receipt%1").arg(++connections));
        if (!RunUntil([&] { return connection.interface()->isServiceRegistered(QLatin1String(spooler::bus::kServiceName)).value(); },
                      30000)) {
            state.SkipWithError("the spooler is not on the bus");
            return;
        }
        spooler::client::SpoolAuto1 pos(connection);
        std::map<int, int> results;
        pos.Advise([&](std::int32_t id, std::int32_t result) { results[id] = result; });
        const auto waitFor = [&](int id) { return RunUntil([&] { return results.count(id) > 0; }, 120000); };
        if (!RunUntil([&] { return pos.call("InInteraction").value(0).toBool(); }, 30000)) {
            state.SkipWithError("the spooler did not connect");
            return;
        }
        // The restore and the sign-on the spooler makes on its first good polls pass.
        RunUntil([] { return false; }, 6000);
        const Currency one = Currency::Parse("1.00");
        // The fiscal register takes sales from a signed-on cashier; the key-stroke
        // register is first given a short receipt, after which its driver has found the
        // receipt header on the tape.
        if (fiscal && !waitFor(pos.Call<"RegOp">(2, "Анна", "1234"))) {
            state.SkipWithError("the sign-on did not complete");
            return;
        }
        pos.Call<"AddPayArt">(1, one, one, 5);
        if (!waitFor(pos.Call<"CloseCheck">(Currency::Parse("200"), 0))) {
            state.SkipWithError("the first receipt did not complete");
            return;
        }
        RunUntil([] { return false; }, 2000);

        const double cpu0 = ThreadsCpuSeconds(spooler.Pid());
        const long long ticks0 = CpuTicks(spooler.Pid()), switches0 = ContextSwitches(spooler.Pid());
        QElapsedTimer wall;
        wall.start();
        int failures = 0;
        std::vector<int> ids;
        for (int item = 0; item < 10; ++item) ids.push_back(pos.Call<"AddPayArt">(1, one, one, 5));
        ids.push_back(pos.Call<"CloseCheck">(Currency::Parse("200"), 0));
        if (!waitFor(ids.back())) {
            state.SkipWithError("the receipt did not complete");
            return;
        }
        const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
        const double cpu = ThreadsCpuSeconds(spooler.Pid()) - cpu0;
        const long long switches = ContextSwitches(spooler.Pid()) - switches0;
        for (const int id : ids) failures += results.count(id) == 0 || results[id] != 0;
        state.counters["wall_ms"] = seconds * 1000.0;
        state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / seconds;
        state.counters["cpu_ticks"] = static_cast<double>(CpuTicks(spooler.Pid()) - ticks0);
        state.counters["context_switches_per_s"] = static_cast<double>(switches) / seconds;
        state.counters["failures"] = failures;
        state.counters["load_average"] = LoadAverage();
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
    int ShowMessage(const std::string&, const std::string&, bool) override { return 0; }
    void PostMessage(const std::string&, const std::string&) override {}
    void LinkChanged() override {}
    void Started(const std::string&) override {}
    void PostRegDialog(std::function<void(std::int32_t)> done) override { done(-1); }
    void ShowReports() override {}
    std::string DriverInfo() override { return {}; }
    void SetControlEnabled(bool) override {}
};

void Relay10000To4Clients(benchmark::State& state) {
    App();
    constexpr int kResults = 10000;
    TNullView view;
    bool allDelivered = true;
    for (auto _ : state) {
        state.PauseTiming();
        TResultRelay relay(view);
        std::vector<std::shared_ptr<TCountingClient>> clients(4);
        for (auto& c : clients) {
            c = std::make_shared<TCountingClient>();
            relay.AddClient(c);
        }
        for (int i = 1; i <= kResults; ++i) relay.Queue(i, 0);
        state.ResumeTiming();
        relay.TimerCommandResultTick();
        state.PauseTiming();
        for (const auto& c : clients)
            allDelivered = allDelivered && c->sink->count == kResults && c->sink->ordered && c->sink->last == kResults;
        state.ResumeTiming();
    }
    state.counters["all_in_order_once"] = allDelivered;
    state.counters["timer_pace_ms"] = 50;
}

}  // namespace

BENCHMARK(StartupToConnected)
    ->ArgsProduct({{0, 1}, {0, 16}})
    ->ArgNames({"driver", "busy"})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(IdleSpooler)->Arg(0)->Arg(1)->ArgName("driver")->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ReceiptSpooler)
    ->ArgsProduct({{0, 1}, {0, 16}})
    ->ArgNames({"driver", "busy"})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(Relay10000To4Clients)->Unit(benchmark::kMillisecond);

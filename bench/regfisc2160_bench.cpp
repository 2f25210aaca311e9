// The "РФ 2160" engine:
//   BuildFrames     frames built per second (a 40-byte sale text);
//   ParseReplies    received bytes cut into replies and parsed, replies per second
//                   (ACK, status, identification data);
//   IdleEngineCpu   CPU time of the whole process while the open, identified engine
//                   idles for 10 s, polling every 3 s (target: under 1 % of one core);
//   TenItemReceipt  wall time of ten sales and the closing of the receipt against
//                   cashsim rf2160 with no device delay, in real time through the real
//                   port, pump thread and event loop, divided by the waits the
//                   protocol prescribes: the 1 ms pause of each step the exchange
//                   needs at least (target: under 1.2);
//   QuietLinePolls/busy  the open engine on a quiet line for 30 s while the event
//                   loop turns every millisecond, as a busy host's does, with `busy`
//                   spinning processes loading the machine: the time from Open to the
//                   identification, the intervals between the polls (target: 3.0 s
//                   ± 0.1 s) and the timer corrections logged (target: none).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/busyload.h"
#include "bench/simbench.h"
#include "drivers/dalvern/engine/regfisc2160frame.h"
#include "drivers/dalvern/engine/regfisc2160protocol.h"

using namespace tolver;
using namespace tolver::bench;

namespace {

constexpr int kCom = 11;

void BuildFrames(benchmark::State& state) {
    const std::string text = std::string("\x29\x00\x05\x00\x00\x03\xE8\x00\x00\x04\xB0", 11) + std::string(29, 'a');
    for (auto _ : state) benchmark::DoNotOptimize(BuildFrame(text));
    state.SetItemsProcessed(state.iterations());
}

void ParseReplies(benchmark::State& state) {
    std::string stream(1, '\x06');
    stream += *BuildFrame(std::string("[\x01\x00\x00\x00", 5));
    stream += '\x06';
    stream += *BuildFrame(std::string("S10000216001") + std::string(31, ' ') + "2160.01.O     ");
    TReplyAssembler assembler;
    std::string unit;
    TReply reply;
    std::int64_t replies = 0;
    for (auto _ : state) {
        for (const char c : stream) {
            if (!assembler.Feed(c, unit)) continue;
            reply.Parse(unit);
            benchmark::DoNotOptimize(reply.Kind);
            ++replies;
        }
    }
    state.SetItemsProcessed(replies);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}

// An open engine whose register has identified itself and reported its mode.
bool OpenEngine(TRegFisc2160Protocol& p) {
    p.SetComNumber(kCom);
    p.SetBaud(9600);
    std::string cause;
    if (p.Open(cause) != 0) return false;
    return RunUntil([&] { return !p.IdentifyPending() && p.DeviceMode() == 1; }, 30000);
}

void IdleEngineCpu(benchmark::State& state) {
    App();
    Register reg("rf2160", {}, kCom);
    MeasureIdleEngine<TRegFisc2160Protocol>(state, OpenEngine, [&](TRegFisc2160Protocol& p) { state.counters["in_interaction"] = p.InInteraction(); });
}

void TenItemReceipt(benchmark::State& state) {
    App();
    Register reg("rf2160", {"--ack-delay", "0", "--reply-delay", "0", "--print-delay", "0"}, kCom);
    for (auto _ : state) {
        TRegFisc2160Protocol p;
        if (!OpenEngine(p)) {
            state.SkipWithError("the engine did not connect");
            return;
        }
        // Let a poll that may be under way finish before the clock starts.
        RunUntil([&] { return !p.StatusPending() && p.State() == 0; }, 5000);
        int failures = 0, last = 0;
        bool done = false;
        QEventLoop loop;
        p.OnCommandResult = [&](int id, int r) {
            failures += r != 0;
            if (id == last) {
                done = true;
                loop.quit();  // at once: the wall time is not rounded up to a polling tick
            }
        };
        QElapsedTimer wall;
        wall.start();
        // Ten sales of one at 1.00, the receipt closed in cash.
        for (int item = 0; item < 10; ++item) {
            std::string sale = std::string("\x29\x00", 2) + static_cast<char>(item + 1) +
                               std::string("\x00\x00\x03\xE8\x00\x00\x00\x64", 8);
            p.AddCommand(sale, 1, TRegFisc2160Protocol::OptLongTimeout, "");
        }
        last = p.AddCommand("18", 1, TRegFisc2160Protocol::OptLongTimeout, "");
        // Per command, at least: the step that takes it, the one that sends it, the one
        // that reads the answer, one for the ACK and one for the status.
        const double prescribed = 11 * 5;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!done) {
            state.SkipWithError("the receipt did not complete");
            return;
        }
        ReportAgainstPrescribed(state, static_cast<double>(wall.nsecsElapsed()) / 1e6, prescribed, failures);
    }
}

void QuietLinePolls(benchmark::State& state) {
    App();
    Register reg("rf2160", {}, kCom);
    BusyLoad load(static_cast<int>(state.range(0)));
    const std::string statusPoll = "-> " + *BuildFrame("["), identify = "-> " + *BuildFrame("S1");
    for (auto _ : state) {
        TRegFisc2160Protocol p;
        QElapsedTimer clock;
        std::vector<qint64> polls;
        int corrections = 0;
        p.OnLog = [&](const std::string& line) {
            if (line.find("коррекция") != std::string::npos) ++corrections;
            if (line.find(statusPoll) != std::string::npos || line.find(identify) != std::string::npos)
                polls.push_back(clock.elapsed());
        };
        p.SetComNumber(kCom);
        p.SetBaud(9600);
        std::string cause;
        clock.start();
        if (p.Open(cause) != 0) {
            state.SkipWithError("the port did not open");
            return;
        }
        QEventLoop loop;
        QTimer turn;
        QObject::connect(&turn, &QTimer::timeout, [] {});
        turn.start(1);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        if (polls.size() < 2) {
            state.SkipWithError("the engine did not poll");
            return;
        }
        qint64 shortest = polls[1] - polls[0], longest = shortest;
        for (std::size_t i = 2; i < polls.size(); ++i) {
            shortest = std::min(shortest, polls[i] - polls[i - 1]);
            longest = std::max(longest, polls[i] - polls[i - 1]);
        }
        state.counters["first_poll_ms"] = static_cast<double>(polls[0]);
        state.counters["polls"] = static_cast<double>(polls.size());
        state.counters["interval_min_ms"] = static_cast<double>(shortest);
        state.counters["interval_max_ms"] = static_cast<double>(longest);
        state.counters["corrections"] = corrections;
        state.counters["identified"] = !p.IdentifyPending();
        state.counters["load_average"] = LoadAverage();
    }
}

}  // namespace

BENCHMARK(BuildFrames);
BENCHMARK(ParseReplies);
BENCHMARK(IdleEngineCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(TenItemReceipt)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(QuietLinePolls)->Arg(0)->Arg(16)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// cashsim: plays a cash register on a pseudo-terminal until stopped (SIGINT,
// SIGTERM). It prints the pseudo-terminal's path on the first line of its output;
// put that path into the registry value "COMn" under "\Software\Norvale\Spooler\Ports"
// (HKEY_LOCAL_MACHINE) and open COMn.
//
//   cashsim er350f [--key P|X|Z|П|МС] [--id TEXT] [--echo-delay MS] [--print-delay MS]
//                  [--no-print-copy] [--faults SCRIPT] [--verbose]

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/exception.h"
#include "sim/er350f/samser350fsim.h"
#include "sim/simpty.h"
#include "sim/simrun.h"

using namespace tolver;

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) { g_stop = true; }

int ToInt(const std::string& option, const std::string& value) {
    std::size_t used = 0;
    int v = -1;
    try {
        v = std::stoi(value, &used);
    } catch (const std::exception&) {
    }
    if (used != value.size() || v < 0) throw Exception(option + ": not a number: " + value);
    return v;
}

// Shows the traffic on standard error as it goes.
class TVerbose {
public:
    explicit TVerbose(const TSimDevice& d) : d_(d) {}
    void Report() {
        for (; rx_ < d_.Received().size(); ++rx_)
            std::fprintf(stderr, "%lld <- %02X\n", static_cast<long long>(d_.Received()[rx_].time), d_.Received()[rx_].byte);
        for (; tx_ < d_.Sent().size(); ++tx_)
            std::fprintf(stderr, "%lld -> %02X\n", static_cast<long long>(d_.Sent()[tx_].time), d_.Sent()[tx_].byte);
    }

private:
    const TSimDevice& d_;
    std::size_t rx_ = 0, tx_ = 0;
};

std::unique_ptr<TSimDevice> MakeSamsER350F(const std::vector<std::string>& args) {
    auto sim = std::make_unique<TSamsER350FSim>();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw Exception(a + ": value missing");
            return args[++i];
        };
        if (a == "--key") {
            static const char* names[] = {"", "P", "X", "Z", "П", "МС"};
            const std::string& v = value();
            std::uint8_t pos = 0;
            for (std::uint8_t p = 1; p <= 5; ++p)
                if (v == names[p]) pos = p;
            if (!pos) throw Exception("--key: one of P, X, Z, П, МС");
            sim->SetKeyPos(pos);
        } else if (a == "--id") {
            sim->SetId(value());
        } else if (a == "--echo-delay") {
            sim->SetEchoDelay(ToInt(a, value()));
        } else if (a == "--print-delay") {
            sim->SetPrintDelay(ToInt(a, value()));
        } else if (a == "--no-print-copy") {
            sim->SetPrintCopy(false);
        } else if (a == "--faults") {
            sim->AddFaults(ParseSamsER350FFaults(value()));
        } else {
            throw Exception("unknown option " + a);
        }
    }
    return sim;
}

struct TDeviceKind {
    const char* name;
    const char* title;
    std::function<std::unique_ptr<TSimDevice>(const std::vector<std::string>&)> make;
};

const TDeviceKind kDevices[] = {
    {"er350f", "Samsung ER-350F STU (key strokes)", MakeSamsER350F},
};

int Usage() {
    std::fprintf(stderr, "usage: cashsim DEVICE [options] [--verbose]\n");
    for (const TDeviceKind& d : kDevices) std::fprintf(stderr, "  %-8s %s\n", d.name, d.title);
    std::fprintf(stderr,
                 "er350f options: --key P|X|Z|П|МС  --id TEXT  --echo-delay MS  --print-delay MS\n"
                 "                --no-print-copy  --faults \"key 3 drop-echo; query 2 error E1; at 5000 silent 6000\"\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const TDeviceKind* kind = nullptr;
    for (const TDeviceKind& d : kDevices)
        if (std::strcmp(argv[1], d.name) == 0) kind = &d;
    if (!kind) return Usage();
    std::vector<std::string> args;
    bool verbose = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
        else
            args.emplace_back(argv[i]);
    }
    try {
        std::unique_ptr<TSimDevice> device = kind->make(args);
        TSimPty pty;
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGTERM, &sa, nullptr);
        std::printf("%s\n", pty.SlavePath().c_str());
        std::fflush(stdout);
        TVerbose log(*device);
        RunSimulator(pty, *device, SystemClock(), g_stop, [&] {
            if (verbose) log.Report();
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cashsim: %s\n", e.what());
        return 1;
    }
    return 0;
}

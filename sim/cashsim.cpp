// cashsim: plays a cash register on a pseudo-terminal until stopped (SIGINT,
// SIGTERM). It prints the pseudo-terminal's path on the first line of its output;
// put that path into the registry value "COMn" under "\Software\Norvale\Spooler\Ports"
// (HKEY_LOCAL_MACHINE) and open COMn.
//
//   cashsim er350f [--key P|X|Z|П|МС] [--id TEXT] [--echo-delay MS] [--print-delay MS]
//                  [--no-print-copy] [--faults SCRIPT] [--control SOCKET] [--verbose]
//   cashsim rf2160 [--version TEXT] [--id TEXT] [--mode 0..5] [--ack-delay MS]
//                  [--reply-delay MS] [--print-delay MS] [--lock EE DD] [--faults SCRIPT]
//                  [--journal FILE] [--verbose]
//
// --control SOCKET opens a Unix socket on which the line "key P|X|Z|П|МС" turns the
// register's mode key, as its operator would; cashsim answers "ok" once it has.
// --journal FILE writes what the fiscal register books, a line each, as it books it.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/exception.h"
#include "sim/er350f/samser350fsim.h"
#include "sim/rf2160/rf2160sim.h"
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

// The mode key position of a name, 0 for none.
std::uint8_t KeyPosOfName(const std::string& name) {
    for (const er350f::TModeRow& m : er350f::kModes)
        if (name == m.name) return static_cast<std::uint8_t>(m.mode);
    return 0;
}

// The control socket: commands of one line each, served between two pumps of the
// line, so that a key turned here holds for every byte the register answers next.
class TControl {
public:
    explicit TControl(std::string path) : path_(std::move(path)) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path_.size() >= sizeof addr.sun_path) throw Exception("--control: path too long");
        path_.copy(addr.sun_path, path_.size());
        ::unlink(path_.c_str());
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 4) != 0)
            throw Exception("--control: cannot listen on " + path_);
    }
    ~TControl() {
        for (const Client& c : clients_) ::close(c.fd);
        if (fd_ >= 0) ::close(fd_);
        ::unlink(path_.c_str());
    }

    // Takes new connections and answers every complete line with handle's reply.
    void Serve(const std::function<std::string(const std::string&)>& handle) {
        for (int c; (c = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;)
            clients_.push_back({c, {}});
        for (auto it = clients_.begin(); it != clients_.end();) {
            char buf[256];
            const ssize_t n = ::read(it->fd, buf, sizeof buf);
            if (n > 0) it->in.append(buf, static_cast<std::size_t>(n));
            for (std::size_t eol; (eol = it->in.find('\n')) != std::string::npos;) {
                const std::string reply = handle(it->in.substr(0, eol)) + "\n";
                it->in.erase(0, eol + 1);
                if (::write(it->fd, reply.data(), reply.size()) < 0) break;
            }
            if (n == 0 || it->in.size() > 4096) {
                ::close(it->fd);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
    }

private:
    struct Client {
        int fd;
        std::string in;
    };
    std::string path_;
    int fd_ = -1;
    std::vector<Client> clients_;
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
            const std::uint8_t pos = KeyPosOfName(value());
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

std::unique_ptr<TSimDevice> MakeRf2160(const std::vector<std::string>& args) {
    auto sim = std::make_unique<TRf2160Sim>();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw Exception(a + ": value missing");
            return args[++i];
        };
        if (a == "--version") {
            sim->SetVersion(value());
        } else if (a == "--id") {
            sim->SetDeviceId(value());
        } else if (a == "--mode") {
            const int mode = ToInt(a, value());
            if (mode > 5) throw Exception("--mode: 0 to 5");
            sim->SetMode(static_cast<std::uint8_t>(mode));
        } else if (a == "--ack-delay") {
            sim->SetAckDelay(ToInt(a, value()));
        } else if (a == "--reply-delay") {
            sim->SetReplyDelay(ToInt(a, value()));
        } else if (a == "--print-delay") {
            sim->SetPrintDelay(ToInt(a, value()));
        } else if (a == "--lock") {
            const std::string error = value();
            const std::string detail = value();
            const auto flags = ParseRf2160Faults("at 0 status " + error + " " + detail);
            sim->SetError(flags[0].error, flags[0].detail);
        } else if (a == "--faults") {
            sim->AddFaults(ParseRf2160Faults(value()));
        } else {
            throw Exception("unknown option " + a);
        }
    }
    return sim;
}

// Milliseconds since cashsim started: the times of a fault script ("at 5000 ...")
// count from the start.
class TSinceStartClock : public TClock {
public:
    std::int64_t NowMs() override { return SystemClock().NowMs() - start_; }
    void SleepMs(int ms) override { SystemClock().SleepMs(ms); }
    bool RealTime() const override { return true; }

private:
    std::int64_t start_ = SystemClock().NowMs();
};

struct TDeviceKind {
    const char* name;
    const char* title;
    std::function<std::unique_ptr<TSimDevice>(const std::vector<std::string>&)> make;
};

const TDeviceKind kDevices[] = {
    {"er350f", "Samsung ER-350F STU (key strokes)", MakeSamsER350F},
    {"rf2160", "fiscal register \"РФ 2160\" (checksummed frames)", MakeRf2160},
};

int Usage() {
    std::fprintf(stderr, "usage: cashsim DEVICE [options] [--verbose]\n");
    for (const TDeviceKind& d : kDevices) std::fprintf(stderr, "  %-8s %s\n", d.name, d.title);
    std::fprintf(stderr,
                 "er350f options: --key P|X|Z|П|МС  --id TEXT  --echo-delay MS  --print-delay MS\n"
                 "                --no-print-copy  --faults \"key 3 drop-echo; query 2 error E1; at 5000 silent 6000\"\n"
                 "                --control SOCKET (the line \"key X\" turns the mode key)\n"
                 "rf2160 options: --version 26.10.0|2160.01.02|2160.01.03|2160.01.O|TEXT  --id TEXT  --mode 0..5\n"
                 "                --ack-delay MS  --reply-delay MS  --print-delay MS  --lock 80 02\n"
                 "                --faults \"cmd 2 nak 3; frame 4 no-ack; cmd 5 error 20 01; at 9000 status 80 02\"\n"
                 "                --journal FILE (what the register books, a line each)\n");
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
    std::string control, journal;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0)
            verbose = true;
        else if (std::strcmp(argv[i], "--control") == 0 && i + 1 < argc)
            control = argv[++i];
        else if (std::strcmp(argv[i], "--journal") == 0 && i + 1 < argc)
            journal = argv[++i];
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
        // The control socket is ready once the path is printed.
        std::unique_ptr<TControl> controlSocket;
        auto* er350f = dynamic_cast<TSamsER350FSim*>(device.get());
        if (!control.empty()) {
            if (!er350f) throw Exception("--control: this register has no mode key");
            controlSocket = std::make_unique<TControl>(control);
        }
        auto* rf2160 = dynamic_cast<TRf2160Sim*>(device.get());
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> journalFile(nullptr, &std::fclose);
        if (!journal.empty()) {
            if (!rf2160) throw Exception("--journal: this register keeps no journal");
            journalFile.reset(std::fopen(journal.c_str(), "w"));
            if (!journalFile) throw Exception("--journal: cannot write " + journal);
        }
        std::size_t journalled = 0;
        std::printf("%s\n", pty.SlavePath().c_str());
        std::fflush(stdout);
        TVerbose log(*device);
        const auto command = [&](const std::string& line) -> std::string {
            if (line.rfind("key ", 0) == 0) {
                const std::uint8_t pos = KeyPosOfName(line.substr(4));
                if (!pos) return "error: key P|X|Z|П|МС";
                er350f->SetKeyPos(pos);
                if (verbose) std::fprintf(stderr, "key %s\n", line.substr(4).c_str());
                return "ok";
            }
            return "error: unknown command";
        };
        TSinceStartClock clock;
        RunSimulator(pty, *device, clock, g_stop, [&] {
            if (verbose) log.Report();
            if (controlSocket) controlSocket->Serve(command);
            if (journalFile && journalled < rf2160->Journal().size()) {
                const std::vector<std::string>& lines = rf2160->Journal();
                for (; journalled < lines.size(); ++journalled)
                    std::fprintf(journalFile.get(), "%s\n", lines[journalled].c_str());
                std::fflush(journalFile.get());
            }
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cashsim: %s\n", e.what());
        return 1;
    }
    return 0;
}

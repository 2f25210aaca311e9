// The spooler's automation server over the bus, against the real Spooler with the
// Sorbel driver on cashsim (a harness printing its figures, not a timed test):
//   idle      round trip of AddPayArt while the register has nothing to do (each sale
//             is waited for before the next), median and 99th percentile (targets:
//             median under 1 ms);
//   printing  the same while the register prints a long receipt (30 sales queued
//             before, the measured ones after them; target: 99th percentile under 5 ms);
//   burst     N sales (default 1000) from 4 clients at once, pipelined: every id
//             distinct, every result delivered exactly once to every client, none
//             lost; the wall time beside the register's own pace (the idle phase's
//             time from a sale to its result, times N).
//
//   bench_automation_bus [N]
// The register prints about one sale a second, so N = 1000 takes some 20 minutes.
// Everything runs on a private bus with a registry store of its own; cashsim and the
// Spooler are child processes.
#include <stdlib.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/registry/temp_registry.h"
#include "platform/testing/run_until.h"
#include "spooler/automation/automationbus.h"
#include "spooler/client/spoolclient.h"

using namespace tolver;
using namespace tolver::spooler;

namespace {

bool WaitFor(const std::function<bool()>& done, qint64 ms) { return testutil::RunUntil(done, static_cast<int>(ms)); }

bool Run(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(program, args);
    if (!input.isEmpty()) {
        p.write(input);
        p.closeWriteChannel();
    }
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

struct Figures {
    double median, p99, max;
};

Figures Summarize(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) { return us[std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()))]; };
    return {at(0.5), at(0.99), us.back()};
}

// The results one client has seen: id -> how many times, and their order.
struct Seen {
    std::map<int, int> count;
    std::map<int, int> result;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int burst = argc > 1 ? std::max(4, std::atoi(argv[1])) : 1000;

    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForReadyRead(10000)) return std::fprintf(stderr, "no dbus-daemon\n"), 1;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed().constData(), 1);
    TempRegistry registry;
    QTemporaryDir dir;
    ::setenv("TOLVER_STATE_DIR", qPrintable(dir.path() + "/state"), 1);
    ::setenv("XDG_RUNTIME_DIR", qPrintable(dir.path()), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QProcess sim;
    sim.start(QStringLiteral(CASHSIM), {"er350f", "--print-delay", "100"});
    if (!sim.waitForReadyRead(10000)) return std::fprintf(stderr, "no cashsim\n"), 1;
    const QByteArray pty = sim.readLine().trimmed();
    if (!Run(QStringLiteral(REGSVR), {QStringLiteral(SORBEL)}) ||
        !Run(QStringLiteral(REGTOOL), {"import", "-"},
             "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Norvale\\Spooler\\Ports]\n\"COM7\"=\"" +
                 pty + "\"\n") ||
        !Run(QStringLiteral(SPOOLER_SETUP), {"--driver", "Sorbel.csh", "--com", "7", "--notify", "off"}))
        return std::fprintf(stderr, "setup failed\n"), 1;
    QProcess spooler;
    spooler.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    spooler.start(QStringLiteral(SPOOLER), {});
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!WaitFor([&] { return bus.interface()->isServiceRegistered(QLatin1String(bus::kServiceName)).value(); }, 30000))
        return std::fprintf(stderr, "the spooler is not on the bus\n"), 1;

    client::SpoolAuto1 pos(bus);
    Seen seen;
    pos.Advise([&](std::int32_t id, std::int32_t result) {
        ++seen.count[id];
        seen.result[id] = result;
    });
    WaitFor([&] { return pos.call("InInteraction").value(0).toBool(); }, 30000);
    WaitFor([] { return false; }, 1500);
    // No cashier signs on: the spooler re-signs on a known cashier after the polls that
    // a long print leaves unanswered, and that sign-on asks the operator to turn the
    // register's key, which no one here can do.
    const Currency one = Currency::Parse("1.00");
    QElapsedTimer clock;

    // A first short receipt: the driver finds the register's receipt header on the
    // tape after it (a long first receipt would make it give up looking and ask the
    // operator to turn the key for programming the header).
    int last = pos.Call<"AddPayArt">(1, one, one, 5);
    last = pos.Call<"CloseCheck">(Currency::Parse("200"), 0);
    WaitFor([&] { return seen.count.count(last) > 0; }, 60000);

    // Idle: each sale is waited for before the next; receipts of ten.
    std::vector<double> idle, pace;
    for (int i = 0; i < 100; ++i) {
        if (i > 0 && i % 10 == 0) {
            last = pos.Call<"CloseCheck">(Currency::Parse("200"), 0);
            WaitFor([&] { return seen.count.count(last) > 0; }, 60000);
        }
        clock.start();
        const int id = pos.Call<"AddPayArt">(1, one, one, 5);
        idle.push_back(clock.nsecsElapsed() / 1000.0);
        WaitFor([&] { return seen.count.count(id) > 0; }, 30000);
        pace.push_back(clock.nsecsElapsed() / 1000.0);
    }
    last = pos.Call<"CloseCheck">(Currency::Parse("200"), 0);
    WaitFor([&] { return seen.count.count(last) > 0; }, 60000);
    const Figures fi = Summarize(idle), pc = Summarize(pace);
    std::printf("AddPayArt round trip, register idle:     median %.3f ms, p99 %.3f ms, max %.3f ms (100 calls)\n",
                fi.median / 1000, fi.p99 / 1000, fi.max / 1000);
    std::printf("register pace, sale to its result:       median %.1f ms\n", pc.median / 1000);
    std::fflush(stdout);

    // Printing: ten sales queued, then ten measured while the register prints them, and
    // the receipt closed; five rounds.
    std::vector<double> printing;
    int printingRounds = 0;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 10; ++i) pos.Call<"AddPayArt">(1, one, one, 5);
        WaitFor([] { return false; }, 200);
        for (int i = 0; i < 10; ++i) {
            clock.start();
            pos.Call<"AddPayArt">(1, one, one, 5);
            printing.push_back(clock.nsecsElapsed() / 1000.0);
        }
        last = pos.Call<"CloseCheck">(Currency::Parse("200"), 0);
        if (!WaitFor([&] { return seen.count.count(last) > 0; }, 120000)) break;
        ++printingRounds;
    }
    const Figures fp = Summarize(printing);
    std::printf("AddPayArt round trip, register printing: median %.3f ms, p99 %.3f ms, max %.3f ms (%zu calls)\n",
                fp.median / 1000, fp.p99 / 1000, fp.max / 1000, printing.size());
    if (printingRounds < 5) std::printf("  the register stopped completing commands in round %d\n", printingRounds + 1);
    std::fflush(stdout);

    // Burst: 4 clients, N sales in all, every call sent before any answer is read.
    std::vector<QDBusConnection> connections;
    std::vector<std::unique_ptr<client::SpoolAuto1>> clients;
    std::vector<Seen> clientSeen(4);
    for (int c = 0; c < 4; ++c) {
        connections.push_back(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("burst%1").arg(c)));
        clients.push_back(std::make_unique<client::SpoolAuto1>(connections.back()));
        clients.back()->Advise([&clientSeen, c](std::int32_t id, std::int32_t result) {
            ++clientSeen[c].count[id];
            clientSeen[c].result[id] = result;
        });
    }
    std::vector<QDBusPendingCall> calls;
    clock.start();
    for (int i = 0; i < burst; ++i) {
        const int c = i % 4;
        QDBusMessage m = QDBusMessage::createMethodCall(QLatin1String(bus::kServiceName), clients[c]->path(),
                                                        QLatin1String(bus::kSpoolAuto1Interface), "AddPayArt");
        m << 1.0 << QVariant::fromValue<qlonglong>(one.raw()) << QVariant::fromValue<qlonglong>(one.raw()) << 5;
        calls.push_back(connections[c].asyncCall(m, 600000));
    }
    WaitFor([&] { return std::all_of(calls.begin(), calls.end(), [](const QDBusPendingCall& p) { return p.isFinished(); }); },
            600000);
    const double answered = clock.nsecsElapsed() / 1e9;
    std::set<int> ids;
    int refused = 0;
    for (QDBusPendingCall& p : calls) {
        const int id = p.reply().arguments().value(0).toInt();
        if (id < 0) ++refused;
        else ids.insert(id);
    }
    const auto allDelivered = [&] {
        for (const Seen& s : clientSeen)
            for (int id : ids)
                if (!s.count.count(id)) return false;
        return true;
    };
    // Results come at the register's pace; a register that stops leaves them out.
    std::size_t delivered = 0;
    QElapsedTimer progress;
    progress.start();
    while (!allDelivered()) {
        WaitFor(allDelivered, 5000);
        std::size_t now = 0;
        for (const Seen& s : clientSeen) now += s.count.size();
        if (now == delivered && progress.elapsed() > 120000) break;
        if (now != delivered) progress.restart();
        delivered = now;
    }
    const double wall = clock.nsecsElapsed() / 1e9;
    int duplicates = 0, lost = 0, failed = 0;
    for (const Seen& s : clientSeen)
        for (int id : ids) {
            const auto it = s.count.find(id);
            if (it == s.count.end()) ++lost;
            else if (it->second != 1) ++duplicates;
        }
    for (int id : ids)
        if (clientSeen[0].result[id] != 0) ++failed;

    std::printf("burst of %d sales from 4 clients: %zu distinct ids, %d refused, answered in %.3f s; results at all "
                "4 clients after %.1f s; %d lost, %d duplicated, %d not 0; the register's own pace for %d sales: %.1f s\n",
                burst, ids.size(), refused, answered, wall, lost, duplicates, failed, burst, burst * pc.median / 1e6);

    clients.clear();
    spooler.kill();
    spooler.waitForFinished();
    sim.terminate();
    sim.waitForFinished();
    daemon.terminate();
    daemon.waitForFinished();
    return ids.size() == static_cast<std::size_t>(burst) && lost == 0 && duplicates == 0 ? 0 : 1;
}

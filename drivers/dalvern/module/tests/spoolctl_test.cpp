// The receipt through the spooler program: "РФ 2160" chosen in the stored setup,
// Spooler started for automation on a bus of this test's own, and a signed-on receipt
// made with spoolctl against "cashsim rf2160". The spooler finds Dalvern.csh by
// discovery and binds it through its own events interface; every command's result
// reaches the client (spoolctl --wait prints it and exits 0 only for result 0).

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QProcess>

#include "spooler/automation/automationbus.h"
#include "spooler/client/spoolclient.h"
#include "spooler/client/tests/bus_helpers.h"

namespace tolver::spooler {
namespace {

using testing::CtlRun;
using testing::Spoolctl;
using testing::WaitFor;

TEST(DalvernThroughSpoolctl, AReceiptOnTheSimulatedFiscalRegister) {
    testing::SpoolerOnRegister f({"rf2160", "--reply-delay", "20"}, QStringLiteral(DALVERN));
    ASSERT_TRUE(f.Ready());
    QProcess& spooler = f.spooler;
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto holder = std::make_unique<client::SpoolAuto1>(bus);  // keeps the spooler running between spoolctl calls
    // The register answers about 3 s after the spooler opened the line (its first poll
    // identifies it); the spooler waits out four restore ticks of 1 s from the opening,
    // and its first good poll after them signs on again the cashier it remembers,
    // closing any open receipt. The receipt waits well past that poll.
    // (Asked through spoolctl runs: a call of this process that the spooler never
    // answers would wait without end.)
    ASSERT_TRUE(WaitFor(
        [] {
            const CtlRun r = Spoolctl({"in-interaction"}, 10000);
            return r.code == 0 && (r.out.trimmed() == "true" || r.out.trimmed() == "-1");
        },
        30000));
    WaitFor([] { return false; }, 5000);

    const auto run = [](const QStringList& args) {
        const CtlRun r = Spoolctl(args + QStringList{"--wait"}, 60000);
        EXPECT_EQ(r.code, 0) << args.join(' ').toStdString() << "\n" << r.out.toStdString() << r.err.toStdString();
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(lines.size(), 2) << r.out.toStdString();
        if (lines.size() == 2) EXPECT_EQ(lines[1], QStringLiteral("result %1 0").arg(lines[0]));
    };
    run({"sign-on", "--op", "2", "--name-op", "Анна", "--password", "1234"});
    run({"sale-art", "--count", "1", "--sum-without-nds", "10.00", "--sum", "12.00", "--art", "5"});
    run({"cancel-art", "--sum-without-nds", "10.00", "--sum", "12.00", "--art", "5"});
    run({"cash-in", "--sum", "100", "--pay-type", "cash", "--info", "Внесение"});
    run({"cash-out", "--sum", "50", "--pay-type", "cash", "--info", "Выдача"});
    const CtlRun info = Spoolctl({"add-info", "--text", "Спасибо за покупку"}, 30000);
    EXPECT_EQ(info.code, 0) << info.out.toStdString() << info.err.toStdString();
    run({"close", "--sum", "20", "--pay-type", "cash"});

    holder.reset();
    EXPECT_TRUE(WaitFor([&] { return spooler.state() == QProcess::NotRunning; }, 20000));
}

}  // namespace
}  // namespace tolver::spooler

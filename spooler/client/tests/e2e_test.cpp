// The real spooler with the Sorbel driver on a simulated ER-350F (cashsim on a
// pseudo-terminal), driven through the bus by spoolctl and the client library: a
// signed-on sale waited for with --wait, the receipt closed, and the spooler closing
// when its last SpoolAuto1 goes, telling the window that Prepare named.

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

class PreparedWindow : public QObject {
    Q_OBJECT
public:
    std::vector<int> message;
public Q_SLOTS:
    void onMessage(int handle, uint msg, int wParam, int lParam) {
        message = {handle, static_cast<int>(msg), wParam, lParam};
    }
};

TEST(AutomationEndToEnd, SaleThroughSpoolctlOnTheSimulatedRegister) {
    // The Sorbel driver on COM7, the simulator printing a moment after each key.
    testing::SpoolerOnRegister f({"er350f", "--print-delay", "100"}, QStringLiteral(SORBEL));
    ASSERT_TRUE(f.Ready());
    QProcess& spooler = f.spooler;
    QDBusConnection bus = QDBusConnection::sessionBus();

    PreparedWindow window;
    ASSERT_TRUE(bus.connect(QLatin1String(bus::kServiceName), QLatin1String(bus::kFactoryPath),
                            QLatin1String(bus::kFactoryInterface), "WindowMessage", &window,
                            SLOT(onMessage(int, uint, int, int))));
    client::SpoolAuto legacy(bus);
    legacy.Call<"Prepare">(11, 77);
    auto holder = std::make_unique<client::SpoolAuto1>(bus);  // keeps the spooler running between spoolctl calls

    // The link is up once the register answers.
    ASSERT_TRUE(WaitFor([&] { return holder->call("InInteraction").value(0).toBool(); }, 20000));

    CtlRun r = Spoolctl({"sign-on", "--op", "1", "--name-op", "Кассир 1", "--password", "5173", "--wait"}, 60000);
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    r = Spoolctl({"sale-art", "--count", "1", "--sum", "6.00", "--art", "5", "--wait"}, 60000);
    ASSERT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], QStringLiteral("result %1 0").arg(lines[0]));
    std::string info;
    EXPECT_FALSE(holder->Call<"CanExit">(info));  // the receipt is open
    r = Spoolctl({"close", "--sum", "10", "--wait"}, 60000);
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(holder->Call<"CanExit">(info));

    // The last SpoolAuto1 goes: the spooler takes the link down and ends.
    holder.reset();
    EXPECT_TRUE(WaitFor([&] { return spooler.state() == QProcess::NotRunning; }, 20000));
    EXPECT_TRUE(WaitFor([&] { return !window.message.empty(); }, 2000));
    EXPECT_EQ(window.message, (std::vector<int>{11, 1029, 77, 0}));
}

TEST(AutomationEndToEnd, MonitorEndsWithTheSpoolerAndSaysSo) {
    testing::SpoolerOnRegister f({"er350f"}, QStringLiteral(SORBEL));
    ASSERT_TRUE(f.Ready());
    QProcess monitor;
    monitor.start(QStringLiteral(SPOOLCTL), {"monitor"});
    ASSERT_TRUE(WaitFor([&] { return monitor.canReadLine(); }, 20000));
    EXPECT_TRUE(monitor.readLine().startsWith("monitoring "));
    f.spooler.terminate();
    ASSERT_TRUE(WaitFor([&] { return monitor.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(monitor.exitCode(), 3);
    EXPECT_TRUE(monitor.readAllStandardError().contains("the spooler ended"));
}

}  // namespace
}  // namespace tolver::spooler

#include "e2e_test.moc"

// The receipt through the spooler program: "РФ 2160" chosen in the stored setup,
// Spooler started for automation on a bus of this test's own, and a signed-on receipt
// made with spoolctl against "cashsim rf2160". The spooler finds Dalvern.csh by
// discovery and binds it through its own events interface; every command's result
// reaches the client (spoolctl --wait prints it and exits 0 only for result 0), and
// the register's journal shows the receipt it booked.

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "spooler/automation/automationbus.h"
#include "spooler/client/spoolclient.h"
#include "spooler/client/tests/bus_helpers.h"

namespace tolver::spooler {
namespace {

using testing::CtlRun;
using testing::Spoolctl;
using testing::WaitFor;

TEST(DalvernThroughSpoolctl, AReceiptOnTheSimulatedFiscalRegister) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString journal = dir.filePath("journal.txt");
    testing::SpoolerOnRegister f({"rf2160", "--reply-delay", "20", "--journal", journal}, QStringLiteral(DALVERN));
    ASSERT_TRUE(f.Ready());
    QProcess& spooler = f.spooler;
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto holder = std::make_unique<client::SpoolAuto1>(bus);  // keeps the spooler running between spoolctl calls
    // The register answers about 3 s after the spooler opened the line (its first poll
    // identifies it). (Asked through spoolctl runs: a call of this process that the
    // spooler never answers would wait without end.)
    ASSERT_TRUE(WaitFor(
        [] {
            const CtlRun r = Spoolctl({"in-interaction"}, 10000);
            return r.code == 0 && (r.out.trimmed() == "true" || r.out.trimmed() == "-1");
        },
        30000));

    const auto run = [](const QStringList& args) {
        const CtlRun r = Spoolctl(args + QStringList{"--wait"}, 60000);
        EXPECT_EQ(r.code, 0) << args.join(' ').toStdString() << "\n" << r.out.toStdString() << r.err.toStdString();
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        EXPECT_EQ(lines.size(), 2) << r.out.toStdString();
        if (lines.size() == 2) {
            EXPECT_EQ(lines[1], QStringLiteral("result %1 0").arg(lines[0]));
        }
    };
    run({"sign-on", "--op", "2", "--name-op", "Анна", "--password", "1234"});
    run({"sale-art", "--count", "1", "--sum-without-nds", "10.00", "--sum", "12.00", "--art", "5"});
    run({"cancel-art", "--sum-without-nds", "10.00", "--sum", "12.00", "--art", "5"});
    const CtlRun info = Spoolctl({"add-info", "--text", "Спасибо за покупку"}, 30000);
    EXPECT_EQ(info.code, 0) << info.out.toStdString() << info.err.toStdString();
    run({"close", "--sum", "20", "--pay-type", "cash"});
    // Cash moves close an open receipt first: they come after it.
    run({"cash-in", "--sum", "100", "--pay-type", "cash", "--info", "Внесение"});
    run({"cash-out", "--sum", "50", "--pay-type", "cash", "--info", "Выдача"});
    // From the sale on, what the register booked (the spooler may have signed the
    // cashier on again before it).
    const QStringList receipt = {"sale art 5 qty 1.000 price 12.00 sum 12.00", "void art 5 qty 1.000 sum -12.00",
                                 "text Спасибо за покупку", "drawer", "close 1 total 0.00 cash tender 20.00 change 20.00",
                                 "text Внесение", "drawer", "cash-in cash 100.00", "text Выдача", "drawer",
                                 "cash-out cash 50.00"};
    QStringList booked;
    WaitFor(
        [&] {  // what it booked last has been written
            QFile file(journal);
            booked = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                                    : QStringList();
            return booked.size() > receipt.size() && booked.endsWith(receipt.back());
        },
        10000);
    EXPECT_TRUE(booked.contains("sign-on 2")) << booked.join('\n').toStdString();
    const qsizetype sale = booked.indexOf(receipt.front());
    EXPECT_EQ((sale >= 0 ? booked.mid(sale) : QStringList()).join('\n').toStdString(), receipt.join('\n').toStdString());

    holder.reset();
    EXPECT_TRUE(WaitFor([&] { return spooler.state() == QProcess::NotRunning; }, 20000));
}

}  // namespace
}  // namespace tolver::spooler

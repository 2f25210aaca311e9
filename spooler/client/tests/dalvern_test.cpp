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

#include <limits>
#include <map>

#include "spooler/automation/automationbus.h"
#include "spooler/client/spoolclient.h"
#include "spooler/client/tests/bus_helpers.h"

namespace tolver::spooler {
namespace {

using testing::CtlRun;
using testing::Spoolctl;
using testing::WaitFor;

// The spooler on "cashsim rf2160", whose journal is in a folder of the test's own.
class DalvernThroughSpoolctl : public ::testing::Test {
protected:
    // What the register has booked so far, a line a booking.
    QStringList Booked() const {
        QFile file(journal);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                              : QStringList();
    }

    QTemporaryDir dir;
    const QString journal = dir.filePath("journal.txt");
    testing::SpoolerOnRegister f{{"rf2160", "--reply-delay", "20", "--journal", journal}, QStringLiteral(DALVERN)};
};

TEST_F(DalvernThroughSpoolctl, AReceiptOnTheSimulatedFiscalRegister) {
    ASSERT_TRUE(dir.isValid());
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
                                 "text Спасибо за покупку", "close 1 total 0.00 cash tender 20.00 change 20.00",
                                 "drawer", "text Внесение", "cash-in cash 100.00", "drawer", "text Выдача",
                                 "cash-out cash 50.00", "drawer"};
    QStringList booked;
    WaitFor(
        [&] {  // what it booked last has been written
            booked = Booked();
            return booked.size() > receipt.size() && booked.mid(booked.size() - 2) == receipt.mid(receipt.size() - 2);
        },
        10000);
    EXPECT_TRUE(booked.contains("sign-on 2")) << booked.join('\n').toStdString();
    const qsizetype sale = booked.indexOf(receipt.front());
    EXPECT_EQ((sale >= 0 ? booked.mid(sale) : QStringList()).join('\n').toStdString(), receipt.join('\n').toStdString());

    holder.reset();
    EXPECT_TRUE(WaitFor([&] { return spooler.state() == QProcess::NotRunning; }, 20000));
}

// What the client asked is what the register books, or the call says it was not: a
// void names the receipt's last line, a payout needs a return article, a tender must
// cover the receipt and an amount must fit the register; a refused close leaves the
// receipt open (the spooler may not exit) and opens no drawer.
TEST_F(DalvernThroughSpoolctl, TheRegisterBooksWhatTheClientAskedOrTheCallIsRefused) {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(f.Ready());
    QDBusConnection bus = QDBusConnection::sessionBus();
    client::SpoolAuto1 pos(bus);
    std::map<std::int32_t, std::int32_t> results;
    pos.Advise([&](std::int32_t id, std::int32_t result) { results[id] = result; });
    ASSERT_TRUE(WaitFor(
        [] {
            const CtlRun r = Spoolctl({"in-interaction"}, 10000);
            return r.code == 0 && r.out.trimmed() == "true";
        },
        30000));
    const auto done = [&](std::int32_t id) {
        EXPECT_GT(id, 0);
        EXPECT_TRUE(WaitFor([&] { return results.count(id) != 0; }, 60000)) << id;
        EXPECT_EQ(results[id], 0) << id;
    };
    const auto cy = [](const char* text) { return Currency::Parse(text); };

    done(pos.Call<"RegOp">(2, "Анна", "1234"));
    done(pos.Call<"AddPayArt">(1, cy("30"), cy("30"), 5));
    EXPECT_EQ(pos.Call<"CloseCheck">(cy("10"), 0), -1);  // tender below the total
    std::string info;
    EXPECT_FALSE(pos.Call<"CanExit">(info));
    done(pos.Call<"AddPayArt">(1, cy("3"), cy("3"), 6));
    EXPECT_EQ(pos.Call<"DelPayArt">(cy("30"), cy("30"), 5), -1);     // not the last line
    EXPECT_EQ(pos.Call<"AddPayArt">(1, cy("-6"), cy("-6"), 5), -1);  // not a return article
    EXPECT_EQ(pos.Call<"CloseCheck">(Currency::FromRaw(std::numeric_limits<std::int64_t>::max()), 0), -1);
    done(pos.Call<"DelPayArt">(cy("3"), cy("3"), 6));
    const std::int32_t close = pos.Call<"CloseCheck">(cy("50"), 0);
    done(close);
    EXPECT_TRUE(WaitFor([&] { return pos.Call<"CanExit">(info); }, 10000));
    EXPECT_EQ(pos.Call<"AddCash">(cy("100000000000"), 0, ""), -1);
    EXPECT_EQ(pos.Call<"ReturnCash">(cy("21474836.48"), 0, ""), -1);

    const QStringList receipt = {"sale art 5 qty 1.000 price 30.00 sum 30.00", "sale art 6 qty 1.000 price 3.00 sum 3.00",
                                 "void art 6 qty 1.000 sum -3.00", "close 1 total 30.00 cash tender 50.00 change 20.00",
                                 "drawer"};
    QStringList booked;
    EXPECT_TRUE(WaitFor(
        [&] {
            booked = Booked();
            return booked.endsWith(receipt.back());
        },
        10000));
    const qsizetype sale = booked.indexOf(receipt.front());
    EXPECT_EQ((sale >= 0 ? booked.mid(sale) : QStringList()).join('\n').toStdString(), receipt.join('\n').toStdString());
}

}  // namespace
}  // namespace tolver::spooler

// The main() of the client tests: a QCoreApplication and a session bus of the test
// process's own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QProcess>
#include <cstdio>

// Each test process runs on a bus of its own, so that parallel tests never meet at the
// spooler's well-known name.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForReadyRead(10000)) {
        std::fprintf(stderr, "dbus-daemon did not start\n");
        return 1;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", daemon.readLine().trimmed().constData(), 1);
    const int result = RUN_ALL_TESTS();
    daemon.terminate();
    daemon.waitForFinished();
    return result;
}


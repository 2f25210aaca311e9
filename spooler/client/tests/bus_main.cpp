// The main() of the client tests: an application (offscreen: the driver module that
// the end-to-end test loads makes widgets) and a session bus of the test process's own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QProcess>
#include <cstdio>

#include "platform/testing/gui_test_main.h"

// Each test process runs on a bus of its own, so that parallel tests never meet at the
// spooler's well-known name.
int main(int argc, char** argv) {
    tolver::testutil::PrepareGuiTestEnvironment();
    QApplication app(argc, argv);
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


// Spooler: the tray program that hosts one cash-register driver and serves the
// point-of-sale programs. A second start brings the running one forward, says so and
// ends with exit code 1 before it reads the setup, creates a driver or opens a port;
// so does a start on a session bus where another spooler (of another runtime folder)
// already holds the automation server's name.

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <cstdio>
#include <cstdlib>

#include "platform/shell/ionlyonce.h"
#include "spooler/application.h"
#include "spooler/automation/automationbus.h"
#include "spooler/automation/spoolerautomation.h"
#include "spooler/dialogs/maindialogs.h"

using namespace tolver;

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    SetUpSpoolerApplication(app);

    // "REGSERVER" and "UNREGSERVER" do their work and end, in a second instance too.
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (const int code = spooler::TSpoolerAutomation::HandleCommandLine(args); code >= 0) return code;

    TIOnlyOnce guard(&app, "Spooler");
    if (guard.AnotherInstance()) {
        std::fprintf(stderr, "Spooler: a spooler already runs (its window is brought forward); this start ends\n");
        return 1;
    }
    // Another spooler on this bus (of another runtime folder): the clients reach that
    // one, and this one would only contend for the register's port.
    const auto anotherOnBus = [] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return bus.isConnected() && bus.interface()->isServiceRegistered(QLatin1String(spooler::bus::kServiceName)).value();
    };
    const auto sayAnotherOnBus = [] {
        std::fprintf(stderr, "Spooler: another spooler runs on this session bus (it holds %s); this start ends\n",
                     spooler::bus::kServiceName);
    };
    if (anotherOnBus()) {
        sayAnotherOnBus();
        return 1;
    }

    // The core, the main window with its dialogs over it, then the automation server
    // over the core.
    TSpoolerProgram program(&guard, {}, &CreateSpoolerDialogs);
    TfrmMain& main = program.Main();
    spooler::TSpoolerAutomation automation(program.Core());
    QObject::connect(&main, &TfrmMain::closed, &app, [&automation] { automation.Close(); });
    QObject::connect(&main, &TfrmMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    int code = 0;
    if (automation.NameTaken()) {
        // It came up meanwhile: this one goes through the closing sequence at once.
        sayAnotherOnBus();
        code = 1;
        QMetaObject::invokeMethod(&main, &QWidget::close, Qt::QueuedConnection);
    }
    const int loop = app.exec();
    return code ? code : loop;
}

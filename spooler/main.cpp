// Spooler: the tray program that hosts one cash-register driver and serves the
// point-of-sale programs. A second start brings the running one forward and ends
// before it reads the setup, creates a driver or opens a port.

#include <QApplication>

#include <cstdlib>

#include "platform/shell/ionlyonce.h"
#include "spooler/application.h"
#include "spooler/automation/mainwindowhost.h"
#include "spooler/dialogs/maindialogs.h"
#include "spooler/mainform.h"

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
    if (guard.AnotherInstance()) return 0;

    // The main window with its dialogs, then the automation server over it.
    TfrmMain main(&guard, {}, &CreateSpoolerDialogs);
    spooler::TSpoolerAutomation automation(main);
    QObject::connect(&main, &TfrmMain::closed, &app, [&automation] { automation.Close(); });
    QObject::connect(&main, &TfrmMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
}

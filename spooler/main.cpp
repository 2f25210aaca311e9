// Spooler: the tray program that hosts one cash-register driver and serves the
// point-of-sale programs. A second start brings the running one forward and ends
// before it reads the setup, creates a driver or opens a port.

#include <QApplication>

#include <cstdlib>

#include "platform/shell/ionlyonce.h"
#include "spooler/application.h"
#include "spooler/mainform.h"
#include "spooler/spoolerextensions.h"

using namespace tolver;

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    SetUpSpoolerApplication(app);

    QStringList args = QApplication::arguments();
    args.removeFirst();
    for (const TSpoolerExtension& e : SpoolerExtensions()) {
        if (!e.CommandLine) continue;
        if (const int code = e.CommandLine(args); code >= 0) return code;
    }

    TIOnlyOnce guard(&app, "Spooler");
    if (guard.AnotherInstance()) return 0;

    for (const TSpoolerExtension& e : SpoolerExtensions())
        if (e.BeforeMainWindow) e.BeforeMainWindow();
    TfrmMain main(&guard);
    for (const TSpoolerExtension& e : SpoolerExtensions())
        if (e.AfterMainWindow) e.AfterMainWindow(main);
    QObject::connect(&main, &TfrmMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
}

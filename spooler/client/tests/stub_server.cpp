// A spooler without a main window for the activation test: it takes the registration
// switches as Spooler does and otherwise serves the automation objects on the session
// bus until that bus goes.
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

#include "spooler/automation/automationserver.h"
#include "spooler/automation/serverswitches.h"

int main(int argc, char** argv) {
    if (const int code = tolver::spooler::HandleRegistrationSwitches(argc, argv); code >= 0) return code;
    QCoreApplication app(argc, argv);
    tolver::spooler::AutomationServer server(nullptr);
    QString error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return QCoreApplication::exec();
}

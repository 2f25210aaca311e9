#pragma once
// What the client tests share: waiting while this process's event loop runs (the
// server under test may live in it), spoolctl runs, and the real spooler set up for
// a driver module on a simulated register.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <stdlib.h>
#include <functional>

#include "platform/registry/temp_registry.h"
#include "spooler/automation/automationbus.h"
#include "platform/testing/run_until.h"

namespace tolver::spooler::testing {

inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) { return testutil::RunUntil(done, ms); }

struct CtlRun {
    int code;
    QString out, err;
};

inline CtlRun Spoolctl(const QStringList& args, int ms = 30000) {
    QProcess p;
    p.start(QStringLiteral(SPOOLCTL), args);
    // A run still going after ms is stopped and reported with code -1.
    const bool ended = WaitFor([&] { return p.state() == QProcess::NotRunning; }, ms);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    return {ended ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// A tool of the build run to its end; true for exit code 0.
inline bool RunTool(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(program, args);
    if (!input.isEmpty()) {
        p.write(input);
        p.closeWriteChannel();
    }
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The build's tools that set a spooler up.
struct SetupTools {
    QString regsvr, regtool, spoolerSetup;
};

// cashsim started with args; the path of its pseudo-terminal, empty when it did not start.
inline QString StartRegister(QProcess& sim, const QString& cashsim, const QStringList& args) {
    sim.start(cashsim, args);
    if (!sim.waitForReadyRead(10000)) return {};
    const QString pty = QString::fromUtf8(sim.readLine()).trimmed();
    return pty.startsWith("/dev/") ? pty : QString();
}

// The driver module installed, COMn naming the register's pseudo-terminal, and the
// spooler's setup choosing the module with its own default settings.
inline bool ChooseDriver(const SetupTools& tools, const QString& module, const QString& pty, int com) {
    const QByteArray port = "COM" + QByteArray::number(com);
    return RunTool(tools.regsvr, {module}) &&
           RunTool(tools.regtool, {"import", "-"},
                   "Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\Norvale\\Spooler\\Ports]\n\"" + port + "\"=\"" + pty.toUtf8() +
                       "\"\n") &&
           RunTool(tools.spoolerSetup,
                   {"--driver", QFileInfo(module).fileName(), "--com", QString::number(com), "--notify", "off"});
}

// The Spooler program started for automation, offscreen; true once its bus name is there.
inline bool StartSpooler(QProcess& spooler, const QString& program) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    spooler.setProcessEnvironment(env);
    spooler.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    spooler.start(program, {"/automation"});
    QDBusConnection bus = QDBusConnection::sessionBus();
    return WaitFor([&] { return bus.interface()->isServiceRegistered(QLatin1String(bus::kServiceName)).value(); },
                   20000);
}

// A spooler of the test's own on a simulated register: a registry store, state and
// runtime folders of its own, cashsim started with simArgs and entered as COM7, the
// driver module chosen with its default settings, and Spooler started for automation.
// Ready() is false when any of it did not come up; the destructor stops both programs.
class SpoolerOnRegister {
public:
    SpoolerOnRegister(const QStringList& simArgs, const QString& module) {
        if (!dir_.isValid()) return;
        ::setenv("TOLVER_STATE_DIR", qPrintable(dir_.path() + "/state"), 1);
        ::setenv("XDG_RUNTIME_DIR", qPrintable(dir_.path()), 1);
        const QString pty = StartRegister(sim, QStringLiteral(CASHSIM), simArgs);
        ready_ = !pty.isEmpty() &&
                 ChooseDriver({QStringLiteral(REGSVR), QStringLiteral(REGTOOL), QStringLiteral(SPOOLER_SETUP)}, module,
                              pty, 7) &&
                 StartSpooler(spooler, QStringLiteral(SPOOLER));
    }
    ~SpoolerOnRegister() {
        if (spooler.state() != QProcess::NotRunning) spooler.kill();
        spooler.waitForFinished();
        sim.terminate();
        sim.waitForFinished();
    }
    bool Ready() const { return ready_; }

private:
    TempRegistry registry_;
    QTemporaryDir dir_;
    bool ready_ = false;

public:
    QProcess sim, spooler;
};

}  // namespace tolver::spooler::testing

#pragma once
// What the client tests share: waiting while this process's event loop runs (the
// server under test may live in it), and spoolctl runs.

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

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
    WaitFor([&] { return p.state() == QProcess::NotRunning; }, ms);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace tolver::spooler::testing

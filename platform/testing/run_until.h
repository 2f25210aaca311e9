#pragma once
// Serves the Qt event loop until pred holds; false when ms of real time pass first
// (the guard only catches a hang).

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tolver::testutil {

template <class Pred>
bool RunUntil(Pred pred, int ms = 120000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace tolver::testutil

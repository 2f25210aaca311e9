#pragma once
// Test support: serves the Qt event loop of the calling thread, as a host program
// does, until a condition holds. The guard is real time and only catches a hang.
//
//   ASSERT_TRUE(testutil::ServeEventsUntil([&] { return done; }));

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tolver::testutil {

template <typename Pred>
bool ServeEventsUntil(Pred pred, int guardMs = 120000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > guardMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace tolver::testutil

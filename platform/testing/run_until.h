#pragma once
// Serving the Qt event loop in tests and benchmarks until a condition holds, as the
// host program's loop would: timers, driver events and the protocol thread's
// hand-overs go on meanwhile. The guard only catches a hang; it is no timing
// condition.
//
//   ASSERT_TRUE(tolver::testutil::RunUntil([&] { return done; }, 30000));

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace tolver::testutil {

// True once pred holds (looked at every 5 ms), false when guardMs passed first.
template <typename Pred>
bool RunUntil(Pred pred, int guardMs) {
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (pred() || t.elapsed() > guardMs) loop.quit();
    });
    tick.start(5);
    if (!pred()) loop.exec();
    return pred();
}

}  // namespace tolver::testutil

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/testing/run_until.h"
#include "platform/thread/protocolthread.h"

using namespace tolver;

namespace {

using testutil::RunUntil;

// Lets the protocol thread hand a step over while the main thread does not serve it.
void LetThreadHandOver() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

TEST(ProtocolThread, StepsRunOnTheCreatingThreadOnlyWhileResumed) {
    int steps = 0;
    bool onMain = true;
    QThread* const main = QThread::currentThread();
    TProtocolThread t([&] {
        ++steps;
        onMain = onMain && QThread::currentThread() == main;
    });
    EXPECT_TRUE(t.Suspended());
    QCoreApplication::processEvents();
    EXPECT_EQ(steps, 0);  // created suspended

    t.Resume();
    ASSERT_TRUE(RunUntil([&] { return steps >= 20; }, 30000));
    EXPECT_TRUE(onMain);

    // A step already handed over when Suspend comes is dropped.
    LetThreadHandOver();
    t.Suspend();
    const int at = steps;
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(steps, at);

    t.Resume();
    ASSERT_TRUE(RunUntil([&] { return steps >= at + 5; }, 30000));
}

TEST(ProtocolThread, TerminateNeverWaitsForTheMainThreadAndNoStepFollows) {
    std::atomic<int> steps{0};
    {
        TProtocolThread t([&] { ++steps; });
        t.Resume();
        ASSERT_TRUE(RunUntil([&] { return steps >= 3; }, 30000));
        LetThreadHandOver();  // a step waits in the event queue
        t.Terminate();        // returns although the main thread never served it
        EXPECT_TRUE(t.Terminated());
        t.Resume();  // no effect any more
        const int at = steps;
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        EXPECT_EQ(steps, at);
    }
    // Destroyed with a step still queued: it is dropped, not run on a dead object.
    std::atomic<bool> destroyed{false};
    {
        auto* t = new TProtocolThread([&] {
            if (destroyed) std::abort();
        });
        t->Resume();
        LetThreadHandOver();
        delete t;
        destroyed = true;
    }
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

TEST(ProtocolThread, AFailingStepDoesNotStopTheSteps) {
    int steps = 0;
    TProtocolThread t([&] {
        if (++steps == 1) throw std::runtime_error("step failed");
    });
    t.Resume();
    EXPECT_TRUE(RunUntil([&] { return steps >= 5; }, 30000));
}

TEST(ProtocolThread, AnIdleEngineIsNotSteppedUntilWoken) {
    int steps = 0;
    TProtocolThread t([&] { ++steps; }, [] { return TStepWait{.longest = std::chrono::milliseconds(60000)}; });
    t.Resume();
    ASSERT_TRUE(RunUntil([&] { return steps == 1; }, 30000));
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(steps, 1);  // a minute to wait
    t.Wake();
    ASSERT_TRUE(RunUntil([&] { return steps == 2; }, 30000));
    QElapsedTimer took;
    took.start();
    t.Terminate();  // ends the wait at once
    EXPECT_LT(took.elapsed(), 30000);
}

TEST(ProtocolThread, InputEndsOnlyAWaitThatReadsIt) {
    const struct {
        bool waitsForInput, ends;
    } cases[] = {{true, true}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.waitsForInput);
        int steps = 0;
        TProtocolThread t([&] { ++steps; },
                          [&] { return TStepWait{.longest = std::chrono::minutes(1), .input = c.waitsForInput}; });
        t.Resume();
        ASSERT_TRUE(RunUntil([&] { return steps == 1; }, 30000));
        t.InputNotifier()();  // as a port's reader thread calls it
        if (c.ends) {
            EXPECT_TRUE(RunUntil([&] { return steps == 2; }, 30000));
        } else {
            for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            EXPECT_EQ(steps, 1);
            t.Wake();
            EXPECT_TRUE(RunUntil([&] { return steps == 2; }, 30000));
        }
    }
}

TEST(ProtocolThread, APauseIsSpentInFullAndTheNextStepKnowsHowLongItWaited) {
    std::vector<std::chrono::microseconds> waited;
    TProtocolThread* self = nullptr;
    TProtocolThread t(
        [&] {
            waited.push_back(self->Waited());
            self->Wake();  // does not shorten the pause
        },
        [] { return TStepWait{.pause = std::chrono::milliseconds(20)}; });
    self = &t;
    t.Resume();
    ASSERT_TRUE(RunUntil([&] { return waited.size() >= 3; }, 30000));
    EXPECT_EQ(waited[0], std::chrono::milliseconds(0));
    for (std::size_t i = 1; i < waited.size(); ++i) EXPECT_GE(waited[i], std::chrono::milliseconds(20)) << i;
}

TEST(ProtocolThread, PrioritiesZeroToSixOnly) {
    TProtocolThread t([] {});
    EXPECT_EQ(t.Priority(), TProtocolThread::Normal);
    for (const int bad : {-1, 7, 100}) {
        EXPECT_FALSE(t.SetPriority(bad));
        EXPECT_EQ(t.Priority(), TProtocolThread::Normal);
    }
    t.Resume();
    for (int p = TProtocolThread::Idle; p <= TProtocolThread::TimeCritical; ++p) {
        EXPECT_TRUE(t.SetPriority(p));
        EXPECT_EQ(t.Priority(), p);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

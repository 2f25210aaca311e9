// The shared engine core: one result per id through the queue and its flush, and the
// pacing of the steps (in the pump thread on a real clock, on the clock itself on a
// virtual one).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "drivers/engine/commandqueue.h"
#include "drivers/engine/serialengine.h"
#include "platform/serial/fakeport.h"
#include "platform/testing/run_until.h"

using namespace tolver;

namespace {

struct TCmd {
    std::string Text;
    std::int32_t ID = 0;
};

TEST(CommandQueue, FreshIdsAndAFlushReportsEveryQueuedIdInOrder) {
    TCommandQueue<TCmd> q;
    EXPECT_EQ(q.PushWithId({"a", 77}), 1);  // a stale id given in is replaced
    q.Push({"no result", 5});               // and one without a result gets none
    EXPECT_EQ(q.PushWithId({"b"}), 2);
    EXPECT_EQ(q.Front().Text, "a");
    q.PopFront();
    EXPECT_EQ(q.PushWithId({"c"}), 3);

    std::vector<std::int32_t> reported;
    q.Flush([&](std::int32_t id) {
        reported.push_back(id);
        // The queue is empty before the first report; what a handler queues stays.
        if (id == 2) {
            EXPECT_TRUE(q.Empty());
            q.PushWithId({"after"});
        }
    });
    EXPECT_EQ(reported, (std::vector<std::int32_t>{2, 3}));
    ASSERT_EQ(q.Size(), 1u);
    EXPECT_EQ(q.Front().ID, 4);  // ids are never handed out twice
}

// The same, for an engine whose command type names its id otherwise.
struct TFrameCmd {
    std::int32_t Id = 0;
};

TEST(CommandQueue, AnIdFieldOfAnotherName) {
    TCommandQueue<TFrameCmd, &TFrameCmd::Id> q;
    q.PushWithId({});
    EXPECT_EQ(q.PushWithId({}), 2);
}

// A clock in real time whose SleepMs counts the calls: no engine step may sleep.
class TWatchedClock : public TClock {
public:
    std::int64_t NowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void SleepMs(int) override { ++sleeps; }
    bool RealTime() const override { return realTime; }
    int sleeps = 0;
    bool realTime = true;
};

// An engine that sends a byte, then waits kGap before it sends the next.
class TPacedEngine : public TSerialEngine {
public:
    static constexpr int kGap = 40;
    TPacedEngine(TClock& clock, bool withThread)
        : TSerialEngine(std::make_unique<TFakePort>(), clock, withThread) {}
    ~TPacedEngine() override { StopPump(); }
    int Open() {
        std::string cause;
        return OpenPort(cause);
    }
    std::vector<std::int64_t> sentAt;
    int steps = 0;

protected:
    void StepState() override {
        ++steps;
        if (!sentAt.empty() && !Paced(std::chrono::milliseconds(kGap))) return;
        Port().PutChar(static_cast<std::uint8_t>(sentAt.size()));
        sentAt.push_back(Clock().NowMs());
        Log("-> ", "byte");
    }
};

TEST(SerialEngine, PausesAreSpentInThePumpThreadNeverOnTheMainThread) {
    TWatchedClock clock;
    TPacedEngine e(clock, true);
    ASSERT_EQ(e.Open(), 0);
    testutil::RunUntil([&] { return e.sentAt.size() >= 4; }, 30000);
    ASSERT_GE(e.sentAt.size(), 4u);
    EXPECT_EQ(clock.sleeps, 0);
    for (std::size_t i = 1; i < e.sentAt.size(); ++i)
        EXPECT_GE(e.sentAt[i] - e.sentAt[i - 1], TPacedEngine::kGap) << i;
    // Each paced byte took two steps: one that asked for the pause, one after it.
    EXPECT_GE(e.steps, 2 * static_cast<int>(e.sentAt.size()) - 1);
}

TEST(SerialEngine, OnAVirtualClockOrWithoutAPumpThePauseIsTheClocksAndTheStepGoesOn) {
    for (const bool withThread : {false, true}) {
        TWatchedClock clock;
        clock.realTime = !withThread;  // a pump on a virtual clock, or a real clock without one
        TPacedEngine e(clock, withThread);
        std::string log;
        e.OnLog = [&](const std::string& s) { log = s; };
        ASSERT_EQ(e.Open(), 0);
        for (int i = 0; i < 3; ++i) e.Step();
        EXPECT_EQ(e.sentAt.size(), 3u);
        EXPECT_EQ(e.steps, 3);
        EXPECT_EQ(clock.sleeps, 2);
        // "hh:mm:ss.zzz " then the direction and the text.
        ASSERT_EQ(log.size(), 13u + 7u);
        EXPECT_EQ(log[2], ':');
        EXPECT_EQ(log[8], '.');
        EXPECT_EQ(log.substr(12), " -> byte");
    }
}

TEST(SerialEngine, AFailedOpenNamesThePortAndNoStepRuns) {
    TWatchedClock clock;
    auto port = std::make_unique<TFakePort>();
    port->failOpen = true;
    struct TEngine : TSerialEngine {
        using TSerialEngine::TSerialEngine;
        using TSerialEngine::OpenPort;
        void StepState() override { ++steps; }
        int steps = 0;
    } e(std::move(port), clock, false);
    e.SetComNumber(3);
    std::string cause;
    EXPECT_EQ(e.OpenPort(cause), -1);
    EXPECT_EQ(cause, "Ошибка при открытии COM3");
    e.Step();
    // Where the port knows why, the cause says it.
    static_cast<TFakePort&>(e.Port()).failReason = "устройства /dev/ttyUSB0 нет";
    EXPECT_EQ(e.OpenPort(cause), -1);
    EXPECT_EQ(cause, "Ошибка при открытии COM3: устройства /dev/ttyUSB0 нет");
    EXPECT_EQ(e.steps, 0);
    EXPECT_FALSE(e.PortOpen());
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The "РФ 2160" engine on its pump thread in real time, against a register played on
// the fake port: the pump's own pauses and waits for work are no stall of the main
// thread and move no timer; a step held up in an event handler (an operator's
// message box) is a stall, and the running timers move on by it.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "drivers/dalvern/engine/regfisc2160frame.h"
#include "drivers/dalvern/engine/regfisc2160protocol.h"
#include "platform/serial/fakeport.h"
#include "platform/testing/run_until.h"

using namespace tolver;

namespace {

std::string Frame(const std::string& data) { return *BuildFrame(data); }

bool Logged(const std::vector<std::string>& log, const std::string& text) {
    for (const std::string& line : log)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

TEST(EngineOnItsPump, OnlyAStallOfTheMainThreadMovesTheTimers) {
    auto owned = std::make_unique<TFakePort>();
    TFakePort& port = *owned;
    TRegFisc2160Protocol engine(std::move(owned), SystemClock(), true);
    const std::string ack = "\x06", status = Frame(std::string("[\x01\x00\x00\x00", 5));
    // The register answers each frame at once: the ACK, then its reply.
    port.onPut = [&](std::uint8_t) {
        if (port.sent.ends_with(Frame("S1")))
            port.Feed(ack + Frame("S10000216001" + std::string(31, ' ') + "2160.01.O"));
        else if (port.sent.ends_with(Frame("[")) || port.sent.ends_with(Frame("Z7")))
            port.Feed(ack + status);
    };
    std::vector<std::string> log;
    constexpr std::chrono::milliseconds kStall{1500};
    engine.OnLog = [&](const std::string& line) {
        log.push_back(line);
        if (line.find("-> ") != std::string::npos && line.find("<FS>002Z7<ETX>") != std::string::npos)
            std::this_thread::sleep_for(kStall);
    };
    std::vector<std::pair<int, int>> results;
    engine.OnCommandResult = [&](int id, int result) { results.emplace_back(id, result); };
    engine.SetComNumber(1);
    std::string cause;
    ASSERT_EQ(engine.Open(cause), 0);

    // The identification 3 s after Open, a poll 3 s after it, and the pump waiting for
    // them all along: nothing to correct.
    ASSERT_TRUE(testutil::RunUntil([&] { return Logged(log, "<- состояние"); }, 60000));
    EXPECT_FALSE(engine.IdentifyPending());
    EXPECT_FALSE(Logged(log, "коррекция")) << log.size();

    // The step that sends the command is held up while the register answers.
    const int id = engine.AddCommand("Z7", 1, TRegFisc2160Protocol::OptShortTimeout, "");
    ASSERT_TRUE(testutil::RunUntil([&] { return !results.empty(); }, 60000));
    EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{id, 0}}));
    EXPECT_FALSE(Logged(log, "нет ACK"));
    int corrected = 0;
    for (const std::string& line : log) {
        const std::size_t at = line.find("коррекция таймера ожидания ACK на ");
        if (at == std::string::npos) continue;
        ++corrected;
        EXPECT_GE(std::stoi(line.substr(at + std::string("коррекция таймера ожидания ACK на ").size())), kStall.count());
    }
    EXPECT_EQ(corrected, 1);
    engine.Close();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The "РФ 2160" engine step by step on a fake port and a fake clock: each step
// pauses 1 ms of fake time, so a test runs the engine for a span of time and feeds
// the register's bytes where it wants them.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "drivers/dalvern/engine/regfisc2160code.h"
#include "drivers/dalvern/engine/regfisc2160protocol.h"
#include "platform/serial/fakeport.h"
#include "platform/variant/codepage.h"

using namespace tolver;
using Results = std::vector<std::pair<int, int>>;

namespace {

const std::string kAck = "\x06", kNak = "\x15";
constexpr std::int32_t kShort = TRegFisc2160Protocol::OptShortTimeout;
constexpr std::int32_t kLong = TRegFisc2160Protocol::OptLongTimeout;

std::string Frame(const std::string& data) { return *BuildFrame(data); }
std::string Status(std::uint8_t modeFlags, std::uint8_t error = 0, std::uint8_t detail = 0) {
    return Frame(std::string("[") + char(modeFlags) + char(error) + char(0) + char(detail));
}
// Identification data: "S1", the id, filler up to position 43, the version at 44.
std::string IdentData(const std::string& version, const std::string& id = "0000216001") {
    return "S1" + id + std::string(31, ' ') + version;
}
const std::string kSwitchTo1 = "o173920461";

class Engine : public ::testing::Test {
protected:
    Engine() { Fresh(); }

    // A new engine on a new port, nothing recorded (for tables of cases).
    void Fresh() {
        engine.reset();
        auto owned = std::make_unique<TFakePort>();
        port = owned.get();
        engine = std::make_unique<TRegFisc2160Protocol>(std::move(owned), clock, false);
        engine->OnLog = [&](const std::string& s) { log.push_back(s.substr(13)); };  // without the time
        engine->OnError = [&](const std::string& s) { errors.push_back(s); };
        engine->OnQuery = [&](const std::string& s) { queries.push_back(s); };
        engine->OnCommandResult = [&](int id, int r) { results.emplace_back(id, r); };
        log.clear();
        errors.clear();
        queries.clear();
        results.clear();
    }

    void Open() {
        std::string cause;
        ASSERT_EQ(engine->Open(cause), 0);
    }
    // Steps for ms of fake time.
    void Run(std::int64_t ms) {
        const std::int64_t end = clock.NowMs() + ms;
        while (clock.NowMs() < end && engine->PortOpen()) engine->Step();
    }
    // Steps until the engine has written something (at most guard ms); returns it.
    std::string RunUntilSent(std::int64_t guard = 10000) {
        const std::int64_t end = clock.NowMs() + guard;
        while (port->sent.empty() && clock.NowMs() < end && engine->PortOpen()) engine->Step();
        return port->TakeSent();
    }
    // What the engine has written, running on until it is at least `size` bytes.
    std::string SentAtLeast(std::size_t size, std::int64_t guard = 10000) {
        const std::int64_t end = clock.NowMs() + guard;
        while (port->sent.size() < size && clock.NowMs() < end && engine->PortOpen()) engine->Step();
        return port->TakeSent();
    }
    // Feeds the register's bytes and runs a few steps.
    void Reply(const std::string& bytes, int ms = 10) {
        port->Feed(bytes);
        Run(ms);
    }
    // Opens, answers the identification with version and, with settle, the first
    // poll with mode РАБОТА; leaves the engine idle.
    void OpenIdentified(const std::string& version = "2160.01.O", bool settle = true) {
        Open();
        ASSERT_EQ(RunUntilSent(), Frame("S1"));
        Reply(kAck + Frame(IdentData(version)));
        ASSERT_EQ(port->TakeSent(), kAck);
        ASSERT_FALSE(engine->IdentifyPending());
        if (!settle) return;
        ASSERT_EQ(RunUntilSent(), Frame("["));
        Reply(kAck + Status(0x01) + (version == "26.10.0" ? Status(0x01) : ""));
        port->TakeSent();
        ASSERT_EQ(engine->DeviceMode(), 1);
    }
    bool Logged(const std::string& line) const {
        for (const std::string& l : log)
            if (l == line + "\r\n") return true;
        return false;
    }

    TFakeClock clock{100000};
    TFakePort* port = nullptr;
    std::unique_ptr<TRegFisc2160Protocol> engine;
    std::vector<std::string> log, errors, queries;
    Results results;
};

TEST_F(Engine, IdentifiesFirstThenSwitchesModeAndSendsTheCommand) {
    const int id = engine->AddCommand("Z7", 1, kShort, "");
    EXPECT_EQ(id, 1);
    EXPECT_TRUE(Logged("в очередь Z7"));
    Open();
    // Nothing for 3000 ms, then the identification; the command waits for its data.
    Run(2990);
    EXPECT_EQ(port->TakeSent(), "");
    EXPECT_EQ(RunUntilSent(), Frame("S1"));
    EXPECT_EQ(clock.NowMs(), 100000 + 3000);
    // Control bytes show by name: the line is text.
    EXPECT_TRUE(Logged("-> <SOH>FISREGISTRATOR2160<STX><FS>002S1<ETX>1593<EOT>"));
    Reply(kAck);
    Run(2000);
    EXPECT_EQ(port->TakeSent(), "");
    Reply(Frame(IdentData("2160.01.02    ", "DEV0000042")));
    EXPECT_EQ(engine->VersionIndex(), 1);
    EXPECT_EQ(engine->FirmwareText(), "2160.01.02    ");
    EXPECT_EQ(RegFisc2160FirmwareText(), "2160.01.02    ");
    EXPECT_EQ(engine->DeviceId(), "DEV0000042");
    // The data is acknowledged, then the mode switch goes out (the mode is 0 after Open).
    const std::string sent = port->TakeSent();
    EXPECT_EQ(sent, kAck + Frame(kSwitchTo1));
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateModeSwitch);
    Reply(kAck + Status(0x01));
    EXPECT_TRUE(Logged("<- ACK"));
    EXPECT_TRUE(Logged("<- состояние2 00000001 00000000 00000000 00000000"));
    EXPECT_EQ(engine->DeviceMode(), 1);
    EXPECT_EQ(port->TakeSent(), kAck + Frame("Z7"));
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateCommandSent);
    Reply(kAck + Status(0x01));
    EXPECT_EQ(results, (Results{{id, 0}}));
    EXPECT_EQ(port->TakeSent(), kAck);
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateIdle);
    EXPECT_EQ(engine->InInteraction(), 1);
    // Polls every 3 s while idle.
    EXPECT_EQ(RunUntilSent(), Frame("["));
    EXPECT_TRUE(engine->StatusPending());
}

TEST_F(Engine, IdentificationPicksTheFirmwareRow) {
    struct Case {
        std::string version;
        int row;
        const char* text;
    } cases[] = {
        {"26.10.0       ", 0, "26.10.0"},
        {"2160.01.02    ", 1, "2160.01.02    "},
        {"2160.01.03 b17", 2, "2160.01.03 b17"},
        {"2160.01.O     ", 3, "2160.01.O     "},
        {"2160.01.0     ", 3, "неизвестная 2160.01.0     "},  // a zero, not the letter O
        {"9.9", 3, "неизвестная 9.9"},                      // short data
    };
    for (const Case& c : cases) {
        port->TakeSent();
        Open();
        ASSERT_EQ(RunUntilSent(), Frame("S1"));
        Reply(kAck + Frame(IdentData(c.version)));
        EXPECT_EQ(engine->VersionIndex(), c.row) << c.version;
        EXPECT_EQ(engine->FirmwareText(), c.text) << c.version;
        EXPECT_FALSE(engine->IdentifyPending());
        engine->Close();
    }
    // Data shorter than the id field: nothing read beyond it.
    port->TakeSent();
    Open();
    ASSERT_EQ(RunUntilSent(), Frame("S1"));
    Reply(kAck + Frame("S1ab"));
    EXPECT_EQ(engine->DeviceId(), "ab");
    EXPECT_EQ(engine->FirmwareText(), "неизвестная ");
    EXPECT_EQ(engine->VersionIndex(), 3);
}

TEST_F(Engine, OldFirmwareCountsTwoStatusesAndSameModeNeedsNoSwitch) {
    OpenIdentified("26.10.0", false);
    const int id = engine->AddCommand("A", 1, kShort, "");
    // The mode switch: the first status is not effective, the second is.
    ASSERT_EQ(RunUntilSent(), Frame(kSwitchTo1));
    Reply(kAck + Status(0x01));
    EXPECT_EQ(engine->DeviceMode(), 0);
    EXPECT_EQ(port->TakeSent(), kAck);
    Reply(Status(0x01));
    EXPECT_EQ(port->TakeSent(), kAck + Frame("A"));
    Reply(kAck + Status(0x01));
    EXPECT_TRUE(results.empty());
    Reply(Status(0x01));
    EXPECT_EQ(results, (Results{{id, 0}}));
    port->TakeSent();
    // Same mode: the command goes out in the step after it was taken, no switch.
    const int id2 = engine->AddCommand("B", 1, kLong, "");
    engine->Step();
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateModeSwitch);
    EXPECT_EQ(port->TakeSent(), "");
    engine->Step();
    EXPECT_EQ(port->TakeSent(), Frame("B"));
    EXPECT_EQ(engine->ReplyTimeout(), std::chrono::milliseconds(60000));
    Reply(kAck + Status(0x01) + Status(0x01));
    EXPECT_EQ(results.back(), std::make_pair(id2, 0));
}

TEST_F(Engine, ErrorStatusesTakeEffectFromTheThirdWhenIdleAndAtOnceForACommand) {
    OpenIdentified();
    // Idle: two effective error statuses are only counted; the third is handled (the
    // first was the settling poll's).
    EXPECT_EQ(engine->ErrorStatusCount(), 1);
    for (int poll = 2; poll <= 3; ++poll) {
        ASSERT_EQ(RunUntilSent(), Frame("[")) << poll;
        Reply(kAck + Status(0x01, 0x08));
        EXPECT_EQ(port->TakeSent(), poll < 3 ? kAck : kAck + Frame("S1")) << poll;
        EXPECT_EQ(errors.size(), poll < 3 ? 0u : 1u) << poll;
    }
    // That class flushes and re-identifies.
    EXPECT_EQ(errors[0], "Касса не открыта");
    EXPECT_TRUE(Logged("<- ошибка Касса не открыта"));
    EXPECT_TRUE(engine->IdentifyPending());
    Reply(kAck + Frame(IdentData("2160.01.O")));
    port->TakeSent();
    // During a command the first effective error status counts.
    const int a = engine->AddCommand("A", 1, kShort, "");
    const int b = engine->AddCommand("B", 1, kShort, "");
    engine->AddMessage("C", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("A"));
    Reply(kAck + Status(0x01, 0x20, 0x02));
    EXPECT_EQ(errors.back(), "Ошибка пароля или режима\r\n -надо включить режим X");
    EXPECT_TRUE(Logged("<- ошибка Ошибка пароля или режима -надо включить режим X"));
    EXPECT_EQ(results, (Results{{a, -1}, {b, -1}}));
    EXPECT_TRUE(engine->Queue().empty());
    EXPECT_EQ(port->TakeSent(), kAck + Frame("S1"));
}

TEST_F(Engine, LockFailsTheCommandUnlessKept) {
    OpenIdentified();
    const int a = engine->AddCommand("A", 1, kShort, "");
    const int keep = engine->AddCommand("K", 1, kShort | TRegFisc2160Protocol::OptKeepOnError, "");
    ASSERT_EQ(RunUntilSent(), Frame("A"));
    Reply(kAck + Status(0x01, 0x80, 0x02));
    EXPECT_EQ(results, (Results{{a, -1}}));
    EXPECT_EQ(errors, std::vector<std::string>{"Блокировка\r\n -конец бумаги"});
    EXPECT_TRUE(engine->Blocked());
    // A kept command stays queued when the lock hits it.
    ASSERT_EQ(SentAtLeast(1 + Frame("K").size()), kAck + Frame("K"));
    Reply(kAck + Status(0x01, 0x80, 0x02));
    EXPECT_EQ(results.size(), 1u);
    ASSERT_EQ(engine->Queue().size(), 1u);
    EXPECT_EQ(engine->Queue().front().Id, keep);
    // It is sent again and done; the next reply while idle lifts the lock.
    ASSERT_EQ(SentAtLeast(1 + Frame("K").size()), kAck + Frame("K"));
    EXPECT_TRUE(engine->Blocked());
    Reply(kAck + Status(0x01));
    EXPECT_EQ(results.back(), std::make_pair(keep, 0));
    EXPECT_EQ(RunUntilSent(), kAck);
    ASSERT_EQ(RunUntilSent(), Frame("["));
    Reply(kAck);
    EXPECT_FALSE(engine->Blocked());
}

// A reopen between the refusal and the resend changes neither: the command stays at
// the head, goes out once more after the reopen's identification, and a second
// refusal ends it.
TEST_F(Engine, WrongCommandIsResentOnceAfterReidentifyingThenFails) {
    const struct {
        const char* between;
        bool reopen;
        bool close;
    } cases[] = {{"nothing", false, false}, {"a close and an open", true, true}, {"an open alone", true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.between);
        Fresh();
        OpenIdentified();
        const int id = engine->AddCommand("Q", 1, kShort, "");
        ASSERT_EQ(RunUntilSent(), Frame("Q"));
        for (int attempt = 1; attempt <= 2; ++attempt) {
            Reply(kAck + Status(0x01, 0x84));  // bit 2 decides
            EXPECT_EQ(port->TakeSent(), kAck + Frame("S1")) << attempt;
            const bool reopened = attempt == 1 && c.reopen;
            if (reopened) {
                if (c.close) engine->Close();
                Open();
                EXPECT_TRUE(results.empty());
                ASSERT_EQ(RunUntilSent(), Frame("S1"));
            }
            Reply(kAck + Frame(IdentData("2160.01.O")));
            if (reopened) {  // the mode is unknown after a reopen
                EXPECT_EQ(port->TakeSent(), kAck + Frame(kSwitchTo1));
                Reply(kAck + Status(0x01));
            }
            EXPECT_EQ(port->TakeSent(), attempt == 1 ? kAck + Frame("Q") : kAck) << attempt;
        }
        EXPECT_EQ(results, (Results{{id, -1}}));
        EXPECT_EQ(errors, std::vector<std::string>{"Неправильная команда или ошибка формата команды"});
        Run(3000);
        EXPECT_EQ(port->TakeSent(), Frame("["));  // nothing more of Q
    }
}

TEST_F(Engine, NakQuietSecondThenResend) {
    OpenIdentified();
    engine->AddCommand("A", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("A"));
    Reply(kNak);
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateNak);
    EXPECT_TRUE(Logged("<- NAK"));
    EXPECT_TRUE(Logged("<- ошибка Ошибка коммуникации -ошибка связи"));
    Run(600);
    Reply(kNak);  // restarts the quiet second
    Run(900);
    EXPECT_EQ(port->TakeSent(), "");
    EXPECT_EQ(RunUntilSent(200), Frame("A"));
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(results.empty());
}

TEST_F(Engine, SilenceDropsTheCommandUnlessKept) {
    OpenIdentified();
    const int kept = engine->AddCommand("K", 1, kShort | TRegFisc2160Protocol::OptKeepOnError, "");
    ASSERT_EQ(RunUntilSent(), Frame("K"));
    Reply(kAck);  // acknowledged, then no status within 3500 ms
    Run(3600);
    EXPECT_EQ(errors, std::vector<std::string>{"Ошибка коммуникации\r\n -нет ответа на команду"});
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(RunUntilSent(), Frame("K"));  // sent again from state 0
    Reply(kAck + Status(0x01));
    EXPECT_EQ(results, (Results{{kept, 0}}));
    EXPECT_EQ(port->TakeSent(), kAck);
    // Without the option: -1, and the next command follows.
    const int plain = engine->AddCommand("P", 1, kShort, "");
    engine->AddCommand("N", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("P"));
    Reply(kAck);
    Run(3600);
    EXPECT_EQ(results.back(), std::make_pair(plain, -1));
    EXPECT_EQ(port->TakeSent(), Frame("N"));
}

TEST_F(Engine, LostAckSendsNulUntilNakAndTheLinkWatchFalls) {
    OpenIdentified();
    engine->AddCommand("A", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("A"));
    Run(1001);
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateAckLost);
    EXPECT_TRUE(Logged("<- ошибка Ошибка коммуникации -нет ACK на команду"));
    EXPECT_EQ(engine->InInteraction(), 1);
    Run(2000);
    EXPECT_EQ(port->TakeSent(), std::string(4, '\0'));
    EXPECT_TRUE(Logged("досылаем байт #0"));
    EXPECT_TRUE(Logged("-> #0"));
    // Sustained silence since the unacknowledged send: no longer in interaction.
    Run(1000);
    EXPECT_EQ(engine->InInteraction(), 0);
    // A stray status is dropped, but shows the register is there.
    Reply(Status(0x01));
    EXPECT_EQ(engine->InInteraction(), 1);
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateAckLost);
    Reply(kNak);
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateNak);
    port->TakeSent();
    EXPECT_EQ(RunUntilSent(1100), Frame("A"));
}

TEST_F(Engine, IdleLinkWatchFallsWhenAPollGoesUnanswered) {
    OpenIdentified();
    ASSERT_EQ(RunUntilSent(), Frame("["));
    EXPECT_EQ(engine->InInteraction(), 1);
    // Acknowledged but never answered: the next poll finds it so. (The reply timer
    // alone never gets there: every poll restarts it.)
    Reply(kAck);
    EXPECT_EQ(RunUntilSent(), Frame("["));
    EXPECT_EQ(engine->InInteraction(), 0);
    Reply(kAck);
    EXPECT_EQ(engine->InInteraction(), 1);
}

TEST_F(Engine, MalformedRepliesRepeatOrDropTheCommand) {
    OpenIdentified();
    const std::string damaged = Status(0x02).replace(22, 1, "a");  // a letter in the length
    const std::string unknown = Status(0x01).replace(5, 1, "X");  // a foreign signature
    // Repeated with an error report, whatever the register did with it.
    const int a = engine->AddCommand("A", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("A"));
    Reply(kAck + damaged);
    EXPECT_EQ(errors, std::vector<std::string>{"Ошибка коммуникации:\r\n -ошибка формата ответа на команду"});
    EXPECT_EQ(port->TakeSent(), kAck + Frame("A"));
    Reply(kAck + unknown);
    EXPECT_EQ(errors.back(), "Ошибка коммуникации\r\n -ошибка формата ответа на команду");
    EXPECT_EQ(port->TakeSent(), kAck + Frame("A"));
    Reply(kAck + Status(0x01));
    EXPECT_EQ(results, (Results{{a, 0}}));
    EXPECT_EQ(port->TakeSent(), kAck);
    // Dropped with 1: by the option, or by the setting.
    const int b = engine->AddCommand("B", 1, kShort | TRegFisc2160Protocol::OptDropOnFormatError, "");
    ASSERT_EQ(RunUntilSent(), Frame("B"));
    Reply(kAck + unknown);
    EXPECT_EQ(port->TakeSent(), kAck);
    engine->SetIgnoreReplyFormatError(true);
    const int c = engine->AddCommand("C", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("C"));
    Reply(kAck + damaged);
    EXPECT_EQ(results, (Results{{a, 0}, {b, 1}, {c, 1}}));
    EXPECT_EQ(errors.size(), 2u);
}

TEST_F(Engine, OperatorMessageGoesToQueryAndIsNeverSent) {
    OpenIdentified();
    const int id = engine->AddCommand("", 1, kShort, "Вставьте бумагу");
    engine->AddMessage("", 1, kShort, "Без номера");
    Run(20);
    EXPECT_EQ(queries, (std::vector<std::string>{"Вставьте бумагу", "Без номера"}));
    EXPECT_EQ(results, (Results{{id, 0}}));  // the id is answered: nobody waits for ever
    EXPECT_EQ(port->TakeSent(), "");
    EXPECT_TRUE(engine->Queue().empty());
}

TEST_F(Engine, MainThreadStallMovesTheRunningTimers) {
    OpenIdentified();
    engine->AddCommand("A", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("A"));  // reply, poll and ACK timers all run
    clock.Advance(2000);
    log.clear();
    engine->Step();
    EXPECT_EQ(log, (std::vector<std::string>{"коррекция таймера на 2001мс\r\n", "коррекция таймера ожидания на 2001мс\r\n",
                                             "коррекция таймера ожидания ACK на 2001мс\r\n"}));
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateCommandSent);  // no ACK time-out from the stall
}

TEST_F(Engine, RefusalsClampingAndCloseInsideAnEvent) {
    EXPECT_EQ(engine->AddCommand(std::string(1000, 'a'), 1, kShort, ""), -1);
    EXPECT_TRUE(engine->Queue().empty());
    engine->ApplyPriority(9);
    EXPECT_EQ(engine->Priority(), 6);
    engine->ApplyPriority(-2);
    EXPECT_EQ(engine->Priority(), 0);
    port->failOpen = true;
    std::string cause;
    engine->SetComNumber(4);
    EXPECT_EQ(engine->Open(cause), -1);
    EXPECT_EQ(cause, "Ошибка при открытии COM4");
    port->failOpen = false;

    // The host closes the engine from its error event: the step stops there.
    OpenIdentified();
    EXPECT_EQ(engine->AddCommand(std::string(999, 'a'), 1, kShort, ""), 1);
    engine->AddCommand("B", 1, kShort, "");
    engine->OnError = [&](const std::string&) { engine->Close(); };
    ASSERT_EQ(RunUntilSent(), Frame(std::string(999, 'a')));
    Reply(kAck + Status(0x01, 0x02));
    EXPECT_FALSE(engine->PortOpen());
    EXPECT_TRUE(results.empty());  // the flush did not run after Close
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateErrorStatus);
    for (int i = 0; i < 10; ++i) engine->Step();
    EXPECT_EQ(port->TakeSent(), kAck);
    EXPECT_EQ(engine->Queue().size(), 2u);
}


// A close or reopen (the line hung up, the host's Done and Init, the operator's
// Pause) while a command is under way. Once its frame went out and neither its status
// nor a refusal came, the register may have booked it: it ends with -1 and is never
// sent again, and the next command starts clean. A command whose frame never went
// out, or that the register refused, goes out after the reopen.
TEST_F(Engine, ACommandInFlightAtACloseEndsWithMinusOneAndIsNeverSentAgain) {
    const std::string damaged = Status(0x01).replace(22, 1, "a");
    struct Case {
        const char* moment;
        std::uint8_t mode;  // the mode "A" needs; the register is in РАБОТА
        std::function<void()> reach;
        bool reopenOnly;  // Open again without Close, as a second Init does
        bool abandoned;
    } cases[] = {
        {"frame sent", 1, [&] { ASSERT_EQ(RunUntilSent(), Frame("A")); }, false, true},
        {"acknowledged, status awaited", 1, [&] {
             ASSERT_EQ(RunUntilSent(), Frame("A"));
             Reply(kAck);
         }, false, true},
        {"acknowledged, reopened without a close", 1, [&] {
             ASSERT_EQ(RunUntilSent(), Frame("A"));
             Reply(kAck);
         }, true, true},
        {"acknowledgement lost", 1, [&] {
             ASSERT_EQ(RunUntilSent(), Frame("A"));
             Run(1001);
             ASSERT_EQ(engine->State(), TRegFisc2160Protocol::StateAckLost);
         }, false, true},
        {"malformed reply", 1, [&] {
             ASSERT_EQ(RunUntilSent(), Frame("A"));
             port->Feed(kAck + damaged);
             while (engine->State() != TRegFisc2160Protocol::StateMalformed) engine->Step();
         }, false, true},
        {"only the mode switch sent", 2, [&] { ASSERT_EQ(RunUntilSent(), Frame("o273920461")); }, false, false},
        {"refused with NAK", 1, [&] {
             ASSERT_EQ(RunUntilSent(), Frame("A"));
             Reply(kNak);
         }, false, false},
        {"refused as a wrong command", 1, [&] {
             ASSERT_EQ(RunUntilSent(), Frame("A"));
             Reply(kAck + Status(0x01, 0x04));
         }, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.moment);
        Fresh();
        OpenIdentified();
        const int a = engine->AddCommand("A", c.mode, kShort, "");
        const int b = engine->AddCommand("B", 1, kShort, "");
        c.reach();
        EXPECT_EQ(engine->CommandInFlight(), c.abandoned);
        if (!c.reopenOnly) engine->Close();
        Open();
        EXPECT_EQ(results, c.abandoned ? (Results{{a, -1}}) : Results());
        EXPECT_FALSE(engine->CommandInFlight());
        port->TakeSent();
        ASSERT_EQ(RunUntilSent(), Frame("S1"));
        Reply(kAck + Frame(IdentData("2160.01.O")));
        // The mode is unknown after a reopen: the head's mode is switched to first.
        const std::string head = c.abandoned ? "B" : "A";
        const std::uint8_t mode = c.abandoned ? 1 : c.mode;
        EXPECT_EQ(port->TakeSent(), kAck + Frame("o" + std::to_string(mode) + "73920461"));
        Reply(kAck + Status(mode == 1 ? 0x01 : 0x02));
        EXPECT_EQ(port->TakeSent(), kAck + Frame(head));
        Reply(kAck + Status(mode == 1 ? 0x01 : 0x02));
        if (!c.abandoned) {
            if (c.mode != 1) {
                EXPECT_EQ(port->TakeSent(), kAck + Frame(kSwitchTo1));
                Reply(kAck + Status(0x01));
            }
            EXPECT_EQ(port->TakeSent(), kAck + Frame("B"));
            Reply(kAck + Status(0x01));
        }
        EXPECT_EQ(results, c.abandoned ? (Results{{a, -1}, {b, 0}}) : (Results{{a, 0}, {b, 0}}));
    }
}

// The row of the firmware table is the register's answer since the last opening: a
// reopen starts from the default row and asks again.
TEST_F(Engine, AReopenIdentifiesTheFirmwareAgain) {
    OpenIdentified("26.10.0");
    EXPECT_EQ(engine->VersionIndex(), 0);
    engine->Close();
    Open();
    EXPECT_EQ(engine->VersionIndex(), 3);
    EXPECT_TRUE(engine->IdentifyPending());
    const int id = engine->AddCommand("A", 1, kShort, "");
    Run(2990);
    EXPECT_EQ(port->TakeSent(), "");
    ASSERT_EQ(RunUntilSent(), Frame("S1"));
    Reply(kAck + Frame(IdentData("2160.01.02")));
    EXPECT_EQ(engine->VersionIndex(), 1);
    EXPECT_EQ(engine->FirmwareText(), "2160.01.02");
    // The newer row counts one status per exchange.
    EXPECT_EQ(port->TakeSent(), kAck + Frame(kSwitchTo1));
    Reply(kAck + Status(0x01));
    EXPECT_EQ(port->TakeSent(), kAck + Frame("A"));
    Reply(kAck + Status(0x01));
    EXPECT_EQ(results, (Results{{id, 0}}));
}

// While the register stays out of the mode a command needs, the switch goes again at
// every poll interval.
TEST_F(Engine, TheModeSwitchIsSentAgainUntilTheRegisterIsInTheMode) {
    OpenIdentified();
    const int id = engine->AddCommand("R", 2, kShort, "");
    const std::string toX = Frame("o273920461");
    ASSERT_EQ(RunUntilSent(), toX);
    Reply(kAck + Status(0x01));  // effective, and still РАБОТА
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateModeSwitch);
    EXPECT_EQ(port->TakeSent(), kAck);
    Run(2900);
    EXPECT_EQ(port->TakeSent(), "");
    EXPECT_EQ(RunUntilSent(200), toX);
    Reply(kAck + Status(0x02));
    EXPECT_EQ(port->TakeSent(), kAck + Frame("R"));
    Reply(kAck + Status(0x02));
    EXPECT_EQ(results, (Results{{id, 0}}));
    EXPECT_TRUE(errors.empty());
}

// While idle, an error status takes effect at the third effective one since the last
// handling: a register that keeps reporting its lock has the error reported again at
// every third poll, and the count starts afresh after each report.
TEST_F(Engine, AnIdleErrorStatusTakesEffectAtEveryThirdAfterItsHandling) {
    OpenIdentified();  // the settling poll counted one
    std::vector<int> reportedAt;
    for (int poll = 2; poll <= 9; ++poll) {
        ASSERT_EQ(RunUntilSent(), Frame("[")) << poll;
        const std::size_t before = errors.size();
        Reply(kAck + Status(0x01, 0x80, 0x02));
        port->TakeSent();
        if (errors.size() > before) reportedAt.push_back(poll);
    }
    EXPECT_EQ(reportedAt, (std::vector<int>{3, 6, 9}));
    EXPECT_EQ(errors.front(), "Блокировка\r\n -конец бумаги");
    EXPECT_TRUE(engine->Blocked());
    EXPECT_EQ(engine->ErrorStatusCount(), 0);
}

// Data replies: a mode switch answered with data is a malformed reply (reported, the
// command kept and tried again); a command's data reply is acknowledged and the
// command still waits for its status. The status that brings the count to exactly 2
// is the effective one: a further status changes nothing.
TEST_F(Engine, DataRepliesInTheSwitchAndCommandStatesAndTheOneEffectiveStatus) {
    OpenIdentified();
    const int x = engine->AddCommand("R", 2, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("o273920461"));
    Reply(kAck + Frame("D1"));
    EXPECT_EQ(errors, std::vector<std::string>{"Ошибка коммуникации\r\n -ошибка формата ответа на команду"});
    EXPECT_TRUE(results.empty());
    EXPECT_EQ(port->TakeSent(), kAck + Frame("o273920461"));  // the command is started again
    Reply(kAck + Status(0x02));
    EXPECT_EQ(port->TakeSent(), kAck + Frame("R"));
    Reply(Frame("D2"));  // its ACK lost, the data came
    EXPECT_EQ(port->TakeSent(), kAck);
    EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateCommandSent);
    Run(1500);  // the data stopped the acknowledgement timer: no NUL filler
    EXPECT_EQ(port->TakeSent(), "");
    Reply(Status(0x02));
    EXPECT_EQ(results, (Results{{x, 0}}));
    EXPECT_EQ(errors.size(), 1u);
    // A third status after the send: not effective.
    Reply(Status(0x04));
    EXPECT_EQ(engine->StatusCount(), 3);
    EXPECT_EQ(engine->DeviceMode(), 2);
}

// How many statuses complete a command: the report option counts from 1 on every
// firmware, the others from 0 on the oldest firmware ("26.10.0", which reports each
// status twice) and from 1 on the newer ones.
TEST_F(Engine, StatusesThatCompleteACommandByOptionAndFirmware) {
    struct Case {
        const char* version;
        std::int32_t options;
        int statuses;
    } cases[] = {
        {"26.10.0", kShort, 2},
        {"26.10.0", kLong, 2},
        {"26.10.0", TRegFisc2160Protocol::OptReportTimeout, 1},
        {"2160.01.O", kShort, 1},
        {"2160.01.O", TRegFisc2160Protocol::OptReportTimeout, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " options " + std::to_string(c.options));
        Fresh();
        OpenIdentified(c.version);
        const int id = engine->AddCommand("R", 1, c.options, "");
        ASSERT_EQ(RunUntilSent(), Frame("R"));
        Reply(kAck);
        for (int n = 1; n < c.statuses; ++n) {
            Reply(Status(0x01));
            EXPECT_TRUE(results.empty()) << n;
        }
        Reply(Status(0x01));
        EXPECT_EQ(results, (Results{{id, 0}}));
    }
}

// The lock is lifted by the next reply handled while idle, not by the replies of a
// mode switch or a command.
TEST_F(Engine, OnlyAReplyWhileIdleLiftsTheLock) {
    OpenIdentified();
    const int a = engine->AddCommand("A", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("A"));
    Reply(kAck + Status(0x01, 0x80, 0x02));
    EXPECT_EQ(results, (Results{{a, -1}}));
    ASSERT_TRUE(engine->Blocked());
    port->TakeSent();
    const int r = engine->AddCommand("R", 2, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("o273920461"));
    Reply(kAck);
    EXPECT_TRUE(engine->Blocked()) << "mode switch";
    Reply(Status(0x02));
    EXPECT_EQ(port->TakeSent(), kAck + Frame("R"));
    Reply(kAck);
    EXPECT_TRUE(engine->Blocked()) << "command";
    Reply(Status(0x02));
    EXPECT_EQ(results.back(), std::make_pair(r, 0));
    EXPECT_TRUE(engine->Blocked()) << "command done";
    port->TakeSent();
    ASSERT_EQ(RunUntilSent(), Frame("["));
    Reply(kAck);
    EXPECT_FALSE(engine->Blocked());
}

// The register acknowledges a frame before it answers it, so a status ahead of the
// ACK (one it sent of its own accord, or the previous command's second) is not the
// answer: a refusal there must neither fail this command nor a booking pass for the
// next one. Where the ACK never comes it is no answer either (the register may never
// have had the frame): the lost ACK's NUL fillers follow and no result yet.
TEST_F(Engine, AStatusAheadOfTheAckIsNotTheCommandsAnswer) {
    struct Case {
        const char* what;
        std::string early;   // the status ahead of the ACK
        bool ackComes;
        Results results;
    } cases[] = {
        {"a refusal ahead of the ACK, then the OK", Status(0x01, 0x04), true, {{1, 0}}},
        {"an OK ahead of the ACK, then a refusal", Status(0x01), true, {{1, -1}}},
        {"an OK and no ACK at all", Status(0x01), false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        OpenIdentified();
        engine->AddCommand("A", 1, kLong, "");
        ASSERT_EQ(RunUntilSent(), Frame("A"));
        Reply(c.early);
        EXPECT_EQ(port->TakeSent(), kAck);  // acknowledged, and held
        EXPECT_TRUE(results.empty());
        EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateCommandSent);
        if (c.ackComes) {
            Reply(kAck);
            EXPECT_TRUE(Logged("состояние до ACK не ответ на команду"));
            Reply(c.results[0].second == 0 ? Status(0x01) : Status(0x01, 0x08));
        } else {
            Run(1501);  // the ACK wait runs out: the filler goes out
            EXPECT_TRUE(Logged("нет ACK, состояние до него не ответ на команду"));
            EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateAckLost);
            EXPECT_EQ(port->TakeSent(), std::string(1, '\0'));
        }
        EXPECT_EQ(results, c.results);
    }
}

// An ACK that comes after the engine stopped waiting for it (the register was busy)
// shows that the register took the frame: the engine waits for its status and does
// not send it again, in the NUL filler's state and in the quiet second after the
// register's NAK of a filler. The NAKs that answer fillers are no refusal. A NAK of
// the frame itself still has it sent again, whatever ACK follows.
TEST_F(Engine, ALateAckIsTakenInEachQuietStateAndTheFrameNotSentAgain) {
    struct Case {
        const char* what;
        int fillers;    // NULs sent before the ACK
        bool nakFirst;  // the register NAKs the first filler before the ACK comes
    } cases[] = {
        {"while NULs go out", 2, false},
        {"in the quiet second after a filler's NAK", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        OpenIdentified();
        const int id = engine->AddCommand("A", 1, kLong, "");
        ASSERT_EQ(RunUntilSent(), Frame("A"));
        Run(1000 + 500 * c.fillers + 1);
        EXPECT_EQ(port->TakeSent(), std::string(static_cast<std::size_t>(c.fillers), '\0'));
        if (c.nakFirst) {
            Reply(kNak);
            ASSERT_EQ(engine->State(), TRegFisc2160Protocol::StateNak);
        } else {
            ASSERT_EQ(engine->State(), TRegFisc2160Protocol::StateAckLost);
        }
        Reply(kAck);
        EXPECT_TRUE(Logged("ACK после ожидания: команда принята, ждем ответа"));
        EXPECT_EQ(engine->State(), TRegFisc2160Protocol::StateCommandSent);
        EXPECT_EQ(engine->ReplyTimeout(), std::chrono::milliseconds(60000));  // the command's own again
        // The NAKs of the fillers still on their way change nothing.
        Reply(std::string(c.nakFirst ? 0 : 2, '\x15'));
        Run(2000);
        EXPECT_EQ(port->TakeSent(), "");
        Reply(Status(0x01));
        EXPECT_EQ(results, (Results{{id, 0}}));
        EXPECT_EQ(port->TakeSent(), kAck);
    }
    // A NAK of the frame itself: the quiet second, and the frame again.
    Fresh();
    OpenIdentified();
    engine->AddCommand("B", 1, kShort, "");
    ASSERT_EQ(RunUntilSent(), Frame("B"));
    Reply(kNak + kAck);
    EXPECT_TRUE(Logged("<- отброшено <ACK>"));
    EXPECT_EQ(RunUntilSent(1100), Frame("B"));
}

// A Pause as the spooler runs it: Terminate, its wait, Done, Init. Nothing new goes
// out once terminating; the command in flight finishes before the port closes, and a
// reopen asked for meanwhile follows once it has. A status that never comes, or an
// ACK that never comes from a silent register, ends it with -1 and the error of
// silence after its own reply time-out.
TEST_F(Engine, APauseLetsTheCommandInFlightFinishAndSendsNothingNew) {
    enum { kStatusComes, kNoStatus, kNoAck };
    for (const int how : {kStatusComes, kNoStatus, kNoAck}) {
        SCOPED_TRACE(how == kStatusComes ? "its status comes" : how == kNoStatus ? "no status" : "no ACK");
        Fresh();
        OpenIdentified();
        const int a = engine->AddCommand("A", 1, kLong, "");
        const int b = engine->AddCommand("B", 1, kLong, "");
        ASSERT_EQ(RunUntilSent(), Frame("A"));
        if (how != kNoAck) Reply(kAck);
        engine->Terminate();
        Run(2500);  // the spooler's wait: no poll, no command (NUL fillers while the ACK is awaited)
        EXPECT_EQ(port->TakeSent(), how == kNoAck ? std::string(3, '\0') : "");
        engine->CloseAfterCurrent();
        EXPECT_TRUE(engine->PortOpen());
        EXPECT_TRUE(engine->Closing());
        Open();  // Init right after Done: the reopen waits for A
        EXPECT_TRUE(engine->PortOpen());
        if (how == kStatusComes) {
            Reply(Status(0x01));
            EXPECT_EQ(results, (Results{{a, 0}}));
        } else {
            // At the latest the command's own 60 s and its ACK wait after the Done.
            const std::int64_t guard = clock.NowMs() + 61000;
            while (results.empty() && clock.NowMs() < guard) engine->Step();
            EXPECT_EQ(results, (Results{{a, -1}}));
            EXPECT_EQ(errors, std::vector<std::string>{"Ошибка коммуникации\r\n -нет ответа на команду"});
        }
        // Reopened: the identification first, then B.
        EXPECT_FALSE(engine->Closing());
        EXPECT_TRUE(engine->IdentifyPending());
        port->TakeSent();
        ASSERT_EQ(RunUntilSent(), Frame("S1"));
        Reply(kAck + Frame(IdentData("2160.01.O")));
        EXPECT_EQ(port->TakeSent(), kAck + Frame(kSwitchTo1));
        Reply(kAck + Status(0x01));
        EXPECT_EQ(port->TakeSent(), kAck + Frame("B"));
        Reply(kAck + Status(0x01));
        EXPECT_EQ(results.back(), std::make_pair(b, 0));
    }
    // Nothing in flight: Done closes at once, and the queue waits for the next Init.
    Fresh();
    OpenIdentified();
    engine->Terminate();
    const int c = engine->AddCommand("C", 1, kShort, "");
    Run(4000);
    EXPECT_EQ(port->TakeSent(), "");
    engine->CloseAfterCurrent();
    EXPECT_FALSE(engine->PortOpen());
    EXPECT_EQ(engine->Queue().size(), 1u);
    EXPECT_EQ(engine->Queue().front().Id, c);
}

// What the previous session left on the line is not this one's answer: an
// identification that arrives after a reopen and before this session's "S1" is not
// taken, and the queued command waits for the real one.
TEST_F(Engine, AReopenTakesNoIdentificationFromTheSessionBefore) {
    OpenIdentified();
    engine->Close();
    port->Feed(kAck + Frame(IdentData("26.10.0")));  // in the buffer before the reopen
    Open();
    const int id = engine->AddCommand("A", 1, kShort, "");
    Reply(kAck + Frame(IdentData("26.10.0")));  // and on its way after it
    EXPECT_TRUE(Logged("данные не в ответ на S1, не приняты"));
    EXPECT_TRUE(engine->IdentifyPending());
    EXPECT_EQ(engine->VersionIndex(), 3);
    Run(2900);
    EXPECT_EQ(port->TakeSent(), kAck);  // the stray data acknowledged, nothing else
    ASSERT_EQ(RunUntilSent(), Frame("S1"));
    Reply(kAck + Frame(IdentData("2160.01.02")));
    EXPECT_EQ(engine->VersionIndex(), 1);
    EXPECT_EQ(port->TakeSent(), kAck + Frame(kSwitchTo1));
    Reply(kAck + Status(0x01));
    EXPECT_EQ(port->TakeSent(), kAck + Frame("A"));
    Reply(kAck + Status(0x01));
    EXPECT_EQ(results, (Results{{id, 0}}));
}

// Log lines are UTF-8 text: names in the register's code page and the report codes'
// Windows-1251 letters read as written, control bytes (a binary field's, a frame's)
// show by name, and an operator message shows its text.
TEST_F(Engine, LogLinesReadAsText) {
    engine->AddCommand("@" + WinToDos(Utf8ToCp1251("Чек №5 ёж")), 1, kShort, "");
    engine->AddCommand(std::string(")\x00\x05\x00\x00\x03\xE8\x00\x00\x0A\x0D", 11), 1, kShort, "");
    engine->AddCommand(Utf8ToCp1251("IаX"), 2, kShort, "");
    engine->AddMessage("", 0, kShort, "Сейчас будет\r\nвыполнено");
    EXPECT_TRUE(Logged("в очередь @Чек N5 ёж"));
    EXPECT_TRUE(Logged("в очередь )<NUL><ENQ><NUL><NUL><ETX>ш<NUL><NUL><LF><CR>"));
    EXPECT_TRUE(Logged("в очередь IаX"));
    EXPECT_TRUE(Logged("в очередь Сейчас будет<CR><LF>выполнено"));
}

}  // namespace

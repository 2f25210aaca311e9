// Step tests of the ER-350F engine on a fake port and a fake clock: every step
// sleeps on the fake clock, so time moves by the step's pause and by Advance.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "drivers/sorbel/engine/samser350fkeys.h"
#include "drivers/sorbel/engine/samser350fprotocol.h"
#include "platform/serial/fakeport.h"
#include "platform/variant/utf.h"

using namespace tolver;
using namespace std::chrono_literals;

namespace {

using Results = std::vector<std::pair<int, int>>;

constexpr std::uint8_t P = kSamsKeyPosP;

// A text of the log or of a message with its one directive (%d, %x, %.2x, %s) filled.
std::string Fill(std::string format, const std::string& value) {
    static const std::regex directive("%(\\.2x|d|x|s)");
    std::smatch m;
    if (std::regex_search(format, m, directive)) format.replace(static_cast<std::size_t>(m.position(0)), m.length(0), value);
    return format;
}

const std::string kQueued = "в очередь $%.2x\r\n";
const std::string kEcho = "эхо $%.2x\r\n";
const std::string kSilent = "нет связи в КА (счетчик=%d)\r\n";
const std::string kFailure = "ошибка %d\r\n";
const std::string kQueryX = "Переключите ключ на КА в положение X и нажмите кнопку ОК";


class Engine : public ::testing::Test {
protected:
    void SetUp() override {
        auto fake = std::make_unique<TFakePort>();
        port = fake.get();
        port->SetComNumber(3);
        p = std::make_unique<TSamsER350FProtocol>(std::move(fake), clock, false);
        p->OnLog = [&](const std::string& s) { logs.push_back(s); };
        p->OnError = [&](const std::string& s) { errors.push_back(s); };
        p->OnQuery = [&](const std::string& s) {
            queries.push_back(s);
            if (onQuery) onQuery();
        };
        p->OnPrint = [&](int c) { prints.push_back(c); };
        p->SetModel(2);  // a row that reports successes
        p->OnCommandResult = [&](int id, int result) {
            results.emplace_back(id, result);
            if (onResult) onResult(id, result);
        };
        port->onPut = [&](std::uint8_t b) { Answer(b); };
    }

    // The register as the fake port plays it: the key position, the identification,
    // an echo for every key (unless switched off).
    void Answer(std::uint8_t b) {
        if (!answering) return;
        if (b == kSamsQueryKeyPos) {
            if (queryAnswers.empty()) {
                port->Feed(keyPosAnswer);
            } else {
                port->Feed(queryAnswers.front());
                queryAnswers.erase(queryAnswers.begin());
            }
        } else if (b == kSamsIdentify) {
            port->Feed(idAnswer);
        } else if (b == kSamsAcknowledge && acknowledging) {
            acknowledging = false;
        } else if (echo) {
            port->Feed(static_cast<std::uint8_t>(b + 0x80));
        }
    }

    void Open() {
        std::string cause = "x";
        ASSERT_EQ(p->Open(cause), 0);
        EXPECT_EQ(cause, "");
    }
    template <typename Pred>
    bool StepUntil(Pred pred, int maxSteps = 100000) {
        for (int i = 0; i < maxSteps; ++i) {
            if (pred()) return true;
            p->Step();
        }
        return pred();
    }
    void Steps(int n) {
        for (int i = 0; i < n; ++i) p->Step();
    }
    // Open, let the link come up and the identification be read; then forget the
    // traffic so far.
    void Connect() {
        Open();
        ASSERT_TRUE(StepUntil([&] { return p->Connected() && !p->IdPending(); }));
        Forget();
    }
    void Forget() {
        logs.clear();
        port->TakeSent();
        prints.clear();
    }
    // The log lines without their time stamps, which must read "hh:mm:ss.zzz ".
    std::vector<std::string> Lines() {
        static const std::regex stamp(R"(^\d\d:\d\d:\d\d\.\d\d\d $)");
        std::vector<std::string> out;
        for (const std::string& l : logs) {
            EXPECT_TRUE(std::regex_match(l.substr(0, 13), stamp)) << l;
            out.push_back(l.substr(13));
        }
        return out;
    }
    bool Logged(const std::string& line) {
        for (const std::string& l : Lines())
            if (l == line) return true;
        return false;
    }

    TFakeClock clock;
    TFakePort* port = nullptr;
    std::unique_ptr<TSamsER350FProtocol> p;
    std::vector<std::string> logs, errors, queries;
    std::vector<int> prints;
    Results results;
    std::function<void()> onQuery;
    std::function<void(int, int)> onResult;

    bool answering = true;
    bool echo = true;
    bool acknowledging = false;
    std::uint8_t keyPosAnswer = 0x20;
    std::vector<std::string> queryAnswers;  // answers to the next queries, before keyPosAnswer
    std::string idAnswer = "1000F053RE";
};

TEST_F(Engine, KindsSetTheWaitsAndChecks) {
    p->SetWaitCheckOutPrint(450ms);
    p->SetWaitCheckOutLongPrint(2100ms);
    const struct {
        int kind;
        std::chrono::milliseconds wait;
        bool noEcho, noKeyCheck, errorIsKey, readAll;
    } kinds[] = {
        {0, 0ms, false, false, false, false},    {1, 450ms, false, false, false, false},
        {2, 0ms, true, false, false, false},     {3, 0ms, true, true, false, false},
        {4, 2100ms, false, false, false, false}, {5, 450ms, false, false, false, false},
        {6, 0ms, false, false, true, false},     {7, 450ms, false, false, false, false},
        {8, 450ms, false, false, false, true},   {9, 450ms, false, false, false, true},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.kind);
        p->SetKind(k.kind);
        EXPECT_EQ(p->DoneWait(), k.wait);
        EXPECT_EQ(p->NoEcho(), k.noEcho);
        EXPECT_EQ(p->NoKeyCheck(), k.noKeyCheck);
        EXPECT_EQ(p->ErrorIsKeyAnswer(), k.errorIsKey);
        EXPECT_EQ(p->ReadAll(), k.readAll);
        // Any other kind leaves the settings as they are.
        for (const int other : {10, -1, 255}) {
            p->SetKind(other);
            EXPECT_EQ(p->DoneWait(), k.wait);
            EXPECT_EQ(p->ReadAll(), k.readAll);
        }
    }
}

TEST_F(Engine, QueueingLogsTheCodeAndNumbersTheIds) {
    p->Enqueue(0x11, P, kSamsKindShort, "", 1);
    p->EnqueueKey(0xC5, P, kSamsKindRaw);
    p->Enqueue(-1, P, kSamsKindShort, kQueryX, 0);
    EXPECT_EQ(p->EnqueueWithId(7, P, "", kSamsKindStart), 1);
    EXPECT_EQ(p->EnqueueWithId(99, P, "", kSamsKindSale), 2);
    std::vector<std::string> expected;
    for (const char* code : {"11", "C5", "07", "63"}) expected.push_back(Fill(kQueued, code));
    expected.insert(expected.begin() + 2, "в очередь " + kQueryX + "\r\n");  // the query by its text
    EXPECT_EQ(Lines(), expected);
    ASSERT_EQ(p->Queue().size(), 5u);
    EXPECT_EQ(p->Queue()[0].Flags, 1);
    EXPECT_EQ(p->Queue()[1].Flags, 0);
    EXPECT_EQ(p->Queue()[2].ID, 0);
    EXPECT_EQ(p->Queue()[4].ID, 2);
    EXPECT_EQ(p->Queue()[4].Kind, 8);
}

TEST_F(Engine, APortThatCannotBeOpenedGivesTheCause) {
    port->failOpen = true;
    std::string cause;
    EXPECT_EQ(p->Open(cause), -1);
    EXPECT_EQ(cause, Fill("Ошибка при открытии COM%d", "3"));
    EXPECT_FALSE(p->PortOpen());
    EXPECT_FALSE(p->Running());
    Steps(5000);
    EXPECT_EQ(port->sent, "");  // no step runs on a closed port

    port->failOpen = false;
    Open();
    EXPECT_TRUE(p->PortOpen());
    port->failOpen = true;  // a reopen that fails leaves the engine closed
    EXPECT_EQ(p->Open(cause), -1);
    EXPECT_FALSE(p->PortOpen());
    Steps(5000);
    EXPECT_EQ(port->sent, "");
}

TEST_F(Engine, TheLinkComesUpThenTheIdentificationIsReadOnce) {
    const int id = p->EnqueueWithId(7, P, "", kSamsKindShort);
    Open();
    Steps(1799);
    EXPECT_EQ(port->sent, "");  // the first poll goes out a poll interval after Open
    p->Step();
    EXPECT_EQ(port->TakeSent(), "\x02");
    EXPECT_TRUE(Logged(Fill(kSilent, "1")));
    EXPECT_FALSE(p->Connected());
    Steps(1800);  // the answer is there at the next poll
    EXPECT_TRUE(p->Connected());
    EXPECT_EQ(port->TakeSent(), "\x02");
    p->Step();
    EXPECT_EQ(port->TakeSent(), "\x08");
    EXPECT_TRUE(p->IdRequested());
    // Ten steps take the ten characters, then 300 quiet steps end the reading; no key
    // goes out meanwhile, and the identification shows only once it is whole.
    Steps(5);
    EXPECT_EQ(p->ID(), "");
    Steps(5 + 300);
    EXPECT_TRUE(p->IdRequested());
    EXPECT_EQ(p->ID(), "");
    EXPECT_EQ(port->sent, "");
    p->Step();
    EXPECT_FALSE(p->IdPending());
    EXPECT_EQ(p->ID(), "ER350F0001");
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
    EXPECT_EQ(port->TakeSent(), "\x02\x07");
    EXPECT_EQ(results, (Results{{id, 0}}));
    Steps(20000);
    EXPECT_EQ(port->TakeSent().find('\x08'), std::string::npos);  // once per Open
}

TEST_F(Engine, TheIdentificationKeepsTheLastTenCharactersReversed) {
    const struct {
        std::string sent, id;
    } cases[] = {
        {"1000F053RE", "ER350F0001"},
        {"ABC1000F053RE", "ER350F0001"},
        {"\x82\x80"
         "21",
         "12АВ"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        idAnswer = c.sent;
        Connect();
        EXPECT_EQ(p->ID(), c.id);
        p->Close();
    }
}

TEST_F(Engine, ThreeSilentPollsLoseTheLinkAndQueuedCommandsWaitForIt) {
    Connect();
    answering = false;
    const auto poll = [&] {
        const std::size_t n = port->sent.size();
        StepUntil([&] { return port->sent.size() > n; });
    };
    for (int i = 0; i < 3; ++i) poll();
    EXPECT_FALSE(p->Connected());
    EXPECT_EQ(Lines(), (std::vector<std::string>{Fill(kSilent, "1"), "-> $02\r\n", Fill(kSilent, "2"), "-> $02\r\n",
                                                 Fill(kSilent, "3"), "нет связи в КА (счетчик переполнен)\r\n", "-> $02\r\n"}));
    logs.clear();
    poll();
    EXPECT_EQ(Lines()[0], Fill(kSilent, "1"));  // counting starts again

    const int id = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
    for (int i = 0; i < 3; ++i) poll();
    EXPECT_EQ(port->TakeSent(), std::string(7, '\x02'));  // only polls while the link is down
    answering = true;
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, (Results{{id, 0}}));
    EXPECT_EQ(port->TakeSent(), std::string("\x02\x02\x02\x11", 4));
}

TEST_F(Engine, AKeyCompletesByTheModelAndItsKind) {
    const struct {
        int model, kind;
        bool result;
        int wait;  // ms of silence after the echo before the key is done
    } cases[] = {
        {0, 0, false, 0},   {0, 8, false, 400}, {1, 0, true, 0},   {1, 1, true, 400}, {1, 4, true, 2000},
        {2, 1, true, 0},    {2, 4, true, 0},    {2, 8, true, 400}, {3, 9, true, 400}, {3, 6, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << " kind " << c.kind);
        ASSERT_TRUE(p->SetModel(c.model));
        Connect();
        results.clear();
        std::int64_t echoAt = -1;
        p->OnLog = [&](const std::string& s) {
            if (s.find("<- " + Fill(kEcho, "11")) != std::string::npos) echoAt = clock.NowMs();
        };
        const int id = p->EnqueueWithId(0x11, P, "", static_cast<std::uint8_t>(c.kind));
        ASSERT_TRUE(StepUntil([&] { return echoAt >= 0 && p->State() == TSamsER350FProtocol::StateIdle; }));
        const std::int64_t done = clock.NowMs() - echoAt;
        EXPECT_GE(done, c.wait);
        EXPECT_LE(done, c.wait + (c.model == 0 ? 20 : 1));
        EXPECT_EQ(results, (c.result ? Results{{id, 0}} : Results{}));
        p->OnLog = [&](const std::string& s) { logs.push_back(s); };
        p->Close();
    }
}

TEST_F(Engine, KeyPositionIsQueriedByTheKeyCheckMode) {
    ASSERT_TRUE(p->SetModel(2));
    for (const int mode : {0, 1, 7}) {
        SCOPED_TRACE(mode);
        p->SetKeyCheckMode(static_cast<std::uint8_t>(mode));
        Connect();
        results.clear();
        p->Enqueue(7, P, kSamsKindStart, "", TSamsER350FProtocol::kFirstKey);
        p->EnqueueKey(0x12, P, kSamsKindShort);
        p->EnqueueKey(0x41, P, kSamsKindRaw);
        const int id = p->EnqueueWithId(0x13, P, "", kSamsKindShort);
        ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
        EXPECT_EQ(results, (Results{{id, 0}}));
        EXPECT_EQ(port->TakeSent(), mode == 1 ? "\x02\x07\x12\x41\x13" : "\x02\x07\x02\x12\x41\x02\x13");
        p->Close();
    }
}

TEST_F(Engine, EchoesAndWhatComesInstead) {
    ASSERT_TRUE(p->SetModel(2));
    Connect();
    echo = false;
    // A byte 0 is the echo of any key.
    const int first = p->EnqueueWithId(0x21, P, "", kSamsKindShort);
    ASSERT_TRUE(StepUntil([&] { return p->State() == TSamsER350FProtocol::StateEcho; }));
    port->Feed(0);
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }, 10));
    EXPECT_EQ(results, (Results{{first, 0}}));
    EXPECT_TRUE(Logged("<- " + Fill(kEcho, "21")));

    // Other bytes are print copy and start the echo time-out again.
    const int second = p->EnqueueWithId(0x22, P, "", kSamsKindShort);
    ASSERT_TRUE(StepUntil([&] { return p->State() == TSamsER350FProtocol::StateEcho; }));
    clock.Advance(1000);
    port->Feed("\x80\xE3");  // an error byte while the echo is awaited is print copy too
    Steps(2);
    EXPECT_EQ(prints, (std::vector<int>{0xC0, ' '}));
    clock.Advance(1190);
    p->Step();
    EXPECT_EQ(p->State(), TSamsER350FProtocol::StateEcho);
    port->Feed(0x22 + 0x80);
    ASSERT_TRUE(StepUntil([&] { return results.size() == 2; }, 10));
    EXPECT_EQ(results[1], std::make_pair(second, 0));
    EXPECT_TRUE(errors.empty());
}

TEST_F(Engine, NoEchoFailsEveryQueuedCommand) {
    Connect();
    echo = false;
    const int a = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
    p->EnqueueKey(0x12, P, kSamsKindShort);
    const int b = p->EnqueueWithId(0x13, P, "", kSamsKindSale);
    ASSERT_TRUE(StepUntil([&] { return p->State() == TSamsER350FProtocol::StateEcho; }));
    const std::int64_t sent = clock.NowMs();
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
    EXPECT_GE(clock.NowMs() - sent, 1200);
    EXPECT_EQ(results, (Results{{a, -1}, {b, -1}}));
    EXPECT_TRUE(p->Queue().empty());
    EXPECT_EQ(p->ErrorDetail(), Fill("Эхо = не получено на символ $%x", "11"));
    EXPECT_EQ(errors, std::vector<std::string>{Fill("Ошибка коммуникации 255: (%s)\r\nВозможные причины:\r\n -неверная версия прошивки кассового аппарата;\r\n -обрыв кабеля;\r\n -неисправность кассового аппарата", p->ErrorDetail())});
    EXPECT_TRUE(Logged(Fill(kFailure, "255")));
}

TEST_F(Engine, AWrongKeyPositionRepeatsUntilTheKeyIsTurned) {
    Connect();
    keyPosAnswer = 0x40;  // X
    const int id = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
    ASSERT_TRUE(StepUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(prints, (std::vector<int>{'@'}));  // the wrong answer reads as print copy
    const std::string expected = std::string("Сбой коммуникации 252: (%s)\r\nВозможные причины:\r\n -неверное положение ключа /должно быть ") + "P" + "/;" + "\r\n" + " -обрыв кабеля;" +
                                 "\r\n" + " -кассовый аппарат выключен или неисправен";
    EXPECT_EQ(errors[0], Fill(expected, Fill("Ключ = %s", "X")));
    EXPECT_TRUE(Logged(Fill(kFailure, "252")));
    EXPECT_EQ(p->Queue().size(), 1u);
    ASSERT_TRUE(StepUntil([&] { return errors.size() == 2; }));  // asked again, fails again
    EXPECT_EQ(port->TakeSent(), "\x02\x02");
    keyPosAnswer = 0x20;
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, (Results{{id, 0}}));
    EXPECT_EQ(port->TakeSent(), "\x02\x11");
}

TEST_F(Engine, ARegisterThatStopsAnsweringHasItsKeyUndetermined) {
    Connect();  // the key was read as P while connecting
    answering = false;  // unplugged
    const int id = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
    ASSERT_TRUE(StepUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(p->ErrorDetail(), "Ключ = не определен");
    // Silent three times, it is no longer connected: the command waits, no more boxes.
    ASSERT_TRUE(StepUntil([&] { return !p->Connected(); }));
    Steps(5000);
    EXPECT_EQ(errors.size(), 3u);
    EXPECT_TRUE(results.empty());
    // The register answers again: the command runs.
    answering = true;
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, (Results{{id, 0}}));
}

TEST_F(Engine, DeviceErrorsAreAcknowledgedAndFlushByTheirClass) {
    const struct {
        std::uint8_t byte;
        const char* text;
        bool flushes;
    } cases[] = {
        {0xE0, "Ошибка E0\r\nПереполнение памяти", true},  {0xE1, "Ошибка E1\r\nОшибка ввода команды", false}, {0xE3, "Ошибка E3\r\nПереполнение фискальной памяти", true},
        {0xE4, "Ошибка E4\r\nПредупреждение о переполнении фискальной памяти", false}, {0xE5, "Ошибка E5\r\nОшибка записи в фискальную память", false}, {0xE6, "Ошибка E6\r\nОшибка фискальной памяти", true},
        {0xE7, "Ошибка E7\r\nОшибка отображающего устройства", false}, {0xE8, "Ошибка E8\r\nДатчик бумаги\r\nНеобходимо заменить или заправить бумагу", false}, {0xE9, "Ошибка E9\r\nОшибка печатающего устройства", false},
    };
    ASSERT_TRUE(p->SetModel(2));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Connect();
        results.clear();
        errors.clear();
        queryAnswers = {std::string(1, static_cast<char>(c.byte))};
        acknowledging = true;
        const int a = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
        const int b = p->EnqueueWithId(0x12, P, "", kSamsKindShort);
        ASSERT_TRUE(StepUntil([&] { return results.size() == 2; }));
        EXPECT_EQ(errors, std::vector<std::string>{c.text});
        EXPECT_TRUE(Logged(Fill(kFailure, "200")));
        EXPECT_TRUE(Logged("-> $07\r\n"));
        if (c.flushes) {
            EXPECT_EQ(results, (Results{{a, -1}, {b, -1}}));
            EXPECT_EQ(port->TakeSent(), "\x02\x07");
        } else {
            EXPECT_EQ(results, (Results{{a, 0}, {b, 0}}));  // the key is tried again
            EXPECT_EQ(port->TakeSent(), "\x02\x07\x02\x11\x02\x12");
        }
        p->Close();
    }
}

TEST_F(Engine, ErrorBytesAsKeyAnswersAndWhileIdle) {
    ASSERT_TRUE(p->SetModel(2));
    Connect();
    // Kind 6 takes an error byte as the right key position; E2 is no error byte.
    queryAnswers = {"\xE1", "\xE2\x20"};
    const int a = p->EnqueueWithId(7, P, "", kSamsKindStart);
    const int b = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
    ASSERT_TRUE(StepUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (Results{{a, 0}, {b, 0}}));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(prints, (std::vector<int>{' '}));  // E2 was print copy

    // An error byte at a poll.
    Steps(2000);
    port->Feed(0xE8);
    ASSERT_TRUE(StepUntil([&] { return !errors.empty(); }));
    EXPECT_EQ(errors, std::vector<std::string>{"Ошибка E8\r\nДатчик бумаги\r\nНеобходимо заменить или заправить бумагу"});
}

TEST_F(Engine, OperatorQueriesWaitForTheLinkAndSendNothing) {
    p->Enqueue(-1, P, kSamsKindShort, kQueryX, 0);
    Open();
    Steps(3000);
    EXPECT_TRUE(queries.empty());  // not before the link is up
    int keyId = 0;
    onQuery = [&] {
        EXPECT_EQ(p->Queue().size(), 1u);  // the queue waits while the handler runs
        keyId = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
    };
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
    EXPECT_EQ(queries, std::vector<std::string>{kQueryX});
    EXPECT_EQ(results, (Results{{keyId, 0}}));
    EXPECT_EQ(port->sent.find('\xFF'), std::string::npos);
}

TEST_F(Engine, ThePrintCopyComesInTheWindowsCodePage) {
    ASSERT_TRUE(p->SetModel(1));
    Connect();
    const int id = p->EnqueueWithId(0x11, P, "", kSamsKindPrint);
    ASSERT_TRUE(StepUntil([&] { return p->State() == TSamsER350FProtocol::StateDone; }));
    port->Feed("\x80\xBF\xC0\x41\x0A\xC6");
    ASSERT_TRUE(StepUntil([&] { return !results.empty(); }));
    EXPECT_EQ(prints, (std::vector<int>{0xC0, 0xFF, 0xA8, 'A', '\n', ' '}));
    EXPECT_EQ(results, (Results{{id, 0}}));
    for (const char* line : {"<- А\r\n", "<- я\r\n", "<- Ё\r\n", "<- A\r\n", "<- \n\r\n", "<-  \r\n"})
        EXPECT_TRUE(Logged(line)) << line;
}

TEST_F(Engine, ReopeningStartsTheStepsAfreshAndNeverSendsAKeyAgain) {
    Connect();
    echo = false;
    // Two operations; the first key of the first goes out and its echo is awaited.
    p->Enqueue(0x12, P, kSamsKindShort, "", TSamsER350FProtocol::kFirstKey);
    p->EnqueueKey(0x11, P, kSamsKindShort);
    const int interrupted = p->EnqueueWithId(0x13, P, "", kSamsKindShort);
    p->Enqueue(0x14, P, kSamsKindShort, "", TSamsER350FProtocol::kFirstKey);
    const int next = p->EnqueueWithId(0x15, P, "", kSamsKindShort);
    ASSERT_TRUE(StepUntil([&] { return p->State() == TSamsER350FProtocol::StateEcho; }));
    p->Close();
    Steps(100);
    EXPECT_EQ(port->TakeSent(), "\x02\x12");  // nothing after Close
    // The interrupted operation fails at once; the next one stays, after a start key
    // that clears what the register has keyed.
    EXPECT_EQ(results, (Results{{interrupted, -1}}));
    ASSERT_EQ(p->Queue().size(), 3u);
    EXPECT_EQ(p->Queue()[0].Code, kSamsKeyStart);
    clock.Advance(5000);  // long past the echo time-out

    echo = true;
    Open();
    EXPECT_EQ(p->State(), TSamsER350FProtocol::StateIdle);
    EXPECT_TRUE(p->IdPending());
    EXPECT_FALSE(p->Connected());
    EXPECT_EQ(p->ID(), "");
    Steps(1799);
    EXPECT_TRUE(errors.empty());  // no stale time-out
    EXPECT_EQ(port->sent, "");
    ASSERT_TRUE(StepUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results.back(), std::make_pair(next, 0));
    EXPECT_EQ(p->ID(), "ER350F0001");
    const std::string keys = port->TakeSent();
    EXPECT_NE(keys.find("\x02\x07\x02\x14\x02\x15"), std::string::npos);
    EXPECT_EQ(keys.find('\x12'), std::string::npos);

    // A key that the register took completes when the line closes, once.
    ASSERT_TRUE(p->SetModel(1));
    const int waiting = p->EnqueueWithId(0x12, P, "", kSamsKindPrint);
    ASSERT_TRUE(StepUntil([&] { return p->State() == TSamsER350FProtocol::StateDone; }));
    p->Close();
    EXPECT_EQ(results.back(), std::make_pair(waiting, 0));
    Connect();
    Steps(3000);
    EXPECT_EQ(results.size(), 3u);
}

TEST_F(Engine, AFlushDetachesTheQueueBeforeItsResults) {
    Connect();
    echo = false;
    const int a = p->EnqueueWithId(0x11, P, "", kSamsKindShort);
    const int b = p->EnqueueWithId(0x12, P, "", kSamsKindShort);
    int added = 0;
    onResult = [&](int id, int) {
        if (id == a) added = p->EnqueueWithId(0x13, P, "", kSamsKindShort);  // a handler that queues again
    };
    ASSERT_TRUE(StepUntil([&] { return results.size() == 2; }));
    EXPECT_EQ(results, (Results{{a, -1}, {b, -1}}));
    ASSERT_EQ(p->Queue().size(), 1u);
    EXPECT_EQ(p->Queue()[0].ID, added);
    onResult = nullptr;
    echo = true;
    ASSERT_TRUE(StepUntil([&] { return results.size() == 3; }));
    EXPECT_EQ(results[2], std::make_pair(added, 0));
}

TEST_F(Engine, SettingsOutOfRangeAreRefused) {
    EXPECT_EQ(p->Model(), 2);
    for (int m = 0; m <= 3; ++m) EXPECT_TRUE(p->SetModel(m));
    for (const int bad : {4, -1, 255, 256}) {
        EXPECT_FALSE(p->SetModel(bad));
        EXPECT_EQ(p->Model(), 3);
    }
    for (int prio = 0; prio <= 6; ++prio) EXPECT_TRUE(p->ApplyPriority(prio));
    for (const int bad : {7, -1, 255}) {
        EXPECT_FALSE(p->ApplyPriority(bad));
        EXPECT_EQ(p->Priority(), 6);
    }
    p->SetWaitCheckOutPrint(-5ms);
    EXPECT_EQ(p->WaitCheckOutPrint(), 0ms);
}

// A fake clock that passes for real time, as the system clock does.
class TRealFakeClock : public TFakeClock {
public:
    bool RealTime() const override { return true; }
};

TEST(EngineIdle, APolledLineWaitsForItsPollAndOnlyOnARealClock) {
    TRealFakeClock clock;
    auto owned = std::make_unique<TFakePort>();
    TFakePort& port = *owned;
    TSamsER350FProtocol p(std::move(owned), clock, false);
    EXPECT_EQ(p.WorkWait().longest, 0ms);  // closed
    std::string cause;
    ASSERT_EQ(p.Open(cause), 0);
    EXPECT_EQ(p.WorkWait().longest, 1000ms);  // 1799 ms to the first poll, at most 1000 at a time
    clock.Advance(1500);
    EXPECT_EQ(p.WorkWait().longest, 299ms);
    p.EnqueueKey(0x11, P, kSamsKindShort);
    EXPECT_EQ(p.WorkWait().longest, 299ms);  // not connected: the key waits for the link anyway
    clock.Advance(299);
    EXPECT_EQ(p.WorkWait().longest, 0ms);
    port.onPut = [&](std::uint8_t b) {
        if (b == kSamsQueryKeyPos) port.Feed(0x20);
    };
    for (int i = 0; i < 2000 && !p.Connected(); ++i) p.Step();
    ASSERT_TRUE(p.Connected());
    EXPECT_EQ(p.WorkWait().longest, 0ms);  // the identification counts steps
    TFakeClock virtualTime;
    TSamsER350FProtocol q(std::make_unique<TFakePort>(), virtualTime, false);
    ASSERT_EQ(q.Open(cause), 0);
    EXPECT_EQ(q.WorkWait().longest, 0ms);  // on virtual time every step is taken
}

TEST(EngineIdle, AKeyWaitsForTheRegistersBytesOrItsTimeOut) {
    TRealFakeClock clock;
    auto owned = std::make_unique<TFakePort>();
    TFakePort& port = *owned;
    TSamsER350FProtocol p(std::move(owned), clock, false);
    ASSERT_TRUE(p.SetModel(1));  // the completion waits for the print to end
    p.SetWaitCheckOutPrint(400ms);
    bool answering = true;
    port.onPut = [&](std::uint8_t b) {
        if (answering && b == kSamsQueryKeyPos) port.Feed(0x20);
        if (answering && b == kSamsIdentify) port.Feed("1000F053RE");
    };
    std::string cause;
    ASSERT_EQ(p.Open(cause), 0);
    for (int i = 0; i < 5000 && !(p.Connected() && !p.IdPending()); ++i) p.Step();
    ASSERT_TRUE(p.Connected() && !p.IdPending());
    answering = false;
    p.EnqueueWithId(0x11, P, "", kSamsKindPrint);
    EXPECT_EQ(p.WorkWait().longest, 0ms);  // a key to send

    // Each wait ends with the register's byte or at the time-out, less the pause the
    // step takes first; a waiting byte, or a state that acts at once, waits for nothing.
    const struct {
        std::uint8_t state;
        std::chrono::milliseconds longest;
        int answer;  // the register's byte, -1 none
    } stages[] = {
        {TSamsER350FProtocol::StateKeyPos, 1799ms, 0x20},
        {TSamsER350FProtocol::StateSend, 0ms, -1},
        {TSamsER350FProtocol::StateEcho, 1199ms, 0x91},
        {TSamsER350FProtocol::StateDone, 399ms, 'a'},  // a print-copy byte restarts the wait
        {TSamsER350FProtocol::StateDone, 399ms, -1},
    };
    for (const auto& stage : stages) {
        SCOPED_TRACE(static_cast<int>(stage.state));
        p.Step();
        ASSERT_EQ(p.State(), stage.state);
        const TSerialEngine::TWorkWait wait = p.WorkWait();
        EXPECT_EQ(wait.longest, stage.longest);
        EXPECT_EQ(wait.input, stage.longest > 0ms);
        EXPECT_EQ(wait.pause, TSamsER350FProtocol::kStepPause);  // each of these steps begins with it
        if (stage.answer < 0) continue;
        port.Feed(static_cast<std::uint8_t>(stage.answer));
        EXPECT_EQ(p.WorkWait().longest, 0ms);
    }
    clock.Advance(398);
    EXPECT_EQ(p.WorkWait().longest, 1ms);
    clock.Advance(1);
    EXPECT_EQ(p.WorkWait().longest, 0ms);  // the print has ended
}

TEST_F(Engine, EventTextsAreCutTo255Characters) {
    std::string longText;
    for (int i = 0; i < 300; ++i) longText += "Ж";
    p->Enqueue(-1, P, kSamsKindShort, longText, 0);
    Connect();
    Steps(2);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(Utf8Length(queries[0]), 255u);
}

}  // namespace

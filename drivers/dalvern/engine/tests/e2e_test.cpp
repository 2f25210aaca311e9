// The "РФ 2160" engine end to end against the register simulator
// (drivers/engine/testing/engine_on_sim.h: its real port on a pseudo-terminal, its
// pump thread, the lockstep clock), so each run sees the same bytes at the same times.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "drivers/dalvern/engine/regfisc2160protocol.h"
#include "drivers/dalvern/settings/regfisc2160gl.h"
#include "drivers/engine/testing/engine_on_sim.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/run_until.h"
#include "sim/rf2160/rf2160sim.h"

using namespace tolver;

namespace {

constexpr int kCom = 5;
constexpr std::int32_t kShort = TRegFisc2160Protocol::OptShortTimeout;
constexpr std::int32_t kLong = TRegFisc2160Protocol::OptLongTimeout;

// Commands the register reads: a sale of article 5 at its programmed price, the
// daily X report, and a printed line of text.
const std::string kSaleAtItsPrice = std::string(" \x00\x05", 3) + std::string("\0\0\0\0\0\0\x03\xE8", 8);
const std::string kDailyX = "I\xE0X";
std::string Line(const std::string& text) {
    std::string s = "@" + text;
    s.resize(25, ' ');
    return s;
}

// The engine on the simulator (COM5), and the results it reported by id.
class Bench : public testutil::TEngineOnSim<TRegFisc2160Protocol, TRf2160Sim> {
public:
    Bench() : TEngineOnSim(kCom) {
        engine->OnCommandResult = [&](int id, int r) { results[id].push_back(r); };
    }
    ~Bench() { engine.reset(); }
    // Runs until every id has its result.
    bool RunUntilAnswered(const std::vector<int>& ids, int guardMs = 120000) {
        return testutil::RunUntil(
            [&] {
                for (const int id : ids)
                    if (!results.count(id)) return false;
                return true;
            },
            guardMs);
    }
    int Count(const std::string& text) const {
        int n = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    std::map<int, std::vector<int>> results;
};

class EndToEnd : public RegistryTest {};

TEST_F(EndToEnd, AReceiptInTwoModesOnEachFirmware) {
    for (const char* version : {"26.10.0", "2160.01.02", "2160.01.03", "2160.01.O"}) {
        Bench b;
        b.sim.SetVersion(version);
        b.sim.Books().SetArticle(5, {1, 1, 1200, "Хлеб", false});
        const int sale = b.engine->AddCommand(kSaleAtItsPrice, 1, kLong, "");
        const int pay = b.engine->AddCommand("0", 1, kShort, "");
        const int report = b.engine->AddCommand(kDailyX, 2, TRegFisc2160Protocol::OptReportTimeout, "");
        b.Open();
        ASSERT_TRUE(b.RunUntilAnswered({sale, pay, report})) << version;
        EXPECT_EQ(b.results, (std::map<int, std::vector<int>>{{sale, {0}}, {pay, {0}}, {report, {0}}})) << version;
        EXPECT_EQ(b.engine->FirmwareText().substr(0, 7), std::string(version).substr(0, 7));
        EXPECT_NE(b.engine->FirmwareText().substr(0, 5), "неиз");
        EXPECT_EQ(RegFisc2160Version(b.engine->VersionIndex())->VersionName, version);
        // Each text once, in its mode; the register went to X for the report.
        ASSERT_EQ(b.sim.Executed().size(), 5u) << version;
        EXPECT_EQ(b.sim.Executed()[0].text, "o173920461");
        EXPECT_EQ(b.sim.Executed()[1].text, kSaleAtItsPrice);
        EXPECT_EQ(b.sim.Executed()[2].text, "0");
        EXPECT_EQ(b.sim.Executed()[3].text, "o273920461");
        EXPECT_EQ(b.sim.Executed()[4].text, kDailyX);
        EXPECT_EQ(b.sim.Executed()[4].mode, 2);
        EXPECT_EQ(b.sim.Journal(), (std::vector<std::string>{"sale art 5 qty 1.000 price 12.00 sum 12.00", "drawer",
                                                             "report X daily"}))
            << version;
        EXPECT_TRUE(b.errors.empty()) << version;
        EXPECT_EQ(b.sim.BadFrames(), 0);
        EXPECT_EQ(b.engine->InInteraction(), 1);
    }
}

// One fault on the first text after the mode switch (command frame 2): its result,
// how often the register executed it (and booked it), and whether an error was
// reported.
TEST_F(EndToEnd, EachFaultEndsInOneResult) {
    struct Case {
        const char* script;
        int result;
        int executed;  // the register's count for line A
        bool error;
    } cases[] = {
        {"cmd 2 nak", 0, 1, false},
        {"cmd 2 nak 3", 0, 1, false},
        {"cmd 2 no-ack", 0, 1, false},         // NULs until the register NAKs, then sent again
        {"cmd 2 silent 4000", 0, 1, false},    // the same, once the register is back
        {"cmd 2 late-ack 400", 0, 1, false},
        {"cmd 2 bad-sum", 0, 1, false},       // the receiver does not check sums
        {"cmd 2 garbage 41 42", 0, 1, false},  // noise before the reply frame is dropped
        {"cmd 2 garbage 41 15", 0, 2, false},  // but a stray NAK reads as a refusal: sent again
        {"cmd 2 split 200", 0, 1, false},
        {"cmd 2 ack-in-frame", 0, 1, false},  // 0x06 and 0x15 inside the status are data
        {"cmd 2 error 04", 0, 1, false},      // wrong command: re-identified and sent again
        {"cmd 2 ack-only", -1, 1, true},      // no status: failed, though the register did it
        {"cmd 2 error 20 01", -1, 0, true},   // mode error: the queue is flushed
        {"cmd 2 unrecognised", 0, 2, true},   // a malformed reply makes the text go again
        {"cmd 2 damaged", 0, 2, true},
        {"cmd 2 late-ack 1500", 0, 1, false},  // the ACK came after the engine gave up on it: not sent again
    };
    for (const Case& c : cases) {
        Bench b;
        b.sim.AddFaults(ParseRf2160Faults(c.script));
        const int id = b.engine->AddCommand(Line("A"), 1, kShort, "");
        const int next = b.engine->AddCommand(Line("B"), 1, kShort, "");
        b.Open();
        ASSERT_TRUE(b.RunUntilAnswered({id, next})) << c.script;
        EXPECT_EQ(b.results[id], std::vector<int>{c.result}) << c.script;
        EXPECT_EQ(b.sim.ExecutedCount(Line("A")), c.executed) << c.script;
        EXPECT_EQ(std::count(b.sim.Journal().begin(), b.sim.Journal().end(), "text A"), c.executed) << c.script;
        EXPECT_EQ(!b.errors.empty(), c.error) << c.script;
        // The engine goes on: the next command, and a clean one afterwards.
        const int clean = b.engine->AddCommand(Line("C"), 1, kShort, "");
        ASSERT_TRUE(b.RunUntilAnswered({clean})) << c.script;
        EXPECT_EQ(b.results[clean], std::vector<int>{0}) << c.script;
        EXPECT_EQ(b.sim.ExecutedCount(Line("C")), 1) << c.script;
        EXPECT_EQ(b.sim.Journal().back(), "text C") << c.script;
    }
}

// The host closes the engine from its error event, with the pump thread running: the
// call returns, and nothing more happens on the line; a reopen carries on with the
// commands that stayed queued.
TEST_F(EndToEnd, CloseFromAnEventStopsAtOnce) {
    Bench b;
    b.sim.AddFaults(ParseRf2160Faults("cmd 2 error 02"));
    const int id = b.engine->AddCommand(Line("A"), 1, kShort, "");
    const int next = b.engine->AddCommand(Line("B"), 1, kShort, "");
    bool closed = false;
    b.engine->OnError = [&](const std::string&) {
        b.engine->Close();
        closed = true;
    };
    b.Open();
    ASSERT_TRUE(testutil::RunUntil([&] { return closed; }, 120000));
    const std::size_t received = b.sim.Received().size();
    const std::int64_t at = b.clock.NowMs();
    testutil::RunUntil([] { return false; }, 300);
    EXPECT_EQ(b.sim.Received().size(), received);
    EXPECT_EQ(b.clock.NowMs(), at);
    EXPECT_TRUE(b.results.empty());  // the flush that would have followed did not run
    b.engine->OnError = nullptr;
    b.Open();
    ASSERT_TRUE(b.RunUntilAnswered({id, next}));
    EXPECT_EQ(b.results[next], std::vector<int>{0});
}

// A close and reopen while a sale is under way: the line hung up right after the
// register took the sale's frame (its ACK and status lost), or the host's Done and
// Init (the operator's Pause) while the sale's status is awaited. The register has
// booked the sale; the host hears -1 for it, it is never sent again, and the
// receipt goes on with the next command.
TEST_F(EndToEnd, ASaleInFlightAtAReopenIsBookedOnce) {
    const struct {
        const char* how;
        const char* faults;
        bool hangUp;
    } cases[] = {
        {"line hung up", "", true},
        {"host's Done and Init", "cmd 2 late-reply 20000", false},  // cmd 1 is the mode switch
    };
    const std::string sale = std::string(")\x00\x05\x00\x00\x03\xE8\x00\x00\x04\xD2", 11);  // 12.34
    const std::string booked = "sale art 5 qty 1.000 price 12.34 sum 12.34";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        Bench b;
        b.sim.AddFaults(ParseRf2160Faults(c.faults));
        const int first = b.engine->AddCommand(sale, 1, kLong, "");
        const int close = b.engine->AddCommand("18", 1, kLong, "");
        bool taken = false;
        b.clock.OnSleep = [&](std::int64_t) {
            if (taken || b.sim.ExecutedCount(sale) == 0) return;
            taken = true;
            if (c.hangUp) b.sim.SetSilent(true);  // nothing the register sends from here arrives
        };
        b.Open();
        ASSERT_TRUE(testutil::RunUntil([&] { return taken; }, 120000));
        EXPECT_TRUE(b.results.empty());
        b.engine->Close();
        b.sim.SetSilent(false);
        b.Open();
        ASSERT_TRUE(b.RunUntilAnswered({first, close}));
        EXPECT_EQ(b.results[first], std::vector<int>{-1});
        EXPECT_EQ(b.results[close], std::vector<int>{0});
        const int again = b.engine->AddCommand(sale, 1, kLong, "");
        ASSERT_TRUE(b.RunUntilAnswered({again}));
        EXPECT_EQ(b.results[again], std::vector<int>{0});
        EXPECT_EQ(b.sim.Journal(), (std::vector<std::string>{booked, "close 1 total 12.34 cash", booked}));
    }
}

// The operator's Pause as the spooler runs it, while the register prints the sale
// (its status 20 s late): Terminate, the spooler's wait, Done, Init at once. The sale
// finishes with 0 and is booked once; the close queued behind it goes out after the
// reopen's identification, not before.
TEST_F(EndToEnd, APauseWaitsForTheSaleInFlight) {
    const std::string sale = std::string(")\x00\x05\x00\x00\x03\xE8\x00\x00\x04\xD2", 11);  // 12.34
    Bench b;
    b.sim.AddFaults(ParseRf2160Faults("cmd 2 late-reply 20000"));  // cmd 1 is the mode switch
    const int first = b.engine->AddCommand(sale, 1, kLong, "");
    const int close = b.engine->AddCommand("18", 1, kLong, "");
    b.Open();
    ASSERT_TRUE(testutil::RunUntil([&] { return b.sim.ExecutedCount(sale) == 1; }, 120000));
    b.engine->Terminate();
    const std::int64_t done = b.clock.NowMs() + 2500;
    ASSERT_TRUE(testutil::RunUntil([&] { return b.clock.NowMs() >= done; }, 120000));
    EXPECT_EQ(b.sim.ExecutedCount("18"), 0);
    b.engine->CloseAfterCurrent();
    b.Open();
    ASSERT_TRUE(b.RunUntilAnswered({first, close}));
    EXPECT_EQ(b.results[first], std::vector<int>{0});
    EXPECT_EQ(b.results[close], std::vector<int>{0});
    EXPECT_EQ(b.sim.Journal(), (std::vector<std::string>{"sale art 5 qty 1.000 price 12.34 sum 12.34",
                                                         "close 1 total 12.34 cash"}));
    EXPECT_EQ(b.sim.ReceivedCount("S1"), 2);  // the reopen identified the register again
}

// An ACK or NAK byte inside a frame that has not reached its declared length. Read
// as data, the status completes the command; cut there, as a byte-by-byte reading
// of the stream would, the status would be lost and the command failed by silence
// although the register executed it.
TEST_F(EndToEnd, AckAndNakBytesInsideAStatusAreData) {
    TRf2160Sim sim;
    sim.AddFaults(ParseRf2160Faults("cmd 1 ack-in-frame"));
    for (const char c : TRf2160Sim::MakeFrame("0")) sim.Receive(static_cast<std::uint8_t>(c), 0);
    std::string wire;
    sim.TakeDue(1000, wire);
    // The cutting reading: every ACK or NAK byte ends a unit there.
    std::vector<std::string> cut;
    std::string buffer;
    for (const char c : wire) {
        buffer += c;
        if (c == '\x06' || c == '\x15') {
            cut.push_back(std::string(1, c));
            buffer.clear();
        }
    }
    EXPECT_EQ(cut, (std::vector<std::string>{"\x06", "\x06", "\x15"}));  // the status is gone
    // This engine's reading.
    TReplyAssembler a;
    std::vector<std::string> units;
    std::string unit;
    for (const char c : wire)
        if (a.Feed(c, unit)) units.push_back(unit);
    ASSERT_EQ(units.size(), 2u);
    TReply r;
    r.Parse(units[1]);
    EXPECT_EQ(r.Kind, TReply::KindStatus);
    EXPECT_EQ(r.SpareFlags, 0x06);
    EXPECT_EQ(r.DetailFlags, 0x15);
}

// A seeded schedule of faults over 200 queued commands: every command gets exactly
// one result, nothing hangs, the register executed no text twice except where the
// engine's own recovery prescribes sending it again (a malformed reply), every
// command done is in the register's journal, and a clean command completes afterwards.
TEST_F(EndToEnd, SeededFaultScheduleOver200Commands) {
    // A printed line, and every 40th a periodic report in mode X; each text distinct.
    const auto text = [](int i) {
        char report[32];
        std::snprintf(report, sizeof report, "J\xEEX00%04d00%04d", i, i);
        char line[8];
        std::snprintf(line, sizeof line, "T%03d", i);
        return i % 40 == 39 ? std::string(report) : Line(line);
    };
    const auto booked = [](int i) {
        char line[48];
        if (i % 40 == 39)
            std::snprintf(line, sizeof line, "report X periodic numbers %d-%d", i, i);
        else
            std::snprintf(line, sizeof line, "text T%03d", i);
        return std::string(line);
    };
    Bench b;
    std::mt19937 rng(2160);
    const char* kinds[] = {"nak", "nak 2", "no-ack", "ack-only", "late-ack 300", "late-ack 1200", "unrecognised",
                           "damaged", "bad-sum", "garbage 33 06", "ack-in-frame", "error 04", "error 80 02",
                           "split 150", "silent 2500", "error 08"};
    std::string script;
    for (int frame = 3; frame < 420; frame += 4 + static_cast<int>(rng() % 9))
        script += "cmd " + std::to_string(frame) + " " + kinds[rng() % std::size(kinds)] + "; ";
    script += "at 40000 status 00 00; at 90000 garbage 01 46 49 53 03; at 150000 status 01 01";
    b.sim.AddFaults(ParseRf2160Faults(script));
    std::vector<int> ids;
    for (int i = 0; i < 200; ++i) ids.push_back(b.engine->AddCommand(text(i), i % 40 == 39 ? 2 : 1, kShort, ""));
    b.Open();
    ASSERT_TRUE(b.RunUntilAnswered(ids, 600000));
    int done = 0, failed = 0;
    for (const int id : ids) {
        ASSERT_EQ(b.results[id].size(), 1u) << "id " << id;
        (b.results[id][0] == 0 ? done : failed)++;
    }
    EXPECT_EQ(b.results.size(), ids.size());
    // Texts executed more than once, against the resends the engine prescribes.
    int repeats = 0;
    for (int i = 0; i < 200; ++i) {
        repeats += std::max(0, b.sim.ExecutedCount(text(i)) - 1);
        const auto n = std::count(b.sim.Journal().begin(), b.sim.Journal().end(), booked(i));
        EXPECT_EQ(n, b.sim.ExecutedCount(text(i))) << i;
        if (b.results[ids[static_cast<std::size_t>(i)]][0] == 0) {
            EXPECT_GE(n, 1) << i;
        }
    }
    // A late ACK no longer makes the engine send its frame again.
    const int prescribed = b.Count("ошибка формата ответа на команду");
    EXPECT_LE(repeats, prescribed);
    const int clean = b.engine->AddCommand(Line("CLEAN"), 1, kShort, "");
    ASSERT_TRUE(b.RunUntilAnswered({clean}));
    EXPECT_EQ(b.results[clean], std::vector<int>{0});
    EXPECT_EQ(b.sim.Journal().back(), "text CLEAN");
    std::printf("seeded schedule: %d done, %d failed, %d texts repeated (%d prescribed resends), %lld virtual ms\n",
                done, failed, repeats, prescribed, static_cast<long long>(b.clock.NowMs()));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The "РФ 2160" simulator on its own: frame checking, answers, modes, the
// identification, the record of executed texts and every scripted fault. (What the
// register makes of each command is in rf2160register_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "platform/base/exception.h"
#include "sim/rf2160/rf2160sim.h"

using namespace tolver;

namespace {

const std::string kAck = "\x06", kNak = "\x15";

std::string Frame(const std::string& data) { return TRf2160Sim::MakeFrame(data); }

std::string Status(std::uint8_t mode, std::uint8_t error = 0, std::uint8_t spare = 0, std::uint8_t detail = 0) {
    return Frame(std::string("[") + char(mode) + char(error) + char(spare) + char(detail));
}

// Sends bytes at time `at` and returns what the register has sent by `until`.
std::string Exchange(TRf2160Sim& sim, std::string_view bytes, std::int64_t at, std::int64_t until) {
    for (const char c : bytes) sim.Receive(static_cast<std::uint8_t>(c), at);
    std::string out;
    sim.TakeDue(until, out);
    return out;
}

TEST(Rf2160Sim, ChecksFramesAndTheirSums) {
    // Hand-made frames with the sums of the protocol's examples.
    const std::string head = std::string("\x01") + "FISREGISTRATOR2160\x02\x1C";
    EXPECT_EQ(Frame("["), head + "001[\x03" "1551\x04");
    EXPECT_EQ(Frame("S1"), head + "002S1\x03" "1593\x04");
    EXPECT_EQ(Frame("abc"), head + "003abc\x03" "1756\x04");

    TRf2160Sim sim;
    EXPECT_EQ(Exchange(sim, Frame("["), 0, 100), kAck + Status(0x01));
    struct Case {
        const char* what;
        std::string bytes;
    } bad[] = {
        {"wrong sum", head + "001[\x03" "1552\x04"},
        {"sum of three digits", head + "001[\x03" "551\x04"},
        {"five digits for a four-digit sum", head + "001[\x03" "01551\x04"},
        {"letter in the length", head + "0a1[\x03" "1551\x04"},
        {"no ETX", head + "001[\x05" "1551\x04"},
        {"foreign signature", std::string("\x01") + "FISREGISTRATOR2161\x02\x1C" "001[\x03" "1552\x04"},
    };
    int t = 1000;
    for (const Case& c : bad) {
        // One NAK for the frame; the rest of its bytes are ignored as lone bytes.
        EXPECT_EQ(Exchange(sim, c.bytes, t, t + 100), kNak) << c.what;
        t += 1000;
    }
    EXPECT_EQ(sim.BadFrames(), 6);
    // Five digits where the sum needs them: an article named with 24 bytes 0xFF.
    const std::string big = "PP" + std::string("\x1F\x40\x08\x80\x00\xF0\x00\x00\x1F\x40", 10) +
                            std::string(24, '\xFF') + std::string("\x7F\xFF\xFF\xFF\x7F\xFF\xFF\xFF", 8);
    const std::string frame = Frame(big);
    EXPECT_EQ(frame.substr(frame.size() - 7, 1), "\x03");
    EXPECT_EQ(Exchange(sim, frame, t, t + 100), kAck + Status(0x01));
    EXPECT_EQ(sim.ExecutedCount(big), 1);
}

TEST(Rf2160Sim, LoneBytesBetweenFramesAndSplitReads) {
    TRf2160Sim sim;
    // ACKs are counted, garbage ignored, a NUL answered with NAK.
    EXPECT_EQ(Exchange(sim, "\x06zz\x06", 0, 10), "");
    EXPECT_EQ(sim.AcksReceived(), 2);
    EXPECT_EQ(Exchange(sim, std::string(1, '\0'), 20, 30), kNak);
    // A frame arriving in pieces; a frame abandoned for more than 500 ms is forgotten.
    const std::string f = Frame("[");
    EXPECT_EQ(Exchange(sim, f.substr(0, 7), 100, 100), "");
    EXPECT_EQ(Exchange(sim, f.substr(7), 150, 200), kAck + Status(0x01));
    EXPECT_EQ(Exchange(sim, f.substr(0, 7), 1000, 1000), "");
    EXPECT_EQ(Exchange(sim, f, 2000, 2100), kAck + Status(0x01));
}

TEST(Rf2160Sim, ModesIdentificationAndTheRecord) {
    TRf2160Sim sim;
    const std::string dailyZ = "I\xE0Z", cashiersZ = "I\xE6Z";
    // Wrong password and a bad mode digit change nothing.
    EXPECT_EQ(Exchange(sim, Frame("o373920460"), 0, 100), kAck + Status(0x01, 0x20, 0, 0x80));
    EXPECT_EQ(Exchange(sim, Frame("o973920461"), 100, 200), kAck + Status(0x01, 0x04));
    // A text needing mode Z in mode РАБОТА: the mode error names Z.
    EXPECT_EQ(Exchange(sim, Frame(dailyZ), 200, 300), kAck + Status(0x01, 0x20, 0, 0x04));
    EXPECT_EQ(Exchange(sim, Frame("o373920461"), 300, 400), kAck + Status(0x04));
    EXPECT_EQ(Exchange(sim, Frame(dailyZ), 400, 500), kAck + Status(0x04));
    EXPECT_EQ(sim.Mode(), 3);
    ASSERT_EQ(sim.Executed().size(), 2u);
    EXPECT_EQ(sim.Executed()[1].text, dailyZ);
    EXPECT_EQ(sim.Journal(), std::vector<std::string>{"report Z daily"});
    // A command the register cannot read: wrong command, nothing done.
    EXPECT_EQ(Exchange(sim, Frame("Z1"), 500, 600), kAck + Status(0x04, 0x04));
    EXPECT_EQ(sim.Executed().size(), 2u);
    EXPECT_EQ(sim.Executed()[1].mode, 3);
    EXPECT_EQ(sim.Executed()[1].time, 400);

    // Identification: id at 3..12, version at 44..57.
    sim.SetVersion("2160.01.02");
    sim.SetDeviceId("0123456789");
    const std::string out = Exchange(sim, Frame("S1"), 500, 600);
    ASSERT_EQ(out.substr(0, 1), kAck);
    const std::string data = out.substr(1 + 24, 57);
    EXPECT_EQ(data.substr(2, 10), "0123456789");
    EXPECT_EQ(data.substr(43, 14), "2160.01.02    ");
    EXPECT_EQ(out.substr(1), Frame(data));

    // The first firmware reports each status twice, a print time apart.
    sim.SetVersion("26.10.0");
    EXPECT_EQ(Exchange(sim, Frame("["), 1000, 1020), kAck + Status(0x04));
    EXPECT_EQ(Exchange(sim, "", 1020, 1100), Status(0x04));

    // A lock holds back every text until it is cleared.
    sim.SetError(0x80, 0x02);
    EXPECT_EQ(Exchange(sim, Frame(cashiersZ), 2000, 2200), kAck + Status(0x04, 0x80, 0, 0x02) + Status(0x04, 0x80, 0, 0x02));
    EXPECT_EQ(sim.ExecutedCount(cashiersZ), 0);
    EXPECT_EQ(sim.Journal().size(), 1u);
}

TEST(Rf2160Sim, ScriptedFaults) {
    const std::string ok = Status(0x01);
    struct Case {
        const char* script;
        std::string expect;  // what the first command frame, "0" (the drawer), gets by 2000 ms
        int executed;
    } cases[] = {
        {"cmd 1 nak", kNak, 0},
        {"cmd 1 no-ack", "", 0},
        {"cmd 1 ack-only", kAck, 1},
        {"cmd 1 late-ack 1500", kAck + ok, 1},
        {"cmd 1 late-reply 1500", kAck + ok, 1},
        {"cmd 1 unrecognised", kAck + ok.substr(0, 5) + "X" + ok.substr(6), 1},
        {"cmd 1 damaged", kAck + ok.substr(0, 22) + "a" + ok.substr(23), 1},
        {"cmd 1 bad-sum", kAck + ok.substr(0, ok.size() - 2) + "7\x04", 1},
        {"cmd 1 garbage 41 42", kAck + "AB" + ok, 1},
        {"cmd 1 ack-in-frame", kAck + Status(0x01, 0, 0x06, 0x15), 1},
        {"cmd 1 error 10 40", kAck + Status(0x01, 0x10, 0, 0x40), 0},
        {"cmd 1 split 300", kAck + ok, 1},
        {"cmd 1 silent 5000", "", 0},
        {"frame 2 nak", kNak, 0},
    };
    ASSERT_EQ(ok.substr(ok.size() - 5, 4), "1556");
    for (const Case& c : cases) {
        TRf2160Sim sim;
        sim.AddFaults(ParseRf2160Faults(c.script));
        EXPECT_EQ(Exchange(sim, Frame("["), 0, 100), kAck + ok) << c.script;  // frame 1, not a command
        EXPECT_EQ(Exchange(sim, Frame("0"), 100, 2000), c.expect) << c.script;
        EXPECT_EQ(sim.ExecutedCount("0"), c.executed) << c.script;
        EXPECT_EQ(sim.Journal().size(), static_cast<std::size_t>(c.executed)) << c.script;
        // The fault fires once: the next frame is answered normally, unless silenced.
        if (std::string(c.script) != "cmd 1 silent 5000") {
            EXPECT_EQ(Exchange(sim, Frame("["), 3000, 3100), kAck + ok) << c.script;
        }
    }
    // A late reply: the ACK in time, the status a long print later.
    {
        TRf2160Sim sim;
        sim.AddFaults(ParseRf2160Faults("cmd 1 late-reply 5000"));
        EXPECT_EQ(Exchange(sim, Frame("0"), 0, 4000), kAck);
        EXPECT_EQ(Exchange(sim, "", 4000, 6000), ok);
    }
    // A repeated NAK; silence and return; timed faults.
    TRf2160Sim sim;
    sim.AddFaults(ParseRf2160Faults("frame 1 nak 3; frame 5 silent 1000; at 9000 status 80 02; at 9500 garbage 06 15; at 9800 nak"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Exchange(sim, Frame("["), 100 * i, 100 * i + 50), kNak);
    EXPECT_EQ(Exchange(sim, Frame("["), 400, 450), kAck + ok);
    EXPECT_EQ(Exchange(sim, Frame("["), 500, 1400), "");
    EXPECT_EQ(Exchange(sim, Frame("["), 1600, 1650), kAck + ok);
    EXPECT_EQ(Exchange(sim, "", 8000, 10000), Status(0x01, 0x80, 0, 0x02) + "\x06\x15" + kNak);
}

// A shorter silence that begins during a longer one leaves the longer one whole.
TEST(Rf2160Sim, OverlappingSilencesLastToTheLaterEnd) {
    TRf2160Sim sim;
    sim.AddFaults(ParseRf2160Faults("cmd 1 silent 15600; at 4000 silent 700"));
    EXPECT_EQ(Exchange(sim, Frame("0"), 0, 100), "");
    EXPECT_EQ(Exchange(sim, Frame("["), 5000, 5100), "");   // the later one would have ended at 4700
    EXPECT_EQ(Exchange(sim, Frame("["), 15500, 15550), "");
    EXPECT_EQ(Exchange(sim, Frame("["), 15700, 15800), kAck + Status(0x01));
}

TEST(Rf2160Sim, FaultScriptErrorsNameTheItem) {
    for (const char* bad : {"cmd x nak", "frame 1", "frame 1 explode", "at 5 nak-in-frame", "frame 1 status 80",
                            "cmd 1 garbage", "cmd 1 error 1FF", "frame 1 late-ack", "cmd 2 late-reply", "bogus 1 nak"}) {
        try {
            ParseRf2160Faults(std::string("frame 9 nak; ") + bad);
            ADD_FAILURE() << bad;
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(ParseRf2160Faults(" ; \n").size(), 0u);
}

}  // namespace

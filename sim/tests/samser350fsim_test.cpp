#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/exception.h"
#include "platform/variant/utf.h"
#include "sim/er350f/samser350fsim.h"
#include "sim/simloopport.h"

using namespace tolver;

namespace {

using er350f::CodeOf;
using er350f::Key;

// The key of a digit 0..9 or of department value - 9 (10..17).
char KeyOfDigit(int value) {
    return static_cast<char>(value < 10 ? CodeOf(Key::Digit, value) : CodeOf(Key::Department, value - 9));
}

// Sends bytes at time `at` and returns what the register has sent by `until`.
std::string Exchange(TSamsER350FSim& sim, std::string_view bytes, std::int64_t at, std::int64_t until) {
    for (const char c : bytes) sim.Receive(static_cast<std::uint8_t>(c), at);
    std::string out;
    sim.TakeDue(until, out);
    return out;
}

std::string Dev(const std::string& utf8) {
    std::string d;
    for (std::size_t pos = 0; pos < utf8.size();) d += static_cast<char>(er350f::ByteOf(Utf8Next(utf8, pos)));
    return d;
}

TEST(SamsER350FSim, AnswersQueriesIdentificationAndKeys) {
    TSamsER350FSim sim;
    const std::string positions = "\x20\x40\x80\x08\x04";
    for (std::uint8_t pos = 1; pos <= 5; ++pos) {
        sim.SetKeyPos(pos);
        EXPECT_EQ(Exchange(sim, "\x02", 0, 0), positions.substr(pos - 1, 1));
    }
    sim.SetKeyPos(1);
    sim.SetId("SN00012345");
    EXPECT_EQ(Exchange(sim, "\x08", 0, 0), "54321000NS");
    // Echoes: code + 0x80; key 7 is the byte 0x07 while no error waits.
    EXPECT_EQ(Exchange(sim, "\x07\x12\x63", 0, 0), "\x87\x92\xE3");
    // No echo for the text-line key, the characters of the line, lock and unlock;
    // the end of the line (19) and its print key (81) have one, and 81 prints.
    EXPECT_EQ(Exchange(sim, std::string("\x01") + Dev("Чай") + "\x13", 0, 0), "\x93");
    EXPECT_EQ(Exchange(sim, "\x51", 10, 100), "\xD1" + Dev("Чай") + "\n");
    EXPECT_EQ(Exchange(sim, "\x04\x05", 200, 300), "");
    EXPECT_EQ(sim.Keys(), std::string("\x07\x12\x63\x01") + Dev("Чай") + "\x13\x51\x04\x05");
    EXPECT_EQ(sim.QueriesReceived(), 5);
    ASSERT_EQ(sim.Received().size(), 17u);
    EXPECT_EQ(sim.Received()[15].time, 200);
}

TEST(SamsER350FSim, ReceiptsPrintTheirLinesAndEndWithTheHeaderBlock) {
    TSamsER350FSim sim;
    sim.SetHeader({"H1", "H2", "H3", "H4", "H5"});
    // 7, 2 x 12.34 in department 3; 7, cash.
    std::string sale = "\x07";
    sale += (KeyOfDigit(2));
    sale += static_cast<char>(CodeOf(Key::Separator));
    for (const int d : {1, 2, 3, 4}) sale += (KeyOfDigit(d));
    sale += (KeyOfDigit(12));
    std::string out = Exchange(sim, sale, 0, 100);
    EXPECT_TRUE(sim.ReceiptOpen());
    const std::string line = "ОТДЕЛ 3" + std::string(14, ' ') + "24.68";  // 26 characters
    EXPECT_EQ(sim.Tape(), (std::vector<std::string>{"  2.000 X 12.34", line}));
    EXPECT_NE(out.find(Dev(line) + "\n"), std::string::npos);

    out = Exchange(sim, "\x07\x63", 200, 300);
    EXPECT_FALSE(sim.ReceiptOpen());
    const std::vector<std::string> end(sim.Tape().begin() + 2, sim.Tape().end());
    ASSERT_EQ(end.size(), 10u);
    EXPECT_EQ(end[2], "ЧЕК ***0001");
    EXPECT_EQ(end[3].substr(0, 16), std::string(16, '_'));
    EXPECT_EQ(end[4], "");
    EXPECT_EQ(end[5], "H1");
    EXPECT_EQ(end[9], "H5");
    EXPECT_EQ(out.substr(0, 2), "\x87\xE3");

    // An article alone prints at its programmed price with the next key that is not
    // part of a number, however late; one keyed with a price prints that price.
    out = Exchange(sim, std::string("\x07") + (KeyOfDigit(5)) + "\x73", 400, 400);
    EXPECT_EQ(out, "\x87\x95\xF3");
    EXPECT_EQ(Exchange(sim, "", 400, 5000), "");
    EXPECT_EQ(Exchange(sim, "\x07", 5000, 5100), "\x87" + Dev("АРТИКУЛ 5" + std::string(13, ' ') + "1.00") + "\n");
    Exchange(sim, std::string("\x07") + (KeyOfDigit(6)) + "\x73" + (KeyOfDigit(9)) + "\x73", 500, 600);
    EXPECT_EQ(sim.Tape().back(), "АРТИКУЛ 6" + std::string(13, ' ') + "0.09");

    // Reports in key position X run long: three of them pass 100 lines of tape.
    sim.SetKeyPos(2);
    const std::size_t before = sim.Tape().size();
    Exchange(sim, "\x63\x73\x72", 700, 800);
    EXPECT_GT(sim.Tape().size() - before, 100u);
    EXPECT_EQ(sim.Tape()[before], "X-ОТЧЕТ ФИНАНСОВЫЙ");

    // With the print copy off the tape still grows but nothing goes to the PC.
    sim.SetKeyPos(1);
    sim.SetPrintCopy(false);
    EXPECT_EQ(Exchange(sim, std::string("\x07") + (KeyOfDigit(1)) + (KeyOfDigit(10)), 900, 1000),
              std::string("\x87") + static_cast<char>(KeyOfDigit(1) + 0x80) + static_cast<char>(KeyOfDigit(10) + 0x80));
}

// 7, count, 86, article, 115, [price, 115]: the register books count x price.
TEST(SamsER350FSim, ArticlesSoldWithACountBookCountTimesPrice) {
    struct Case {
        const char* count;  // as keyed: digits and a point
        int price;          // hundredths keyed after the article; 0 for its programmed 1.00
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"2", 600, {"  2.000 X 6.00", "АРТИКУЛ 5" + std::string(12, ' ') + "12.00"}},
        {"1.5", 200, {"  1.500 X 2.00", "АРТИКУЛ 5" + std::string(13, ' ') + "3.00"}},
        {"3", 0, {"  3.000 X 1.00", "АРТИКУЛ 5" + std::string(13, ' ') + "3.00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        TSamsER350FSim sim;
        std::string keys = "\x07";
        for (const char* d = c.count; *d; ++d)
            keys += *d == '.' ? static_cast<char>(CodeOf(Key::Point)) : KeyOfDigit(*d - '0');
        keys += static_cast<char>(CodeOf(Key::Separator));
        keys += KeyOfDigit(5);
        keys += "\x73";
        if (c.price) {
            for (const char d : std::to_string(c.price)) keys += KeyOfDigit(d - '0');
            keys += "\x73";
        }
        Exchange(sim, keys + "\x07\x63", 0, 100);  // the close sells an article left without a price
        ASSERT_GE(sim.Tape().size(), 3u);
        EXPECT_EQ(std::vector<std::string>(sim.Tape().begin(), sim.Tape().begin() + 2), c.lines);
        EXPECT_EQ(sim.Tape()[2].substr(sim.Tape()[2].rfind(' ') + 1), c.lines[1].substr(c.lines[1].rfind(' ') + 1));
    }
}

// A tender below the total is part of a split payment: the balance stays due and the
// receipt open until a later payment covers it.
TEST(SamsER350FSim, AShortTenderLeavesTheBalanceDue) {
    TSamsER350FSim sim;
    const auto digits = [](const char* text) {
        std::string keys;
        for (const char* d = text; *d; ++d) keys += KeyOfDigit(*d - '0');
        return keys;
    };
    Exchange(sim, "\x07" + digits("3000") + KeyOfDigit(10), 0, 100);  // 30.00 in department 1
    const std::size_t sold = sim.Tape().size();
    Exchange(sim, "\x07" + digits("1000") + "\x63", 200, 300);  // 10.00 in cash
    EXPECT_TRUE(sim.ReceiptOpen());
    const auto amountOf = [&](std::size_t i) { return sim.Tape()[i].substr(sim.Tape()[i].rfind(' ') + 1); };
    ASSERT_EQ(sim.Tape().size(), sold + 3);
    EXPECT_EQ(sim.Tape()[sold].rfind("ИТОГ", 0), 0u);
    EXPECT_EQ(amountOf(sold), "30.00");
    EXPECT_EQ(sim.Tape()[sold + 2].rfind("ОСТАТОК", 0), 0u);
    EXPECT_EQ(amountOf(sold + 2), "20.00");
    Exchange(sim, "\x07" + digits("5000") + "\x76", 400, 500);  // 50.00 by cheque
    EXPECT_FALSE(sim.ReceiptOpen());
    EXPECT_EQ(amountOf(sold + 3), "20.00");
    EXPECT_EQ(sim.Tape()[sold + 5].rfind("СДАЧА", 0), 0u);
    EXPECT_EQ(amountOf(sold + 5), "30.00");
}

TEST(SamsER350FSim, AbsurdEntriesSaturateTheSums) {
    TSamsER350FSim sim;
    std::string sale = "\x07";
    for (int i = 0; i < 15; ++i) sale += (KeyOfDigit(9));
    sale += static_cast<char>(CodeOf(Key::Separator));
    for (int i = 0; i < 15; ++i) sale += (KeyOfDigit(9));
    sale += (KeyOfDigit(12));
    for (int n = 0; n < 3; ++n) Exchange(sim, sale, n * 100, n * 100 + 50);
    Exchange(sim, "\x07\x63", 400, 500);
    EXPECT_FALSE(sim.ReceiptOpen());
    EXPECT_EQ(sim.Tape()[sim.Tape().size() - 10].rfind("ИТОГ", 0), 0u);
}

TEST(SamsER350FSim, FaultsByScript) {
    TSamsER350FSim sim;
    sim.AddFaults(ParseSamsER350FFaults(
        "key 1 drop-echo; key 2 delay-echo 300\nkey 3 garbage 41 e3 ;query 2 error E3; key 5 silent 1000; at 5000 error E8"));
    EXPECT_EQ(Exchange(sim, "\x11", 0, 0), "");                // dropped
    EXPECT_EQ(Exchange(sim, "\x12", 0, 299), "");              // late...
    EXPECT_EQ(Exchange(sim, "", 0, 300), "\x92");              // ...by 300 ms
    EXPECT_EQ(Exchange(sim, "\x13", 400, 400), "\x41\xE3\x93");  // garbage before the echo
    EXPECT_EQ(Exchange(sim, "\x02", 500, 500), "\x20");
    // An error answers everything until 0x07 acknowledges it (0x07 is then no key).
    EXPECT_EQ(Exchange(sim, "\x02", 600, 600), "\xE3");
    EXPECT_EQ(Exchange(sim, "\x02\x14", 700, 700), "\xE3\xE3");
    EXPECT_EQ(sim.PendingError(), 0xE3);
    EXPECT_EQ(Exchange(sim, "\x07", 800, 800), "");
    EXPECT_EQ(sim.Acknowledgements(), 1);
    EXPECT_EQ(Exchange(sim, "\x02", 900, 900), "\x20");
    // Key 5 starts a second of silence: recorded, not answered; then back.
    EXPECT_EQ(Exchange(sim, "\x15", 1000, 1000), "");
    EXPECT_EQ(Exchange(sim, "\x02\x02", 1500, 1500), "");
    EXPECT_EQ(Exchange(sim, "\x02", 2000, 2000), "\x20");
    EXPECT_EQ(sim.Received().size(), 13u);
    // An error at a time, unasked.
    EXPECT_EQ(Exchange(sim, "", 5000, 5000), "\xE8");

    // Silence switched on and off; output falling due meanwhile is lost.
    sim.SendAt("late", 6100);
    sim.SetSilent(true);
    EXPECT_EQ(Exchange(sim, "\x02", 6000, 6200), "");
    sim.SetSilent(false);
    EXPECT_EQ(Exchange(sim, "\x07", 6300, 6300), "");  // the E8 acknowledged
    EXPECT_EQ(Exchange(sim, "\x02", 6300, 6300), "\x20");
}

TEST(SamsER350FSim, FaultScriptErrors) {
    for (const char* bad : {"key", "key 1", "key x drop-echo", "key 1 fly", "key 1 delay-echo", "query 1 drop-echo",
                            "key 1 error E", "key 1 error EA", "key 1 error E2", "key 1 garbage", "key 1 garbage 100", "key 1 garbage zz",
                            "minute 1 silent 5", "key -1 drop-echo", "key 1 drop-echo extra"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(ParseSamsER350FFaults(bad), Exception);
    }
    EXPECT_TRUE(ParseSamsER350FFaults(" ;\n; ").empty());
}

TEST(SimLoopPort, AnswersBecomeReadableWhenDue) {
    TSamsER350FSim sim;
    sim.SetEchoDelay(5);
    TFakeClock clock(100);
    TSimLoopPort port(sim, clock);
    port.PutChar(0x02);  // closed: nothing goes
    EXPECT_TRUE(sim.Received().empty());
    port.Open();
    port.PutChar(0x02);
    EXPECT_EQ(port.GetChar(), 0x20);
    port.PutChar(0x11);
    EXPECT_FALSE(port.CharReady());
    clock.Advance(5);
    EXPECT_EQ(port.InBuffUsed(), 1u);
    port.FlushInBuffer();
    EXPECT_EQ(port.GetChar(), -1);
    EXPECT_EQ(sim.Received()[1].time, 100);
}

}  // namespace

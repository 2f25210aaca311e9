// Frames, the receive assembler and reply parsing, status decoding and error texts.
#include <gtest/gtest.h>

#include "drivers/dalvern/engine/regfisc2160code.h"
#include "drivers/dalvern/engine/regfisc2160frame.h"
#include "platform/variant/codepage.h"

using namespace tolver;
using namespace fisc2160;

namespace {

const std::string kHead = std::string("\x01") + "FISREGISTRATOR2160" + "\x02\x1C";

// A frame with a given checksum field (the receiver does not check it).
std::string Frame(const std::string& data, const std::string& sum = "0000") {
    char n[4];
    std::snprintf(n, sizeof n, "%03zu", data.size());
    return kHead + n + data + "\x03" + sum + "\x04";
}

std::string Status(std::uint8_t mode, std::uint8_t error, std::uint8_t spare, std::uint8_t detail) {
    return Frame(std::string("[") + char(mode) + char(error) + char(spare) + char(detail));
}

std::vector<std::string> Cut(TReplyAssembler& a, const std::string& bytes) {
    std::vector<std::string> units;
    std::string unit;
    for (const char c : bytes)
        if (a.Feed(c, unit)) units.push_back(unit);
    return units;
}

TEST(Fisc2160Frame, BuildsTheKnownExamples) {
    struct Case {
        std::string text;
        const char* sum;
        std::size_t size;
    } cases[] = {{"[", "1551", 31}, {"S1", "1593", 32}, {"abc", "1756", 33}, {"", "1459", 30}};
    for (const Case& c : cases) {
        const auto frame = BuildFrame(c.text);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->size(), c.size) << c.text;
        EXPECT_EQ(*frame, Frame(c.text, c.sum));
    }
    // The header alone sums to 1312.
    int sum = 0;
    for (const char c : kHead) sum += static_cast<unsigned char>(c);
    EXPECT_EQ(sum, 1312);
}

TEST(Fisc2160Frame, LongTextsGetFiveDigitSumsAndOver999IsRefused) {
    const std::string text(60, '\xE0');  // 60 * 224 pushes the sum past 9999
    const auto frame = BuildFrame(text);
    ASSERT_TRUE(frame);
    int sum = 1312 + '0' + '6' + '0' + 60 * 0xE0 + 3;
    EXPECT_EQ(frame->substr(frame->size() - 7), "\x03" + std::to_string(sum) + "\x04");
    EXPECT_TRUE(BuildFrame(std::string(999, 'a')));
    EXPECT_EQ(BuildFrame(std::string(999, 'a'))->substr(21, 3), "999");
    EXPECT_FALSE(BuildFrame(std::string(1000, 'a')));
    // The receiving side takes it back, five digits and all.
    TReply r;
    r.Parse(*frame);
    EXPECT_EQ(r.Kind, TReply::KindData);
    EXPECT_EQ(r.Data, DosToWin(text));
}

TEST(Fisc2160Assembler, CutsSplitJoinedAndGarbageLadenStreams) {
    const std::string status = Status(0x01, 0, 0, 0);
    const std::string data = Frame("S1-DATA");
    TReplyAssembler a;
    // Joined: ACK, status, data, NAK in one read.
    EXPECT_EQ(Cut(a, std::string("\x06") + status + data + "\x15"),
              (std::vector<std::string>{"\x06", status, data, "\x15"}));
    // Split at every byte boundary gives the same units.
    for (std::size_t at = 1; at < status.size(); ++at) {
        TReplyAssembler b;
        EXPECT_TRUE(Cut(b, status.substr(0, at)).empty()) << at;
        EXPECT_EQ(Cut(b, status.substr(at)), std::vector<std::string>{status}) << at;
    }
    // Garbage before an ACK or before a frame's SOH is dropped.
    EXPECT_EQ(Cut(a, std::string("zz\x05\x06")), std::vector<std::string>{"\x06"});
    EXPECT_EQ(Cut(a, "xy\x04" + status), std::vector<std::string>{status});
    EXPECT_EQ(Cut(a, status.substr(0, 30) + status), std::vector<std::string>{status});
    // Garbage after the SOH stays in the unit, which is then unrecognised.
    const auto units = Cut(a, status.substr(0, 1) + "xy" + status.substr(1));
    ASSERT_EQ(units.size(), 1u);
    TReply r;
    r.Parse(units[0]);
    EXPECT_EQ(r.Kind, TReply::KindUnrecognised);
    // An SOH inside the data is data.
    const std::string soh = Frame("a\x01" "b");
    EXPECT_EQ(Cut(a, soh), std::vector<std::string>{soh});
    // A frame cut short by an ACK outside its data is dropped.
    EXPECT_EQ(Cut(a, status.substr(0, 10) + "\x06" + status),
              (std::vector<std::string>{"\x06", status}));
    EXPECT_TRUE(a.Buffer().empty());
}

TEST(Fisc2160Assembler, AckAndNakBytesInsideTheDataAreData) {
    // Mode flags 0x06 and a detail byte 0x15: the status is kept whole.
    const std::string status = Status(0x06, 0x01, 0x00, 0x15);
    TReplyAssembler a;
    EXPECT_EQ(Cut(a, status), std::vector<std::string>{status});
    TReply r;
    r.Parse(status);
    EXPECT_EQ(r.Kind, TReply::KindStatus);
    EXPECT_EQ(r.Mode, 2);
    EXPECT_EQ(r.DetailFlags, 0x15);
    // An EOT inside the data does not end the frame either.
    const std::string data = Frame(std::string("a\x03") + "1234\x04z");
    EXPECT_EQ(Cut(a, data), std::vector<std::string>{data});
    // A frame whose length field is not digits is not "in data": an ACK cuts it.
    EXPECT_EQ(Cut(a, kHead + "0a5[\x06"), std::vector<std::string>{"\x06"});
}

TEST(Fisc2160Assembler, EndlessGarbageIsBounded) {
    TReplyAssembler a;
    EXPECT_TRUE(Cut(a, std::string(5000, 'g')).empty());
    EXPECT_LE(a.Buffer().size(), kMaxFrame);
    const std::string status = Status(0x01, 0, 0, 0);
    EXPECT_EQ(Cut(a, "\x15" + status).size(), 2u);
}

TEST(Fisc2160Reply, ClassifiesUnits) {
    struct Case {
        const char* what;
        std::string raw;
        std::uint8_t kind;
    } cases[] = {
        {"NAK", "\x15", TReply::KindNak},
        {"ACK", "\x06", TReply::KindAck},
        {"two ACKs", "\x06\x06", TReply::KindUnrecognised},
        {"empty", "", TReply::KindUnrecognised},
        {"status", Status(1, 0, 0, 0), TReply::KindStatus},
        {"status with a wrong sum", Frame(std::string("[\x01\x00\x00\x00", 5), "9999"), TReply::KindStatus},
        {"5 bytes without [", Frame("S1234"), TReply::KindData},
        {"[ of 4 bytes", Frame("[abc"), TReply::KindData},
        {"[ of 6 bytes", Frame("[abcde"), TReply::KindData},
        {"letter in the length", kHead + "0a5[\x01\x01\x01\x01\x03" "0000\x04", TReply::KindDamaged},
        {"ETX not at 25+N", kHead + "004[\x01\x01\x01\x01\x03" "0000\x04", TReply::KindUnrecognised},
        {"no EOT", Frame("abc").substr(0, 32) + "x", TReply::KindUnrecognised},
        {"too short", Frame("abc").substr(0, 28), TReply::KindUnrecognised},
        {"foreign signature", "\x01" "FISREGISTRATOR2161\x02\x1C" "000\x03" "0000\x04", TReply::KindUnrecognised},
        {"header only", kHead, TReply::KindUnrecognised},
    };
    for (const Case& c : cases) {
        TReply r;
        r.Parse(c.raw);
        EXPECT_EQ(r.Kind, c.kind) << c.what;
        EXPECT_EQ(r.Raw, c.raw) << c.what;
    }
    // The data field comes back in Windows-1251.
    TReply r;
    r.Parse(Frame("\x8F\xE0\xA8"));  // П р и
    EXPECT_EQ(r.Data, Utf8ToCp1251("При"));
    // A reused reply forgets the previous status.
    r.Parse(Status(1, 0x20, 0, 1));
    r.Parse("\x06");
    EXPECT_TRUE(r.ErrorText.empty());
    EXPECT_TRUE(r.Details.empty());
}

TEST(Fisc2160Reply, DecodesStatuses) {
    struct Case {
        std::uint8_t mode, error, detail;
        std::uint8_t expectMode;
        const char* text;
        const char* detailLine;  // nullptr: none
    } cases[] = {
        {0x01, 0x00, 0xFF, 1, "", nullptr},
        {0x06, 0x00, 0x00, 2, "", nullptr},
        {0x04, 0x00, 0x00, 3, "", nullptr},
        {0x18, 0x00, 0x00, 4, "", nullptr},
        {0x10, 0x00, 0x00, 5, "", nullptr},
        {0x20, 0x00, 0x00, 0, "", nullptr},
        {0x00, 0x00, 0x00, 0, "", nullptr},
        {0x01, 0x21, 0x02, 1, "Переполнение", "переполнение дневного отчета"},
        {0x01, 0x01, 0x80, 1, "Переполнение", "переполнена фискальная память"},
        {0x01, 0x02, 0x01, 1, "Ошибка фискальной памяти", nullptr},
        {0x01, 0x84, 0x01, 1, "Неправильная команда или ошибка формата команды", nullptr},
        {0x01, 0x08, 0x01, 1, "Касса не открыта", nullptr},
        {0x01, 0x10, 0x40, 1, "Ошибка кода товара", "нет цены"},
        {0x01, 0x20, 0x00, 1, "Ошибка пароля или режима", nullptr},
        {0x01, 0x20, 0x81, 1, "Ошибка пароля или режима", "надо включить режим РАБОТА"},
        {0x01, 0x20, 0x04, 1, "Ошибка пароля или режима", "надо включить режим Z"},
        {0x01, 0x40, 0x01, 1, "<резерв>", nullptr},
        {0x01, 0x80, 0x02, 1, "Блокировка", "конец бумаги"},
        {0x01, 0x80, 0x80, 1, "Блокировка", "сбой по питанию"},
    };
    for (const Case& c : cases) {
        TReply r;
        r.Parse(Status(c.mode, c.error, 0x5A, c.detail));
        ASSERT_EQ(r.Kind, TReply::KindStatus);
        EXPECT_EQ(r.Mode, c.expectMode) << int(c.mode);
        EXPECT_EQ(r.ErrorFlags, c.error);
        EXPECT_EQ(r.SpareFlags, 0x5A);
        EXPECT_EQ(r.ErrorText, c.text) << int(c.error);
        EXPECT_EQ(r.Details, c.detailLine ? std::vector<std::string>{c.detailLine} : std::vector<std::string>{})
            << int(c.error) << " " << int(c.detail);
    }
    EXPECT_EQ(ErrorReportText("Ошибка пароля или режима", {"надо включить режим РАБОТА"}),
              "Ошибка пароля или режима\r\n -надо включить режим РАБОТА");
    EXPECT_EQ(BitsText(0x06), "00000110");
    EXPECT_EQ(BitsText(0x80), "10000000");
}

}  // namespace

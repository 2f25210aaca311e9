// What the "РФ 2160" register makes of each command: the status it answers with and
// the lines it books into its journal; a command it cannot read changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/rf2160/rf2160register.h"

using namespace tolver;

namespace {

using Answer = TRf2160Answer;
using Lines = std::vector<std::string>;
const Answer ok{}, wrong{0x04, 0};

// Texts in the register's letters (code page 866).
const std::string kBread = "\x95\xAB\xA5\xA1";                   // Хлеб
const std::string kAnna = "\x80\xAD\xAD\xA0";                    // Анна
const std::string kThanks = "\x91\xAF\xA0\xE1\xA8\xA1\xAE";      // Спасибо
const std::string kOoo = "\x8E\x8E\x8E";                         // ООО

std::string Be(int n, std::int64_t v) {
    std::string s(static_cast<std::size_t>(n), '\0');
    for (int i = n - 1; i >= 0; --i, v >>= 8) s[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xFF);
    return s;
}
std::string Pad(std::string s, std::size_t width) {
    s.resize(width, ' ');
    return s;
}
std::string Sale(int art, std::int64_t qty, std::int64_t price) { return ")" + Be(2, art) + Be(4, qty) + Be(4, price); }
std::string AtItsPrice(int art, std::int64_t qty) { return " " + Be(2, art) + Be(8, qty); }
std::string Article(int art, int tax, bool payout, int depByte, std::int64_t price, const std::string& name,
                    int art4 = -1) {
    return "PP" + Be(2, art) + static_cast<char>(tax) + static_cast<char>(payout ? 0x80 : 0) + '\0' +
           static_cast<char>(depByte) + Be(4, art4 < 0 ? art : art4) + Pad(name, 24) + Be(4, price) + Be(4, 9999999);
}
std::string Cashier2() { return "PC0200001234" + Pad(kAnna, 24); }
const std::string kNoRates5 = " 0000 0000 0000 0000 0000";

TEST(Rf2160Register, PrintsInItsOwnLetters) {
    EXPECT_EQ(TRf2160Register::Printed(kBread + " " + kAnna), "Хлеб Анна");
    EXPECT_EQ(TRf2160Register::Printed("\x80\x9F\xA0\xAF\xE0\xEF"), "АЯапря");
    EXPECT_EQ(TRf2160Register::Printed("\xF0\xF1\xF2\xF3\xF4\xF5"), "ЁёЄєЇї");
    EXPECT_EQ(TRf2160Register::Printed("N5 Ii"), "N5 Ii");
    EXPECT_EQ(TRf2160Register::Printed("\xB0\xDF\xF6\xFF\x03"), "?????");  // what it cannot print
}

struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::uint8_t>> before;  // carried out first, in their modes
    std::string command;
    std::uint8_t mode;
    Answer answer;
    Lines booked;  // what the command adds to the journal
    bool first = false;  // the first firmware, "26.10.0"
};

TEST(Rf2160Register, ReadsEachCommandAsTheRegisterDoes) {
    const std::pair<std::string, std::uint8_t> sale12 = {Sale(5, 1000, 1200), 1};
    const Case cases[] = {
        // Sales, voids and texts (mode РАБОТА).
        {"priced sale", {}, Sale(5, 1000, 1200), 1, ok, {"sale art 5 qty 1.000 price 12.00 sum 12.00"}},
        {"three at a price", {}, Sale(5, 3000, 1200), 1, ok, {"sale art 5 qty 3.000 price 12.00 sum 36.00"}},
        {"a fraction of a hundredth", {}, Sale(5, 1500, 1), 1, ok, {"sale art 5 qty 1.500 price 0.01 sum 0.02"}},
        {"a payout article", {{Article(7, 1, true, 0x10, 750, kBread), 1}}, Sale(7, 1000, 750), 1, ok,
         {"payout art 7 qty 1.000 price 7.50 sum -7.50"}},
        {"sale without its price", {}, Sale(5, 1000, 1200).substr(0, 7), 1, wrong, {}},
        {"article 0", {}, Sale(0, 1000, 1200), 1, wrong, {}},
        {"article beyond the table", {}, Sale(8001, 1000, 1200), 1, {0x10, 0x80}, {}},
        {"no quantity", {}, Sale(5, 0, 1200), 1, wrong, {}},
        {"negative price", {}, Sale(5, 1000, -1), 1, wrong, {}},
        {"count times price too large", {}, Sale(5, 0x7FFFFFFF, 0x7FFFFFFF), 1, {0x01, 0x08}, {}},
        {"priced sale on the first firmware", {}, Sale(5, 1000, 1200), 1, wrong, {}, true},
        {"sale in mode X", {}, Sale(5, 1000, 1200), 2, {0x20, 0x01}, {}},
        {"at the programmed price", {{Article(5, 1, false, 0x20, 999, kBread), 1}}, AtItsPrice(5, 2000), 1, ok,
         {"sale art 5 qty 2.000 price 9.99 sum 19.98"}, true},
        {"an unknown article at its price", {}, AtItsPrice(5, 1000), 1, {0x10, 0x01}, {}},
        {"an article without a price", {{Article(5, 1, false, 0x20, 0, kBread), 1}}, AtItsPrice(5, 1000), 1,
         {0x10, 0x40}, {}},
        {"void", {sale12}, "k", 1, ok, {"void art 5 qty 1.000 sum -12.00"}},
        {"void of nothing", {}, "k", 1, wrong, {}},
        {"void twice", {sale12, {"k", 1}}, "k", 1, wrong, {}},
        {"text", {}, "@" + Pad(kThanks, 24), 1, ok, {"text Спасибо"}},
        {"blank text", {}, "@" + Pad("", 24), 1, ok, {"text"}},
        {"text with ETX", {}, "@" + Pad("a\x03", 24), 1, wrong, {}},
        {"text of 23", {}, "@" + Pad("a", 23), 1, wrong, {}},
        {"drawer", {}, "0", 1, ok, {"drawer"}},
        {"drawer with a tail", {}, "00", 1, wrong, {}},
        // Closing, cash, cashiers.
        {"close without a receipt", {}, "18", 1, wrong, {}},
        {"close in cash", {sale12}, "18", 1, ok, {"close 1 total 12.00 cash"}},
        {"close by check with tender", {sale12}, "26" + Be(8, 2000), 1, ok,
         {"close 1 total 12.00 check tender 20.00 change 8.00"}},
        {"tender short of the total", {sale12}, "28" + Be(8, 500), 1, wrong, {}},
        {"unknown pay type", {sale12}, "19", 1, wrong, {}},
        {"cash in", {}, "918" + Be(8, 10000), 1, ok, {"cash-in cash 100.00"}},
        {"cash out beyond the drawer", {}, "908" + Be(8, 1), 1, {0x01, 0x04}, {}},
        // A receipt's total, a tender and a cash move stay within 21 474 836.47.
        {"cash in beyond what the till counts", {}, "918" + Be(8, 0x80000000), 1, {0x01, 0x04}, {}},
        {"cash in of the most it counts", {}, "918" + Be(8, 0x7FFFFFFF), 1, ok, {"cash-in cash 21474836.47"}},
        {"a tender beyond what the till counts", {sale12}, "28" + Be(8, 0x80000000), 1, {0x01, 0x04}, {}},
        {"a total beyond what the till counts", {{Sale(5, 1000, 0x7FFFFFFF), 1}}, Sale(6, 1000, 1), 1,
         {0x01, 0x04}, {}},
        {"cash out by check", {}, "906" + Be(8, 500), 1, ok, {"cash-out check 5.00"}},
        {"sign-on", {}, "50200001234", 1, ok, {"sign-on 2"}},
        {"cashier 16", {}, "51600000001", 1, wrong, {}},
        {"wrong password", {{Cashier2(), 4}}, "50200001235", 1, {0x20, 0x80}, {}},
        {"sign-off", {}, "6", 1, ok, {"sign-off"}},
        {"article", {}, Article(5, 1, false, 0x20, 999, kBread), 1, ok, {"article 5 dep 2 tax 1 price 9.99 sale Хлеб"}},
        {"article of department 16", {}, Article(5, 8, true, 0x00, 1, kBread), 1, ok,
         {"article 5 dep 16 tax 8 price 0.01 payout Хлеб"}},
        {"article numbers disagree", {}, Article(5, 1, false, 0x20, 999, kBread, 6), 1, wrong, {}},
        {"article of tax 9", {}, Article(5, 9, false, 0x20, 999, kBread), 1, wrong, {}},
        {"article name with a control byte", {}, Article(5, 1, false, 0x20, 999, "a\x04"), 1, wrong, {}},
        {"article in mode ПРОГРАММИРОВАНИЕ", {}, Article(5, 1, false, 0x20, 999, kBread), 4, {0x20, 0x01}, {}},
        // Reports (modes X and Z).
        {"X daily", {}, "I\xE0X", 2, ok, {"report X daily"}},
        {"X cashiers", {}, "I\xE6X", 2, ok, {"report X cashiers"}},
        {"X articles", {}, "I\xE8X", 2, ok, {"report X articles"}},
        {"X daily in mode РАБОТА", {}, "I\xE0X", 1, {0x20, 0x02}, {}},
        {"report with a tail", {}, "I\xE0XX", 2, wrong, {}},
        {"Z daily", {}, "I\xE0Z", 3, ok, {"report Z daily"}},
        {"Z daily of the first firmware", {{Article(5, 1, false, 0x20, 999, kBread), 1}}, "I\xE0Z", 3, ok,
         {"report Z daily", "articles cleared"}, true},
        {"Z during a receipt", {sale12}, "I\xE6Z", 3, wrong, {}},
        {"programming report", {}, "SP", 2, ok, {"report X programming"}},
        {"programming report on the first firmware", {}, "SP", 2, wrong, {}, true},
        {"periodic by dates", {}, "J\xEEX010305310305", 2, ok, {"report X periodic dates 01.03.05-31.03.05"}},
        {"short periodic by numbers", {}, "J\xEES000001000025", 2, ok, {"report X periodic-short numbers 1-25"}},
        {"periodic backwards", {}, "J\xEEX310305010305", 2, wrong, {}},
        {"periodic from the 32nd", {}, "J\xEEX320305310305", 2, wrong, {}},
        // Programming (modes ПРОГРАММИРОВАНИЕ and АДМИНИСТРАТОР).
        {"date", {}, "PG090305", 4, ok, {"date 09.03.05"}},
        {"no 29 February in 2005", {}, "PG290205", 4, wrong, {}},
        {"time", {}, "PF070503", 4, ok, {"time 07:05:03"}},
        {"hour 24", {}, "PF240000", 4, wrong, {}},
        {"header line", {}, "PH1" + Pad(kOoo, 35), 4, ok, {"header 1 ООО"}},
        {"blank footer line", {}, "PI3" + Pad("", 35), 4, ok, {"footer 3"}},
        {"header line 6", {}, "PH6" + Pad(kOoo, 35), 4, wrong, {}},
        {"short header line", {}, "PH1" + Pad(kOoo, 34), 4, wrong, {}},
        {"rates and levies", {}, "PU20000 5500 0000" + kNoRates5 + " 1500 0000 0000" + kNoRates5, 4, ok,
         {"taxes 20.000 5.500 0.000 0.000 0.000 0.000 0.000 0.000 levies 1.500 0.000 0.000 0.000 0.000 0.000 0.000 "
          "0.000"}},
        {"a rate that is not a number", {}, "PU2a000 5500 0000" + kNoRates5 + " 1500 0000 0000" + kNoRates5, 4, wrong,
         {}},
        {"rates without levies on newer firmware", {}, "PT20000 5500 0000" + kNoRates5, 4, wrong, {}},
        {"rates on the first firmware", {}, "PT20000 5500 0000" + kNoRates5, 4, ok,
         {"taxes 20.000 5.500 0.000 0.000 0.000 0.000 0.000 0.000"}, true},
        {"cashier", {}, Cashier2(), 4, ok, {"cashier 2 password 1234 name Анна"}},
        {"cashier 16", {}, "PC1600001234" + Pad(kAnna, 24), 4, wrong, {}},
        {"tax code", {}, "PY" + Pad("1234567890", 14), 5, ok, {"tax-code 1234567890"}},
        {"registration code", {}, "PA" + Pad("RK-12", 14), 5, ok, {"registration-code RK-12"}},
        {"tax code in mode ПРОГРАММИРОВАНИЕ", {}, "PY" + Pad("1234567890", 14), 4, {0x20, 0x10}, {}},
        {"tax accumulation", {}, "PJ0501", 5, ok, {"tax-accumulation on"}},
        {"cutter", {}, "PJ0400", 5, ok, {"cutter off"}},
        {"switch value 2", {}, "PJ0502", 5, wrong, {}},
        {"unknown switch", {}, "PJ0600", 5, wrong, {}},
        {"unknown command", {}, "A", 1, wrong, {}},
        {"unknown report letter", {}, "Z7", 3, wrong, {}},
    };
    for (const Case& c : cases) {
        TRf2160Register r;
        r.SetFirstFirmware(c.first);
        for (const auto& [text, mode] : c.before) ASSERT_EQ(r.Execute(text, mode), ok) << c.what;
        const std::size_t before = r.Journal().size();
        const Answer a = r.Execute(c.command, c.mode);
        EXPECT_EQ(a.error, c.answer.error) << c.what;
        EXPECT_EQ(a.detail, c.answer.detail) << c.what;
        EXPECT_EQ(Lines(r.Journal().begin() + static_cast<std::ptrdiff_t>(before), r.Journal().end()), c.booked)
            << c.what;
    }
}

// A day at the register: the drawer follows the cash receipts and the cash moved in
// and out; a receipt's total counts its voids; a programmed cashier needs his password.
TEST(Rf2160Register, AReceiptTheDrawerAndTheCashiers) {
    TRf2160Register r;
    ASSERT_EQ(r.Execute(Cashier2(), 4), ok);
    EXPECT_EQ(r.Execute("50200009999", 1), (Answer{0x20, 0x80}));
    EXPECT_EQ(r.Cashier(), 0);
    const std::pair<std::string, std::uint8_t> day[] = {
        {"50200001234", 1},       {"918" + Be(8, 5000), 1},          {Sale(5, 1000, 1200), 1},
        {Sale(6, 2000, 350), 1},  {"k", 1},                          {"@" + Pad(kThanks, 24), 1},
        {"0", 1},                 {"28" + Be(8, 2000), 1},           {Sale(5, 1000, 1200), 1},
        {"16", 1},                {"908" + Be(8, 6200), 1},
    };
    for (const auto& [text, mode] : day) ASSERT_EQ(r.Execute(text, mode), ok);
    EXPECT_EQ(r.Journal(), (Lines{"cashier 2 password 1234 name Анна", "sign-on 2", "cash-in cash 50.00",
                                  "sale art 5 qty 1.000 price 12.00 sum 12.00", "sale art 6 qty 2.000 price 3.50 sum 7.00",
                                  "void art 6 qty 2.000 sum -7.00", "text Спасибо", "drawer",
                                  "close 1 total 12.00 cash tender 20.00 change 8.00",
                                  "sale art 5 qty 1.000 price 12.00 sum 12.00", "close 2 total 12.00 check",
                                  "cash-out cash 62.00"}));
    EXPECT_EQ(r.DrawerCash(), 0);  // 50 in, 12 of cash sales, 62 out; the check receipt is not cash
    EXPECT_EQ(r.ReceiptsClosed(), 2);
    EXPECT_FALSE(r.ReceiptOpen());
    EXPECT_EQ(r.Cashier(), 2);
    EXPECT_EQ(r.Execute("908" + Be(8, 1), 1), (Answer{0x01, 0x04}));
}

}  // namespace

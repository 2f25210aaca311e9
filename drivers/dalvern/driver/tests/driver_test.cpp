// The "РФ 2160" driver's command texts, checked on a recording queue, for every
// operation of the contract as the host calls it: bytes, device mode, option bits and
// whether the command has an id; what is refused; reports and programming by position.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "drivers/dalvern/driver/tests/dalvern_fixture.h"
#include "drivers/dalvern/engine/regfisc2160code.h"
#include "platform/testing/gui_test_main.h"
#include "platform/variant/codepage.h"

using namespace tolver;
using namespace tolver::dalverntest;

namespace {

Currency C(const char* text) { return Currency::Parse(text); }

// Bytes from hexadecimal pairs: "29 00 05".
std::string B(const char* hex) {
    std::string out;
    for (const char* p = hex; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
        p += 2;
    }
    return out;
}
// A command's letters as Windows-1251 bytes (Cyrillic letters included).
std::string W(const char* text) { return Utf8ToCp1251(text); }
// A text in the register's code page.
std::string D(const char* text) { return WinToDos(Utf8ToCp1251(text)); }
std::string Pad(std::string s, std::size_t width) {
    s.resize(width, ' ');
    return s;
}

// Kinds of queued item: a command with an id, a text without one, an operator message.
Cmd Id(std::string text, int mode, int options) { return {std::move(text), mode, options, "", true}; }
Cmd NoId(std::string text, int mode, int options) { return {std::move(text), mode, options, "", false}; }
Cmd Msg(const char* description) { return {"", 0, 1, description, false}; }
Cmd Info(const char* text) { return NoId("@" + Pad(D(text), 24), 1, 2); }
// A sign-on of cashier 2 with the password 1234.
Cmd SignOn2() { return Id("50200001234", 1, 1); }
// The 44-byte article programming of article 5 ("Хлеб", department 2, tax 1).
Cmd PP5(const char* price, bool ret = false) {
    return Id("PP" + B("00 05 01") + (ret ? B("80") : B("00")) + B("00 20 00 00 00 05") + Pad(D("Хлеб"), 24) + B(price) +
                  B("00 98 96 7F"),
              1, 1);
}

void AddArticle(TSpoolerSetup& setup, int n, const char* name, int dep, int tax, const char* price, bool ret = false) {
    auto* a = static_cast<TCashArtProperties*>(setup.ArtList.CreateItem(n));
    a->Description = name;
    a->NDep = dep;
    a->NTax = tax;
    a->Price = C(price);
    a->Return = ret;
}

using Call = std::function<std::int32_t(ICashDriverAuto&)>;
using Prepare = std::function<void(DalvernOnRecorder&)>;

struct OpCase {
    const char* name;
    int version;
    Prepare prepare;
    Call call;
    bool refused;  // -1, else the id of the last queued command (the operation's own)
    Cmds cmds;
};

std::int32_t Sell(ICashDriverAuto& a, double count, const char* withoutVat, const char* sum, int art) {
    std::int32_t v = 0;
    EXPECT_EQ(a.AddPayArt(count, C(withoutVat), C(sum), art, &v), S_OK);
    return v;
}

void Sign2(DalvernOnRecorder& d) {
    std::int32_t v;
    d->RegOp(2, "Анна", "1234", &v);
}
void Pending(DalvernOnRecorder& d, const char* text) {
    std::int32_t v;
    d->AddInfo(text, &v);
}
void Bread(DalvernOnRecorder& d) { AddArticle(d.Driver().Setup, 5, "Хлеб", 2, 1, "9.99"); }
// Article 5 as a return article: a payout of it is a refund.
void ReturnBread(DalvernOnRecorder& d) { AddArticle(d.Driver().Setup, 5, "Хлеб", 2, 1, "9.99", true); }

class Operations : public ::testing::TestWithParam<OpCase> {};

TEST_P(Operations, QueueTheirCommandTexts) {
    const OpCase& c = GetParam();
    DalvernOnRecorder d(c.version);
    if (c.prepare) c.prepare(d);
    d.Take();
    const std::int32_t before = d.engine->nextId;
    const std::int32_t result = c.call(*d.object);
    const Cmds cmds = d.Take();
    EXPECT_EQ(cmds, c.cmds);
    if (c.refused)
        EXPECT_EQ(result, -1);
    else
        EXPECT_EQ(result, d.engine->nextId > before ? d.engine->nextId : 0);
}

const OpCase kOperations[] = {
    // Sales on an unidentified or newer register carry quantity and amount.
    {"SaleOfArticle5", 3, {}, [](auto& a) { return Sell(a, 1, "10.00", "12.00", 5); }, false,
     {Id(B("29 00 05 00 00 03 E8 00 00 04 B0"), 1, 2)}},
    {"SaleOfThree", 1, {}, [](auto& a) { return Sell(a, 3, "10.00", "12.00", 5); }, false,
     {Id(B("29 00 05 00 00 0B B8 00 00 04 B0"), 1, 2)}},
    {"SaleOfOneAndAHalf", 2, {}, [](auto& a) { return Sell(a, 1.5, "0.01", "0.015", 8000); }, false,
     {Id(B("29 1F 40 00 00 05 DC 00 00 00 02"), 1, 2)}},  // 1.5 hundredths round to the even 2
    {"Payout", 3, ReturnBread, [](auto& a) { return Sell(a, 1, "-7.50", "-7.50", 5); }, false,
     {Id(B("29 00 05 00 00 03 E8 00 00 02 EE"), 1, 2)}},
    {"ZeroSaleHasNoPrice", 3, {}, [](auto& a) { return Sell(a, 2, "0", "0", 5); }, false,
     {Id(B("20 00 05 00 00 00 00 00 00 07 D0"), 1, 2)}},
    // The oldest firmware sells at the programmed price: the article first.
    {"OldestSale", 0, Bread, [](auto& a) { return Sell(a, 1, "10.00", "12.00", 5); }, false,
     {PP5("00 00 04 B0"), Id(B("20 00 05 00 00 00 00 00 00 03 E8"), 1, 2)}},
    {"OldestPayout", 0, ReturnBread, [](auto& a) { return Sell(a, 1, "-7.50", "-7.50", 5); }, false,
     {PP5("00 00 02 EE", true), Id(B("20 00 05 00 00 00 00 00 00 03 E8"), 1, 2)}},
    {"OldestZeroSaleAtTheSetupPrice", 0, Bread, [](auto& a) { return Sell(a, 0.5, "0", "0", 5); }, false,
     {PP5("00 00 03 E7"), Id(B("20 00 05 00 00 00 00 00 00 01 F4"), 1, 2)}},
    {"PendingTextsPrintAfterTheSale", 3, [](auto& d) { Pending(d, "Скидка"), Pending(d, "5%"); },
     [](auto& a) { return Sell(a, 1, "1", "1", 5); }, false,
     {Id(B("29 00 05 00 00 03 E8 00 00 00 64"), 1, 2), Info("Скидка"), Info("5%")}},
    {"SetArt", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.SetArt(5, 2, 1, C("-12.00"), "Хлеб", true, &v);
         return v;
     },
     false, {PP5("00 00 04 B0", true)}},
    {"SetArtDepartment16", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.SetArt(1, 16, 8, C("0.5"), "Ёлка длинная-предлинная, зелёная", false, &v);
         return v;
     },
     false,
     {Id("PP" + B("00 01 08 00 00 00 00 00 00 01") + D("Ёлка длинная-предлинная,") + B("00 00 00 32 00 98 96 7F"), 1,
         1)}},
    // A void names the receipt's last line: by its price or by its line amount.
    {"Cancel", 3, [](auto& d) { Sell(*d.object, 1, "10", "12", 5); },
     [](auto& a) {
         std::int32_t v;
         a.DelPayArt(C("10"), C("12"), 5, &v);
         return v;
     },
     false, {Id("k", 1, 2)}},
    {"CancelByTheLineAmount", 3, [](auto& d) { Sell(*d.object, 2, "5", "5", 5); },
     [](auto& a) {
         std::int32_t v;
         a.DelPayArt(C("10"), C("10"), 5, &v);
         return v;
     },
     false, {Id("k", 1, 2)}},
    // A sale without a price sells at the register's own price: the article need not
    // be programmable.
    {"OldestZeroSaleOfAnArticleItCannotProgram", 0,
     [](auto& d) { AddArticle(d.Driver().Setup, 5, "Хлеб", 0, 1, "1"); },
     [](auto& a) { return Sell(a, 1, "0", "0", 5); }, false, {Id(B("20 00 05 00 00 00 00 00 00 03 E8"), 1, 2)}},
    // Control characters of a client's text never reach a frame: they print as blanks.
    {"ControlCharactersPrintAsBlanks", 3,
     [](auto& d) { Pending(d, "a\x01\x02\x03\x04" "b\tc\x7F"), Pending(d, "\x03\x15"); },
     [](auto& a) { return Sell(a, 1, "1", "1", 5); }, false,
     {Id(B("29 00 05 00 00 03 E8 00 00 00 64"), 1, 2), Info("a    b c")}},
    {"ControlCharactersInANameAreBlanks", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.SetArt(5, 2, 1, C("12"), "Хл\x01\x04еб", false, &v);
         return v;
     },
     false,
     {Id("PP" + B("00 05 01 00 00 20 00 00 00 05") + Pad(D("Хл  еб"), 24) + B("00 00 04 B0 00 98 96 7F"), 1, 1)}},
    // The close: pending texts, the OpenCheck text, the drawer, then the close itself.
    {"CloseWithoutTender", 3,
     [](auto& d) {
         d.Driver().AdvSettings().OpenMoneyBox = false;
         Pending(d, "A");
     },
     [](auto& a) {
         std::int32_t v;
         a.CloseCheck(C("0"), TPayType::Cash, &v);
         return v;
     },
     false, {Info("A"), Id("18", 1, 2)}},
    {"CloseAfterOpenCheckWithDrawer", 3,
     [](auto& d) {
         std::int32_t v;
         d->OpenCheck("Чек 17", &v);
         Pending(d, "A");
     },
     [](auto& a) {
         std::int32_t v;
         a.CloseCheck(C("12.34"), TPayType::Check, &v);
         return v;
     },
     false, {Info("A"), Info("Чек 17"), Id("26" + B("00 00 00 00 00 00 04 D2"), 1, 2)}},
    {"CloseOnCredit", 3, [](auto& d) { d.Driver().AdvSettings().OpenMoneyBox = false; },
     [](auto& a) {
         std::int32_t v;
         a.CloseCheck(C("-5"), TPayType::Credit, &v);
         return v;
     },
     false, {Id("17", 1, 2)}},
    {"CashIn", 3, [](auto& d) { Pending(d, "ждёт закрытия"); },
     [](auto& a) {
         std::int32_t v;
         a.AddCash(C("100"), TPayType::Cash, "Внесение", &v);
         return v;
     },
     false, {Info("Внесение"), Id("918" + B("00 00 00 00 00 00 27 10"), 1, 2)}},
    {"CashOut", 3, [](auto& d) { d.Driver().AdvSettings().OpenMoneyBox = false; },
     [](auto& a) {
         std::int32_t v;
         a.ReturnCash(C("0.01"), TPayType::Check, "", &v);
         return v;
     },
     false, {Id("906" + B("00 00 00 00 00 00 00 01"), 1, 2)}},
    {"SignOn", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.RegOp(2, "Анна", "1234", &v);
         return v;
     },
     false, {SignOn2()}},
    {"SignOff", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.UnRegOp(&v);
         return v;
     },
     false, {Id("6", 1, 1)}},
    // Information texts: cut into lines of 24, blank lines dropped.
    {"LongTextPrintsInTwoLines", 3, [](auto& d) { Pending(d, "абвгдеёжзийклмнопрстуфхцч"); },
     [](auto& a) { return Sell(a, 1, "1", "1", 5); }, false,
     {Id(B("29 00 05 00 00 03 E8 00 00 00 64"), 1, 2), Info("абвгдеёжзийклмнопрстуфхц"), Info("ч")}},
    {"TextsBreakBetweenWords", 3, [](auto& d) { Pending(d, "Спасибо за покупку, приходите\r\nещё"); },
     [](auto& a) { return Sell(a, 1, "1", "1", 5); }, false,
     {Id(B("29 00 05 00 00 03 E8 00 00 00 64"), 1, 2), Info("Спасибо за покупку,"), Info("приходите ещё")}},
    {"BlankTextsPrintNothing", 3, [](auto& d) { Pending(d, ""), Pending(d, "   "); },
     [](auto& a) { return Sell(a, 1, "1", "1", 5); }, false, {Id(B("29 00 05 00 00 03 E8 00 00 00 64"), 1, 2)}},
};

INSTANTIATE_TEST_SUITE_P(Dalvern, Operations, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.name); });

// What the register cannot take is refused with -1 and queues nothing; a sale refused
// for its sums still prints the pending texts.
const OpCase kRefusals[] = {
    {"ArticleZero", 3, {}, [](auto& a) { return Sell(a, 1, "1", "1", 0); }, true, {}},
    {"ArticleBeyondTheTable", 3, {}, [](auto& a) { return Sell(a, 1, "1", "1", 8001); }, true, {}},
    {"CountZero", 3, {}, [](auto& a) { return Sell(a, 0, "1", "1", 5); }, true, {}},
    {"CountNegative", 3, {}, [](auto& a) { return Sell(a, -2, "1", "1", 5); }, true, {}},
    {"CountNaN", 3, {}, [](auto& a) { return Sell(a, std::nan(""), "1", "1", 5); }, true, {}},
    {"CountInfinite", 3, {},
     [](auto& a) { return Sell(a, std::numeric_limits<double>::infinity(), "1", "1", 5); }, true, {}},
    {"CountRoundingToNothing", 3, {}, [](auto& a) { return Sell(a, 0.0004, "1", "1", 5); }, true, {}},
    {"QuantityBeyondFourBytes", 3, {}, [](auto& a) { return Sell(a, 2147484, "1", "1", 5); }, true, {}},
    {"AmountBeyondFourBytes", 3, {}, [](auto& a) { return Sell(a, 1, "21474836.48", "21474836.48", 5); }, true, {}},
    {"PayoutOfTwo", 3, ReturnBread, [](auto& a) { return Sell(a, 2, "-7.50", "-7.50", 5); }, true, {}},
    // The register has no payout but the sale of a return article.
    {"PayoutOfASaleArticle", 3, Bread, [](auto& a) { return Sell(a, 1, "-7.50", "-7.50", 5); }, true, {}},
    {"PayoutOfAnArticleNotInSetup", 3, {}, [](auto& a) { return Sell(a, 1, "-7.50", "-7.50", 5); }, true, {}},
    {"OldestPayoutOfASaleArticle", 0, Bread, [](auto& a) { return Sell(a, 1, "-7.50", "-7.50", 5); }, true, {}},
    // Amounts beyond what the register holds: a receipt's total, a tender, a cash move.
    {"TotalBeyondTheBound", 3, [](auto& d) { Sell(*d.object, 1, "21474836.47", "21474836.47", 5); },
     [](auto& a) { return Sell(a, 1, "0.01", "0.01", 6); }, true, {}},
    {"TenderBeyondTheBound", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.CloseCheck(C("21474836.48"), TPayType::Cash, &v);
         return v;
     },
     true, {}},
    {"TenderOfTheMostThatLongHolds", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.CloseCheck(C("922337203685477.5807"), TPayType::Cash, &v);
         return v;
     },
     true, {}},
    {"CashInBeyondTheBound", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.AddCash(C("100000000000"), TPayType::Cash, "", &v);
         return v;
     },
     true, {}},
    {"CashOutBeyondTheBound", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.ReturnCash(C("21474836.48"), TPayType::Cash, "", &v);
         return v;
     },
     true, {}},
    // A tender below the lines queued; nothing prints, the texts wait.
    {"TenderBelowTheTotal", 3,
     [](auto& d) {
         Sell(*d.object, 1, "30", "30", 5);
         Pending(d, "A");
     },
     [](auto& a) {
         std::int32_t v;
         a.CloseCheck(C("10"), TPayType::Cash, &v);
         return v;
     },
     true, {}},
    {"VoidWithoutALine", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.DelPayArt(C("10"), C("12"), 5, &v);
         return v;
     },
     true, {}},
    {"SumBelowItsNet", 3, [](auto& d) { Pending(d, "A"); }, [](auto& a) { return Sell(a, 1, "12", "10", 5); }, true,
     {Info("A")}},
    {"OldestArticleNotInSetup", 0, [](auto& d) { Pending(d, "A"); }, [](auto& a) { return Sell(a, 1, "1", "1", 5); },
     true, {Info("A")}},
    // The article could not be programmed (no department): no sale at a stale price.
    {"OldestArticleNotProgrammable", 0, [](auto& d) { AddArticle(d.Driver().Setup, 5, "Хлеб", 0, 1, "1"); },
     [](auto& a) { return Sell(a, 1, "1", "1", 5); }, true, {}},
    {"Department", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.AddPayDep("Отдел", 1, C("1"), C("1"), 1, &v);
         return v;
     },
     true, {}},
    {"DepartmentCancel", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.DelPayDep(C("1"), C("1"), 1, &v);
         return v;
     },
     true, {}},
    {"CancelAboveItsSum", 3, [](auto& d) { Sell(*d.object, 1, "10", "12", 5); },
     [](auto& a) {
         std::int32_t v;
         a.DelPayArt(C("12"), C("10"), 5, &v);
         return v;
     },
     true, {}},
    {"SetArtDepartment17", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.SetArt(5, 17, 1, C("1"), "Хлеб", false, &v);
         return v;
     },
     true, {}},
    {"SetArtTax9", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.SetArt(5, 1, 9, C("1"), "Хлеб", false, &v);
         return v;
     },
     true, {}},
    {"SetArtWithoutName", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.SetArt(5, 1, 1, C("1"), "", false, &v);
         return v;
     },
     true, {}},
    {"SetArtPriceBeyondFourBytes", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.SetArt(5, 1, 1, C("-21474836.48"), "Хлеб", false, &v);
         return v;
     },
     true, {}},
    {"CashInOfNothing", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.AddCash(C("0.0049"), TPayType::Cash, "x", &v);
         return v;
     },
     true, {}},
    {"CashOutNegative", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.ReturnCash(C("-1"), TPayType::Cash, "x", &v);
         return v;
     },
     true, {}},
    {"Cashier16", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.RegOp(16, "", "1", &v);
         return v;
     },
     true, {}},
    {"PasswordNotANumber", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.RegOp(1, "", "12a", &v);
         return v;
     },
     true, {}},
    {"PasswordOfNineDigits", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.RegOp(1, "", "100000000", &v);
         return v;
     },
     true, {}},
    {"PasswordNegative", 3, {},
     [](auto& a) {
         std::int32_t v;
         a.RegOp(1, "", "-5", &v);
         return v;
     },
     true, {}},
};

INSTANTIATE_TEST_SUITE_P(Refused, Operations, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the receipt's lines ---------------------------------------------------------------

std::int32_t Void(DalvernOnRecorder& d, const char* sum, int art) {
    std::int32_t v = 0;
    d->DelPayArt(C(sum), C(sum), art, &v);
    return v;
}
std::int32_t Close(DalvernOnRecorder& d, const char* tender) {
    std::int32_t v = 0;
    d->CloseCheck(C(tender), TPayType::Cash, &v);
    return v;
}

// The register's void takes the last line, so a void of any other line is refused
// before anything goes out; each outcome puts the receipt's lines where the register
// has them.
TEST(ReceiptLines, AVoidNamesTheLastLineStanding) {
    DalvernOnRecorder d;
    const std::int32_t bread = Sell(*d.object, 1, "12", "12", 5);
    const std::int32_t milk = Sell(*d.object, 1, "3", "3", 6);
    d.Take();
    EXPECT_EQ(Void(d, "12", 5), -1);  // not the last line
    EXPECT_EQ(Void(d, "2.99", 6), -1);  // not its amount
    EXPECT_TRUE(d.Take().empty());
    const std::int32_t voidMilk = Void(d, "3", 6);
    EXPECT_EQ(d.Take(), Cmds{Id("k", 1, 2)});
    EXPECT_EQ(Void(d, "3", 6), -1);  // already voided: bread is last now

    d.engine->OnCommandResult(bread, 0);
    d.engine->OnCommandResult(milk, 0);
    d.engine->OnCommandResult(voidMilk, -1);  // the register kept milk
    EXPECT_EQ(Void(d, "12", 5), -1);
    const std::int32_t again = Void(d, "3", 6);
    EXPECT_GT(again, 0);
    d.engine->OnCommandResult(again, 0);
    EXPECT_GT(Void(d, "12", 5), 0);

    // A sale the register refused is no line; one at the register's price is voided
    // by its article.
    const std::int32_t zero = Sell(*d.object, 1, "0", "0", 7);
    const std::int32_t refused = Sell(*d.object, 1, "4", "4", 8);
    d.engine->OnCommandResult(refused, -1);
    EXPECT_EQ(Void(d, "4", 8), -1);
    d.engine->OnCommandResult(zero, 0);
    EXPECT_GT(Void(d, "1.23", 7), 0);
}

// A tender must cover the lines queued; a receipt with a line at the register's price
// has no known total, and a refused close puts its lines back.
TEST(ReceiptLines, ATenderCoversTheTotal) {
    DalvernOnRecorder d;
    d.Driver().AdvSettings().OpenMoneyBox = false;
    Sell(*d.object, 2, "12.50", "12.50", 5);  // 25.00
    ReturnBread(d);
    Sell(*d.object, 1, "-5", "-5", 5);  // a refund of 5.00: 20.00
    d.Take();
    EXPECT_EQ(Close(d, "19.99"), -1);
    EXPECT_TRUE(d.Take().empty());
    const std::int32_t close = Close(d, "20");
    EXPECT_EQ(d.Take(), Cmds{Id("28" + B("00 00 00 00 00 00 07 D0"), 1, 2)});
    EXPECT_GT(Close(d, "1"), 0);  // the next receipt has no lines yet
    d.engine->OnCommandResult(close, -1);
    EXPECT_EQ(Close(d, "19.99"), -1);
    EXPECT_GT(Close(d, "0"), 0);  // exact payment is never refused

    DalvernOnRecorder z;
    Sell(*z.object, 1, "0", "0", 5);
    Sell(*z.object, 1, "30", "30", 6);
    EXPECT_GT(Close(z, "1"), 0);  // the register decides
}

// The drawer command, queued to go next.
Cmd Drawer() { return {"0", 1, 1, "", false, true}; }

// The drawer opens once the register has taken the close or the cash move, before
// anything queued since; not for one it refused.
TEST(ReceiptLines, TheDrawerOpensAfterAnAcceptedCloseOrCashMove) {
    DalvernOnRecorder d;
    Sell(*d.object, 1, "5", "5", 5);
    const std::int32_t refused = Close(d, "10");
    d.Take();
    d.engine->OnCommandResult(refused, -1);
    EXPECT_TRUE(d.Take().empty());
    const std::int32_t close = Close(d, "10");
    std::int32_t cashIn = 0;
    d->AddCash(C("50"), TPayType::Cash, "", &cashIn);
    d.Take();
    d.engine->OnCommandResult(close, 0);
    EXPECT_EQ(d.Take(), Cmds{Drawer()});
    d.engine->OnCommandResult(cashIn, 0);
    EXPECT_EQ(d.Take(), Cmds{Drawer()});
    d.engine->OnCommandResult(cashIn, 0);  // once only
    EXPECT_TRUE(d.Take().empty());
}

// A refused sign-on still replaces the remembered cashier; the sign-off forgets him but
// keeps the password.
TEST(Cashier, TheLastSignOnIsRemembered) {
    DalvernOnRecorder d;
    std::int32_t v;
    d->RegOp(3, "", "77", &v);
    d->RegOp(4, "", "x", &v);
    EXPECT_EQ(v, -1);
    EXPECT_EQ(d.Driver().CashierNumber, 4);
    EXPECT_EQ(d.Driver().CashierPassword, "x");
    d->UnRegOp(&v);
    EXPECT_EQ(d.Driver().CashierNumber, -1);
    EXPECT_EQ(d.Driver().CashierPassword, "x");
}

// The OpenCheck text belongs to one receipt: it prints before that receipt's close
// and not on the next one.
TEST(InfoTexts, TheOpenCheckTextPrintsOnItsReceiptOnly) {
    DalvernOnRecorder d;
    d.Driver().AdvSettings().OpenMoneyBox = false;
    std::int32_t v;
    d->OpenCheck("Чек 17", &v);
    d->CloseCheck(C("0"), TPayType::Cash, &v);
    d->CloseCheck(C("0"), TPayType::Cash, &v);
    EXPECT_EQ(d.Take(), (Cmds{Info("Чек 17"), Id("18", 1, 2), Id("18", 1, 2)}));
    EXPECT_EQ(d.Driver().CheckInfo, "");
}

// A sale refused for its article number neither prints nor drops the pending texts:
// they print after the next sale.
TEST(InfoTexts, ASaleRefusedForItsArticleKeepsThePendingTexts) {
    for (const int art : {0, 8001}) {
        DalvernOnRecorder d;
        Pending(d, "Скидка");
        EXPECT_EQ(Sell(*d.object, 1, "1", "1", art), -1) << art;
        EXPECT_TRUE(d.Take().empty()) << art;
        EXPECT_EQ(d.Driver().PendingInfo, std::vector<std::string>{"Скидка"}) << art;
        Sell(*d.object, 1, "1", "1", 5);
        EXPECT_EQ(d.Take(), (Cmds{Id(B("29 00 05 00 00 03 E8 00 00 00 64"), 1, 2), Info("Скидка")})) << art;
    }
}

// Amounts go to the register in hundredths, a half to the even neighbour.
TEST(Amounts, HundredthsRoundAHalfToEven) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"12.00", 1200}, {"0.025", 2}, {"0.035", 4}, {"0.0251", 3}, {"0.0249", 2},
        {"-0.025", -2},  {"-0.035", -4}, {"-0.0251", -3}, {"0.005", 0}, {"0.015", 2},
    };
    for (const auto& [text, hundredths] : cases) EXPECT_EQ(Hundredths(C(text)), hundredths) << text;
}

// A text of many more than 255 lines prints whole.
TEST(InfoTexts, AVeryLongTextPrintsEveryLine) {
    DalvernOnRecorder d;
    std::string text;
    for (int i = 0; i < 300; ++i) text += "слово" + std::to_string(i % 10) + "                  ";
    d.Driver().PrintInfoText(text);
    EXPECT_EQ(d.Take().size(), 300u);
}

// ---- reports and programming ---------------------------------------------------------

struct Answers {
    std::vector<std::string> prompts;
};

TEST(XReports, ByPosition) {
    DalvernOnRecorder d;
    std::vector<std::string> prompts;
    d.Driver().AskDates = [&](const std::string& p) -> std::optional<TRegFisc2160::DateRange> {
        prompts.push_back(p);
        if (prompts.size() == 2) return std::nullopt;  // the short one is cancelled
        return TRegFisc2160::DateRange{QDate(2005, 3, 1), QDate(2005, 3, 31)};
    };
    d.Driver().AskNumbers = [&](const std::string& p) -> std::optional<TRegFisc2160::NumberRange> {
        prompts.push_back(p);
        return prompts.size() == 3 ? TRegFisc2160::NumberRange{1, 25} : TRegFisc2160::NumberRange{1, 10000};
    };
    std::int32_t v;
    ASSERT_EQ(d->GetXReport("0;1;2;3;4;5;6;7;", &v), S_OK);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(d.Take(), (Cmds{NoId(W("IаX"), 2, 4), NoId(W("IжX"), 2, 4), NoId(W("IиX"), 2, 4),
                              NoId(W("JоX010305310305"), 2, 4), NoId(W("JоX000001000025"), 2, 4),
                              NoId("SP", 2, 0x14)}));
    EXPECT_EQ(prompts, (std::vector<std::string>{
                           "Введите период дат для периодического отчета по датам фискальной памяти.",
                           "Введите период дат для периодического отчета по датам фискальной памяти (сокращенного).",
                           "Введите интервал номеров для периодического отчета по номерам фискальной памяти.",
                           "Введите интервал номеров для периодического отчета по номерам фискальной памяти "
                           "(сокращенного).",
                       }));

    d->GetXReport("9;", &v);
    EXPECT_EQ(v, -1);
    d->GetXReport("", &v);
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(d.Take().empty());
}

TEST(XReports, TheOldestFirmwareGetsMessagesInstead) {
    DalvernOnRecorder d(0);
    std::int32_t v;
    d->GetXReport("2;7;", &v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(d.Take(), (Cmds{Msg("Текущий отчет по артикулам на версии прошивки 26.10.0 работает некорректно"),
                              Msg("Отчет программирования в режиме связи с компьютером на версии прошивки 26.10.0 не "
                                  "работает.\r\nЭтот отчет работает только в автономном режиме")}));
}

TEST(ZReports, ArticlesCashiersDailyEachFollowedByTheSignOn) {
    DalvernOnRecorder d;
    Sign2(d);
    d.Take();
    std::int32_t v;
    d->GetZReport("0;1;2;", &v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(d.Take(), (Cmds{NoId(W("IиZ"), 3, 4), SignOn2(), NoId(W("IжZ"), 3, 4), SignOn2(),
                              NoId(W("IаZ"), 3, 4), SignOn2()}));
    // Without a remembered cashier nobody is signed on.
    d->UnRegOp(&v);
    d.Take();
    d->GetZReport("1;", &v);
    EXPECT_EQ(d.Take(), (Cmds{NoId(W("IжZ"), 3, 4)}));
    d->GetZReport("3;", &v);
    EXPECT_EQ(v, -1);
}

TEST(ZReports, TheOldestFirmwareReprogramsItsArticlesAfterTheDailyOne) {
    DalvernOnRecorder d(0);
    Bread(d);
    AddArticle(d.Driver().Setup, 7, "Молоко", 1, 2, "0.5");
    Sign2(d);
    d.Take();
    std::int32_t v;
    d->GetZReport("0;", &v);
    const Cmds cmds = d.Take();
    ASSERT_EQ(cmds.size(), 6u);
    EXPECT_EQ(cmds[0], NoId(W("IаZ"), 3, 4));
    EXPECT_EQ(cmds[1], SignOn2());
    EXPECT_EQ(cmds[2], Msg("Сейчас будет выполнено перепрограммирование артикулов, дождитесь его окончания..."));
    EXPECT_EQ(cmds[3], PP5("00 00 03 E7"));
    EXPECT_EQ(cmds[4].text.substr(0, 4), "PP" + B("00 07"));
    EXPECT_EQ(cmds[5], Msg("Программирование артикулов окончено"));
}

class Programming : public ::testing::Test {
protected:
    Programming() {
        d.Driver().Now = [] { return QDateTime(QDate(2005, 3, 9), QTime(7, 5, 3)); };
        TSpoolerSetup& s = d.Driver().Setup;
        s.BeginMsg = {"ООО «Ромашка»", "Добро пожаловать, заходите к нам ещё и ещё раз!"};
        s.FinalMsg = {"Спасибо"};
        const char* rates[][2] = {{"20", "1.5"}, {"5.5", "0"}, {"150", "99.999"}};
        for (int i = 0; i < 3; ++i) {
            auto* t = static_cast<TCashTaxProperties*>(s.TaxList.CreateItem(i + 1));
            t->Value = C(rates[i][0]);
            t->ValueAdv = C(rates[i][1]);
        }
        auto* op = static_cast<TCashOpProperties*>(s.OpList.CreateItem(2));
        op->Description = "Анна";
        op->Password = "1234";
        op = static_cast<TCashOpProperties*>(s.OpList.CreateItem(16));  // beyond the register's 15
        op->Description = "Лишний";
        op->Password = "1";
    }
    Cmds Program(const char* items) {
        d.Take();
        std::int32_t v = 1;
        EXPECT_EQ(d->GetProgram(items, &v), S_OK);
        EXPECT_EQ(v, 0);
        return d.Take();
    }

    DalvernOnRecorder d;
    const Cmd done = Msg("Программирование окончено");
};

TEST_F(Programming, DateTimeAndCashiers) {
    EXPECT_EQ(Program("0;1;6;"),
              (Cmds{Id("PG090305", 4, 1), Id("PF070503", 4, 1), Id("PC0200001234" + Pad(D("Анна"), 24), 4, 1), done}));
}

TEST_F(Programming, HeaderAndFooterLines) {
    const std::string blank(35, ' ');
    EXPECT_EQ(Program("2;"), (Cmds{Id("PH1" + Pad(D("ООО «Ромашка»"), 35), 4, 2),
                                   Id("PH2" + D("Добро пожаловать, заходите к нам ещ"), 4, 2), Id("PH3" + blank, 4, 2),
                                   Id("PH4" + blank, 4, 2), Id("PH5" + blank, 4, 2),
                                   Id("PI1" + Pad(D("Спасибо"), 35), 4, 2), Id("PI2" + blank, 4, 2),
                                   Id("PI3" + blank, 4, 2), Id("PI4" + blank, 4, 2), Id("PI5" + blank, 4, 2), done}));
}

// A rate outside 0..99.999 is sent as zero, missing ones too; the newer firmware takes
// the levies after the rates.
TEST_F(Programming, TaxRates) {
    const std::string none5 = " 0000 0000 0000 0000 0000";
    EXPECT_EQ(Program("5;"), (Cmds{Id("PU20000 5500 0000" + none5 + " 1500 000099999" + none5, 4, 2), done}));
    DalvernOnRecorder old(0);
    old.Driver().Setup.TaxList.Assign(d.Driver().Setup.TaxList);
    std::int32_t v;
    old->GetProgram("5;", &v);
    EXPECT_EQ(old.Take(), (Cmds{Id("PT20000 5500 0000" + none5, 4, 2), done}));
}

// A rate is sent as five characters, the rate times 1000: above 99.999 (or below 0) it
// would not fit and is sent as zero.
TEST_F(Programming, TheTaxRateBound) {
    const std::pair<const char*, const char*> cases[] = {
        {"99.999", "99999"}, {"99.9991", " 0000"}, {"99.9999", " 0000"}, {"100", " 0000"},
        {"0", " 0000"},      {"-0.0001", " 0000"}, {"0.001", " 0001"},   {"7", " 7000"},
    };
    for (const auto& [rate, field] : cases) {
        d.Driver().Setup.TaxList.Clear();
        auto* t = static_cast<TCashTaxProperties*>(d.Driver().Setup.TaxList.CreateItem(1));
        t->Value = C(rate);
        t->ValueAdv = C(rate);
        const std::string none7 = " 0000 0000 0000 0000 0000 0000 0000";
        EXPECT_EQ(Program("5;"), (Cmds{Id("PU" + std::string(field) + none7 + field + none7, 4, 2), done})) << rate;
    }
}

TEST_F(Programming, FiscalCodesModesAndArticles) {
    EXPECT_EQ(Program("3;"), (Cmds{done}));  // no codes: nothing for that position
    auto& adv = d.Driver().AdvSettings();
    adv.TaxCode = "1234567890";
    adv.RegistrationCode = "РК-1234567890123456";
    adv.TaxAccumulation = true;
    Bread(d);
    EXPECT_EQ(Program("3;4;7;8;"), (Cmds{Id("PY1234567890    ", 5, 1), Id("PA" + D("РК-12345678901"), 5, 1),
                                         PP5("00 00 03 E7"), Id("PJ0501", 5, 1), Id("PJ0400", 5, 1), done}));
    std::int32_t v;
    d->GetProgram("9;", &v);
    EXPECT_EQ(v, -1);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

// The Sorbel driver's key sequences, checked on the queue of its engine (a fake
// line, no thread), for every operation of the contract as the host calls it, and
// the header captured from the print copy.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "common/encode.h"
#include "drivers/sorbel/driver/tests/sorbel_fixture.h"
#include "drivers/sorbel/engine/samser350fkeys.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/gui_test_main.h"
#include "platform/variant/codepage.h"
#include "platform/variant/utf.h"

using namespace tolver;
using namespace tolver::sorbeltest;

namespace {

constexpr int P = kSamsKeyPosP, X = kSamsKeyPosX, Z = kSamsKeyPosZ, PR = kSamsKeyPosProgram;

Currency C(const char* text) { return Currency::Parse(text); }

Keys operator+(Keys a, const Keys& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// A key without id; First marks the first key of an operation.
Keys K(int code, int kind = 0, int pos = P) { return {{code, pos, kind, 0, 0, ""}}; }
Keys First(int code, int kind = 0, int pos = P) { return {{code, pos, kind, 1, 0, ""}}; }
Keys WithId(int code, int kind, int id, int pos = P) { return {{code, pos, kind, 0, id, ""}}; }
Keys Query(const char* text, int pos) { return {{-1, pos, 0, 0, 0, text}}; }
// Digit keys ("." is the point), every one with the same flags.
Keys Digits(const std::string& digits, int pos = P, int kind = 0, int flags = 0) {
    Keys keys;
    for (const char c : digits) keys.push_back({c == '.' ? 38 : KeyOfDigit(c - '0'), pos, kind, flags, 0, ""});
    return keys;
}
int DepKey(int n) { return KeyOfDigit(n + 9); }
// Two keys per character: the hexadecimal digits of its code in the register's set.
Keys Hex(const std::string& text, int pos) {
    Keys keys;
    for (const char c : Utf8ToCp1251(text)) {
        const int d = AnsiToDevice(static_cast<std::uint8_t>(c));
        keys.push_back({KeyOfDigit(d / 16), pos, 0, 0, 0, ""});
        keys.push_back({KeyOfDigit(d % 16), pos, 0, 0, 0, ""});
    }
    return keys;
}
// One printed text line of 12 characters: in the receipt (7, 1) or outside it (1).
Keys TextLine(const std::string& text, bool receipt) {
    Keys keys = receipt ? First(7, 8) + K(1, 2) : First(1, 2);
    const std::string cp = Utf8ToCp1251(text);
    for (const char c : cp) keys = keys + K(AnsiToDevice(static_cast<std::uint8_t>(c)), 3);
    for (std::size_t i = cp.size(); i < 12; ++i) keys = keys + K(32, 3);
    return keys + K(19, 0) + K(81, 9);
}

const char* const kQueryX = "Переключите ключ на КА в положение X и нажмите кнопку ОК";
const char* const kQueryZ = "Переключите ключ на КА в положение Z и нажмите кнопку ОК";
const char* const kQueryProgram = "Переключите ключ на КА в положение П и нажмите кнопку ОК";
const char* const kDoneX = "Выполнение X-отчетов окончено. Верните ключ в положение Р";
const char* const kDoneZ = "Выполнение Z-отчетов окончено. Верните ключ в положение Р";
const char* const kDoneProgram = "Программирование окончено. Верните ключ в положение Р";

using Call = std::function<std::int32_t(ICashDriverAuto&)>;
using Prepare = std::function<void(SorbelOnFakeLine&)>;

struct OpCase {
    const char* name;
    Prepare prepare;
    Call call;
    std::int32_t result;
    Keys keys;
};

std::int32_t Result(ICashDriverAuto& d, const std::function<HRESULT(std::int32_t*)>& member) {
    std::int32_t v = -99;
    EXPECT_EQ(member(&v), S_OK);
    return v;
}

#define CALL(expr) [](ICashDriverAuto& d) { return Result(d, [&](std::int32_t* v) { return d.expr; }); }

void AddArticle(TSpoolerSetup& s, int n, int dep, int tax, const char* price, const char* name) {
    auto* a = static_cast<TCashArtProperties*>(s.ArtList.CreateItem(n));
    a->NDep = dep;
    a->NTax = tax;
    a->Price = C(price);
    a->Description = name;
}

class DriverOnFakeLine : public RegistryTest {};

// ---- receipt operations, one table --------------------------------------------------

TEST_F(DriverOnFakeLine, KeySequencesOfTheReceiptOperations) {
    const auto sysCond5 = [](int v) { return [v](SorbelOnFakeLine& s) { s.Driver().AdvSettings().SysCond5 = v; }; };
    const Prepare row0 = [](SorbelOnFakeLine& s) { s.SetModel(0); };
    const std::vector<OpCase> cases = {
        // Sales by department: 7, [count 86], the price in hundredths, the department key.
        {"department sale keys Sum", {}, CALL(AddPayDep("", 1.0, C("10"), C("12.34"), 1, v)), 1,
         First(7, 6) + K(18) + K(19) + K(23) + K(22) + WithId(55, 8, 1)},
        {"SysCond5 1 keys SumWithoutNDS", sysCond5(1), CALL(AddPayDep("", 1.0, C("10"), C("12.34"), 8, v)), 1,
         First(7, 6) + Digits("1000") + WithId(DepKey(8), 8, 1)},
        {"a named sale prints its name first", {}, CALL(AddPayDep("Хлеб белый", 1.0, C("3"), C("3"), 2, v)), 1,
         TextLine("Хлеб белый", true) + First(7, 6) + Digits("300") + WithId(DepKey(2), 8, 1)},
        {"whole count", {}, CALL(AddPayDep("", 2.0, C("5"), C("5"), 3, v)), 1,
         First(7, 6) + Digits("2") + K(86) + Digits("500") + WithId(DepKey(3), 8, 1)},
        {"fractional count", {}, CALL(AddPayDep("", 0.5, C("5"), C("5"), 3, v)), 1,
         First(7, 6) + K(17) + K(38) + K(21) + K(17) + K(17) + K(86) + Digits("500") + WithId(DepKey(3), 8, 1)},
        {"payout by department", {}, CALL(AddPayDep("", 1.0, C("100"), C("-7.5"), 4, v)), 1,
         First(7, 6) + K(87) + Digits("750") + WithId(DepKey(4), 8, 1)},
        {"a named payout prints outside the receipt", {}, CALL(AddPayDep("Возврат", 1.0, C("0"), C("-1"), 4, v)), 1,
         TextLine("Возврат", false) + First(7, 6) + K(87) + Digits("100") + WithId(DepKey(4), 8, 1)},
        {"department void", {}, CALL(DelPayDep(C("3"), C("3"), 5, v)), 1,
         First(7, 6) + Digits("300") + K(102) + WithId(DepKey(5), 8, 1)},
        {"article void goes to the article's department",
         [](SorbelOnFakeLine& s) { AddArticle(s.Driver().Setup, 12, 6, 1, "0", "x"); },
         CALL(DelPayArt(C("1"), C("1"), 12, v)), 1, First(7, 6) + Digits("100") + K(102) + WithId(DepKey(6), 8, 1)},
        // Sales by article: 7, [count 86], the article, [115 and the price], 115.
        {"article sale with a price", {}, CALL(AddPayArt(1.0, C("2"), C("2.4"), 17, v)), 1,
         First(7, 6) + Digits("17") + K(115) + Digits("240") + WithId(115, 8, 1)},
        {"article at its programmed price", {}, CALL(AddPayArt(1.0, C("0"), C("0"), 17, v)), 1,
         First(7, 6) + Digits("17") + WithId(115, 8, 1)},
        {"article whole count", {}, CALL(AddPayArt(3.0, C("1"), C("1"), 900, v)), 1,
         First(7, 6) + Digits("3") + K(86) + Digits("900") + K(115) + Digits("100") + WithId(115, 8, 1)},
        {"article fractional count", {}, CALL(AddPayArt(1.25, C("0"), C("0"), 4, v)), 1,
         First(7, 6) + Digits("1.250") + K(86) + Digits("4") + WithId(115, 8, 1)},
        // Closing: 7, [the tendered amount], the pay key.
        {"close in cash with an amount", {}, CALL(CloseCheck(C("50"), TPayType::Cash, v)), 1,
         First(7, 6) + Digits("5000") + WithId(99, 8, 1)},
        {"close in cash without amount", {}, CALL(CloseCheck(C("0"), TPayType::Cash, v)), 1,
         First(7, 6) + WithId(99, 8, 1)},
        {"close by check", {}, CALL(CloseCheck(C("12.5"), TPayType::Check, v)), 1,
         First(7, 6) + Digits("1250") + WithId(118, 8, 1)},
        {"close on credit keys no amount", {}, CALL(CloseCheck(C("12.5"), TPayType::Credit, v)), 1,
         First(7, 6) + WithId(103, 8, 1)},
        {"close with an unknown pay type", {}, CALL(CloseCheck(C("3"), static_cast<TPayType>(7), v)), 1,
         First(7, 6) + WithId(99, 8, 1)},
        // Cash in and out.
        {"cash in", {}, CALL(AddCash(C("100"), TPayType::Check, "", v)), 1,
         First(7, 6) + Digits("10000") + WithId(113, 8, 1)},
        {"cash out with a text", {}, CALL(ReturnCash(C("20"), TPayType::Cash, "Инкассация", v)), 1,
         TextLine("Инкассация", true) + First(7, 6) + Digits("2000") + WithId(87, 8, 1)},
        // Text: words wrapped to 12 characters, each line padded.
        {"text lines", {}, CALL(AddInfo("Сдача 0 рублей  спасибо\r\n", v)), 0,
         TextLine("Сдача 0", true) + TextLine("рублей", true) + TextLine("спасибо", true)},
        {"a long word is cut", {}, CALL(OpenCheck("ABCDEFGHIJKLMNOPQ", v)), 0,
         TextLine("ABCDEFGHIJKL", true) + TextLine("MNOPQ", true)},
        // Cashiers: a sign-on signs off first; both end with an id.
        {"sign on", {}, CALL(RegOp(2, "Иванов", "5173", v)), 2,
         First(17) + K(114) + WithId(7, 6, 1) + Digits("5173", P, 0, 1) + Digits("2") + K(114) + WithId(7, 6, 2)},
        {"a short password is padded", {}, CALL(RegOp(1, "", "7", v)), 2,
         First(17) + K(114) + WithId(7, 6, 1) + Digits("0007", P, 0, 1) + Digits("1") + K(114) + WithId(7, 6, 2)},
        {"sign off", {}, CALL(UnRegOp(v)), 1, First(17) + K(114) + WithId(7, 6, 1)},
        // The keyboard lock.
        {"restore unlocks", {}, CALL(Restore(v)), 1, WithId(5, 3, 1)},
        {"restore locks when asked", [](SorbelOnFakeLine& s) { s.Driver().AdvSettings().BlockKeyboard = true; },
         CALL(Restore(v)), 1, WithId(4, 3, 1)},
        {"terminate unlocks", {}, CALL(Terminate(v)), 1, WithId(5, 3, 1)},
        {"row 0 has no lock (restore)", row0, CALL(Restore(v)), 0, {}},
        {"row 0 has no lock (terminate)", row0, CALL(Terminate(v)), 0, {}},
        // Reports: framed by the operator's queries, in key position X or Z.
        {"X reports 1 and 3", {}, CALL(GetXReport("1;3;", v)), 0,
         Query(kQueryX, X) + First(115, 4, X) + First(86, 4, X) + Query(kDoneX, X)},
        {"every Z report", {}, CALL(GetZReport("3;2;1;0;", v)), 0,
         Query(kQueryZ, Z) + First(99, 4, Z) + First(115, 4, Z) + First(114, 4, Z) + First(86, 4, Z) +
             Query(kDoneZ, Z)},
    };
    for (const OpCase& c : cases) {
        SCOPED_TRACE(c.name);
        SorbelOnFakeLine s;
        if (c.prepare) c.prepare(s);
        EXPECT_EQ(c.call(*s.object), c.result);
        EXPECT_EQ(s.Queue(), c.keys);
    }
}

// Refused arguments return -1 and queue nothing: every check comes first. Amounts
// and counts that the register cannot take are refused rather than keyed wrong.
TEST_F(DriverOnFakeLine, RefusalsQueueNothing) {
    static const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto sysCond5 = [](SorbelOnFakeLine& s) { s.Driver().AdvSettings().SysCond5 = 2; };
    const auto row0 = [](SorbelOnFakeLine& s) { s.SetModel(0); };
    const auto noDecimals = [](SorbelOnFakeLine& s) { s.Driver().Setup.DigitCount = 7; };
    const std::vector<std::tuple<const char*, Prepare, Call>> cases = {
        {"sale of 0", {}, CALL(AddPayDep("", 1.0, C("0"), C("0"), 1, v))},
        {"department 0", {}, CALL(AddPayDep("", 1.0, C("1"), C("1"), 0, v))},
        {"department 9", {}, CALL(AddPayDep("", 1.0, C("1"), C("1"), 9, v))},
        {"SumWithoutNDS above Sum", {}, CALL(AddPayDep("", 1.0, C("2"), C("1"), 1, v))},
        {"an unknown price mode", sysCond5, CALL(AddPayDep("Хлеб", 1.0, C("1"), C("1"), 1, v))},
        {"a price past 32 bits of units", {}, CALL(AddPayDep("Хлеб", 1.0, C("1"), C("30000000"), 1, v))},
        {"a price below one unit", {}, CALL(AddPayDep("Хлеб", 1.0, C("0.001"), C("0.001"), 1, v))},
        {"decimal places the register lacks", noDecimals, CALL(AddPayDep("", 1.0, C("1"), C("1"), 1, v))},
        {"a payout past 32 bits", {}, CALL(AddPayDep("", 1.0, C("1"), C("-30000000"), 1, v))},
        {"count 0", {}, CALL(AddPayDep("Хлеб", 0.0, C("1"), C("1"), 1, v))},
        {"count -3", {}, CALL(AddPayDep("", -3.0, C("1"), C("1"), 1, v))},
        {"count NaN", {}, CALL(AddPayDep("", nan, C("1"), C("1"), 1, v))},
        {"count 1e12", {}, CALL(AddPayDep("", 1e12, C("1"), C("1"), 1, v))},
        {"count 3e9 with a fraction", {}, CALL(AddPayArt(3e9 + 0.5, C("1"), C("1"), 1, v))},
        {"a count that keys as 0.000", {}, CALL(AddPayDep("", 0.0004, C("1"), C("1"), 1, v))},
        {"article 0", {}, CALL(AddPayArt(1.0, C("1"), C("1"), 0, v))},
        {"article 901", {}, CALL(AddPayArt(1.0, C("1"), C("1"), 901, v))},
        {"article 251 on row 0", row0, CALL(AddPayArt(2.0, C("1"), C("1"), 251, v))},
        {"one amount 0", {}, CALL(AddPayArt(1.0, C("0"), C("1"), 5, v))},
        {"article amounts reversed", {}, CALL(AddPayArt(1.0, C("2"), C("1"), 5, v))},
        {"article price mode", sysCond5, CALL(AddPayArt(1.0, C("1"), C("1"), 5, v))},
        {"void of an article not in the setup", {}, CALL(DelPayArt(C("1"), C("1"), 5, v))},
        {"void of 0", {}, CALL(DelPayDep(C("0"), C("0"), 1, v))},
        {"cash in of 0", {}, CALL(AddCash(C("0"), TPayType::Cash, "Текст", v))},
        {"cash out past 32 bits", {}, CALL(ReturnCash(C("90000000"), TPayType::Cash, "Текст", v))},
        {"a tendered amount past 32 bits", {}, CALL(CloseCheck(C("90000000"), TPayType::Cash, v))},
        {"text of line breaks only", {}, CALL(AddInfo("\r\n \r\n", v))},
        {"cashier 0", {}, CALL(RegOp(0, "", "1", v))},
        {"cashier 10 on row 2", {}, CALL(RegOp(10, "", "1", v))},
        {"cashier 5 on row 0", row0, CALL(RegOp(5, "", "1", v))},
        {"a password that is no number", {}, CALL(RegOp(1, "", "12a", v))},
        {"an empty password", {}, CALL(RegOp(1, "", "", v))},
        {"no known X report", {}, CALL(GetXReport("4;", v))},
        {"no known Z report", {}, CALL(GetZReport("", v))},
        {"no known programming item", {}, CALL(GetProgram("8;-1;", v))},
        {"SetArt", {}, CALL(SetArt(1, 1, 1, C("5"), "Хлеб", false, v))},
    };
    for (const auto& [name, prepare, call] : cases) {
        SCOPED_TRACE(name);
        SorbelOnFakeLine s;
        if (prepare) prepare(s);
        EXPECT_EQ(call(*s.object), -1);
        EXPECT_EQ(s.Queue(), Keys{});
    }
}

// A tender that does not cover the lines queued is refused: the register would take it
// as part of a split payment and keep the receipt open. Each outcome puts the lines
// where the register has them; a line at the register's price leaves the total to it.
TEST_F(DriverOnFakeLine, ATenderMustCoverTheLinesQueued) {
    SorbelOnFakeLine s;
    AddArticle(s.Driver().Setup, 12, 6, 1, "0", "x");
    std::int32_t v = 0;
    s->AddPayDep("", 2.0, C("12.5"), C("12.5"), 1, &v);  // 25.00
    s->AddPayArt(0.5, C("10"), C("10"), 17, &v);         // 5.00
    s->AddPayDep("", 1.0, C("0"), C("-3"), 4, &v);       // payout: 27.00
    s->DelPayArt(C("1"), C("1"), 12, &v);                // void: 26.00
    const std::size_t queued = s.Queue().size();
    const auto close = [&](const char* tender, TPayType type) {
        std::int32_t id = -99;
        EXPECT_EQ(s->CloseCheck(C(tender), type, &id), S_OK);
        return id;
    };
    EXPECT_EQ(close("25.99", TPayType::Cash), -1);
    EXPECT_EQ(close("25.99", TPayType::Check), -1);
    EXPECT_EQ(s.Queue().size(), queued);
    const std::int32_t paid = close("26", TPayType::Cash);
    ASSERT_GT(paid, 0);
    s.Driver().Protocol().OnCommandResult(paid, -1);  // refused: the lines are still there
    EXPECT_EQ(close("1", TPayType::Cash), -1);
    EXPECT_GT(close("1", TPayType::Credit), 0);  // keys no amount: pays in full
    EXPECT_GT(close("0", TPayType::Cash), 0);

    SorbelOnFakeLine z;
    z->AddPayArt(1.0, C("0"), C("0"), 17, &v);
    z->AddPayArt(1.0, C("30"), C("30"), 18, &v);
    std::int32_t id = -99;
    z->CloseCheck(C("1"), TPayType::Cash, &id);
    EXPECT_GT(id, 0);
}

// ---- programming ----------------------------------------------------------------------

class Programming : public DriverOnFakeLine {
protected:
    Programming() {
        TSpoolerSetup setup;
        setup.DigitCount = 2;
        auto* tax = static_cast<TCashTaxProperties*>(setup.TaxList.CreateItem(1));
        tax->Value = C("20");
        auto* dep = static_cast<TCashDepProperties*>(setup.DepList.CreateItem(1));
        dep->NTax = 2;
        dep->Description = "Отдел 1";
        AddArticle(setup, 5, 1, 1, "12.5", "bread");
        AddArticle(setup, 6, 2, 3, "0", "Молоко");
        auto* op = static_cast<TCashOpProperties*>(setup.OpList.CreateItem(1));
        op->Password = "5173";
        setup.BeginMsg = {"ООО Ромашка", "Касса 1"};
        TCashSamsER350FDriverAdvProperties adv;
        adv.SysCond1 = 1;
        adv.SysCond4 = 2;
        adv.SysCond8 = 3;
        setup.DriverSetup.AdvPropertiesData = adv.GetAsVariant();
        EXPECT_EQ(s->set_SpoolerSetup(setup.GetAsVariant()), S_OK);
        s.Driver().CurrentTime = [] { return QTime(9, 5); };
    }
    std::int32_t Program(const std::string& items) {
        std::int32_t v = -99;
        EXPECT_EQ(s->GetProgram(items, &v), S_OK);
        return v;
    }
    static Keys Mode(int n, int value) {
        return Digits(std::to_string(n), PR, 0, 1) + K(113, 0, PR) + Digits(std::to_string(value), PR) + K(87, 1, PR);
    }
    static Keys HeaderLine(int n, const std::string& text) {
        return First(18, 0, Z) + Digits(std::to_string(n), Z) + K(86, 0, Z) + Hex(text, Z) + K(118, 1, Z);
    }

    SorbelOnFakeLine s;
};

TEST_F(Programming, EachItemFromTheSetup) {
    const Keys startP = Query(kQueryProgram, PR), endP = K(99, 1, PR);
    const Keys startZ = Query(kQueryZ, Z), endZ = K(99, 1, Z);
    const Keys done = Query(kDoneProgram, PR);
    const Keys modes = Mode(1, 1) + Mode(2, 0) + Mode(3, 0) + Mode(4, 2) + Mode(5, 0) + Mode(6, 0) + Mode(7, 0) +
                       Mode(8, 3) + Mode(9, 0);
    const Keys articles = Digits("005", PR, 0, 1) + K(115, 0, PR) + Digits("12.500", PR) + K(17, 0, PR) +
                          K(DepKey(1), 1, PR) + Digits("006", PR, 0, 1) + K(115, 0, PR) + K(82, 0, PR) +
                          K(17, 0, PR) + Digits("3", PR) + K(DepKey(2), 1, PR);
    const Keys artNames = Digits("005", Z, 0, 1) + K(115, 0, Z) + K(86, 0, Z) + Hex("Bread", Z) + K(118, 1, Z) +
                          Digits("006", Z, 0, 1) + K(115, 0, Z) + K(86, 0, Z) + Hex("Молоко", Z) + K(118, 1, Z);
    const Keys header = HeaderLine(1, "ООО Ромашка") + HeaderLine(2, "Касса 1") + HeaderLine(3, " ") +
                        HeaderLine(4, " ") + HeaderLine(5, " ");
    const std::vector<std::tuple<const char*, Keys>> cases = {
        {"0;", startP + Digits("09", PR, 0, 1) + Digits("05", PR) + K(86, 1, PR) + endP + done},
        {"1;", startZ + header + endZ + done},
        {"2;", startP + modes + endP + done},
        {"3;", startP + Digits("0", PR, 0, 1) + K(102, 1, PR) + endP + done},
        {"4;", startP + First(82, 0, PR) + K(17, 0, PR) + Digits("2", PR) + K(DepKey(1), 1, PR) + endP + startZ +
                   First(19, 0, Z) + Digits("1", Z) + K(86, 0, Z) + Hex("Отдел 1", Z) + K(118, 1, Z) + endZ + done},
        {"5;", startP + Mode(8, 4) + articles + Mode(8, 3) + endP + startZ + artNames + endZ + done},
        {"6;", startP + Digits("1", PR, 0, 1) + K(113, 0, PR) + Digits("20.000", PR) + K(97, 1, PR) + endP + done},
        {"7;", startP + First(114, 0, PR) + Digits("5173", PR) + Digits("1", PR) + K(114, 0, PR) + endP + done},
        {"3;1;", startP + Digits("0", PR, 0, 1) + K(102, 1, PR) + endP + startZ + header + endZ + done},
    };
    for (const auto& [items, keys] : cases) {
        SCOPED_TRACE(items);
        const std::size_t before = s.Queue().size();
        EXPECT_EQ(Program(items), 0);
        const Keys all = s.Queue();
        EXPECT_EQ(Keys(all.begin() + static_cast<long>(before), all.end()), keys);
    }
}

TEST_F(Programming, AModeValueOutsideItsListIsNeverKeyed) {
    // Row 0 offers four choices for mode 8: a stored 4 (or a list left without a
    // selection, 255) is left out; the other modes are programmed.
    s.SetModel(0);
    s.Driver().AdvSettings().SysCond8 = 4;
    s.Driver().AdvSettings().SysCond4 = 255;
    EXPECT_EQ(Program("2;"), 0);
    EXPECT_EQ(s.Queue(), Query(kQueryProgram, PR) + Mode(1, 1) + Mode(2, 0) + Mode(3, 0) + Mode(5, 0) + Mode(6, 0) +
                             Mode(7, 0) + Mode(9, 0) + K(99, 1, PR) + Query(kDoneProgram, PR));
}

TEST_F(Programming, EmptyListsRunNoStepButRefusedStepsCount) {
    // Articles set mode 8 to 4 and leave it when that is the configured value.
    s.Driver().AdvSettings().SysCond8 = 4;
    s.Driver().Setup.ArtList.Clear();
    s.Driver().Setup.DepList.Clear();
    EXPECT_EQ(Program("5;"), 0);
    EXPECT_EQ(s.Queue(), Query(kQueryProgram, PR) + Mode(8, 4) + K(99, 1, PR) + Query(kQueryZ, Z) +
                             Query(kDoneProgram, PR));

    // A refused department (tax 9, no name) still closes both blocks.
    SorbelOnFakeLine u;
    auto* dep = static_cast<TCashDepProperties*>(u.Driver().Setup.DepList.CreateItem(2));
    dep->NTax = 9;
    dep->Description = "";
    std::int32_t v = 0;
    EXPECT_EQ(u->GetProgram("4;", &v), S_OK);
    EXPECT_EQ(u.Queue(), Query(kQueryProgram, PR) + K(99, 1, PR) + Query(kQueryZ, Z) + K(99, 1, Z) +
                             Query(kDoneProgram, PR));
}

TEST_F(DriverOnFakeLine, ProgrammingStepsCheckTheirLimits) {
    SorbelOnFakeLine s;
    TSamsER350F& d = s.Driver();
    // Texts are cut: a header line to 26 characters, a name to 12.
    const std::string line28 = "Магазин продуктов на углу 12";
    EXPECT_EQ(d.ProgramHeaderLine(1, line28), 0);
    EXPECT_EQ(s.Queue(), First(18, 0, Z) + Digits("1", Z) + K(86, 0, Z) + Hex(Utf8Left(line28, 26), Z) + K(118, 1, Z));
    SorbelOnFakeLine t;
    EXPECT_EQ(t.Driver().ProgramDepName(3, "Хлебобулочные изделия"), 0);
    EXPECT_EQ(t.Queue(), First(19, 0, Z) + Digits("3", Z) + K(86, 0, Z) + Hex("Хлебобулочны", Z) + K(118, 1, Z));

    const std::vector<std::tuple<const char*, std::function<int(TSamsER350F&)>>> refused = {
        {"header line 6", [](TSamsER350F& x) { return x.ProgramHeaderLine(6, "a"); }},
        {"department name 9", [](TSamsER350F& x) { return x.ProgramDepName(9, "a"); }},
        {"empty department name", [](TSamsER350F& x) { return x.ProgramDepName(1, ""); }},
        {"empty article name", [](TSamsER350F& x) { return x.ProgramArtName(1, ""); }},
        {"article name 901", [](TSamsER350F& x) { return x.ProgramArtName(901, "a"); }},
        {"4 decimal places", [](TSamsER350F& x) { return x.SetDecimals(4); }},
        {"a tax rate of 100", [](TSamsER350F& x) { return x.SetTaxRate(1, C("100")); }},
        {"a negative tax rate", [](TSamsER350F& x) { return x.SetTaxRate(1, C("-1")); }},
        {"tax 5", [](TSamsER350F& x) { return x.SetTaxRate(5, C("1")); }},
        {"system mode 10", [](TSamsER350F& x) { return x.SetSystemMode(10, 1); }},
        {"department tax 0", [](TSamsER350F& x) { return x.ProgramDepartment(1, 0); }},
        {"article department 9", [](TSamsER350F& x) { return x.ProgramArticle(1, 9, C("1"), 1); }},
        {"an article price past the entry", [](TSamsER350F& x) { return x.ProgramArticle(1, 1, C("3000000000"), 1); }},
        {"cashier password", [](TSamsER350F& x) { return x.ProgramOperator(1, "51 73"); }},
        {"cashier 10", [](TSamsER350F& x) { return x.ProgramOperator(10, "1"); }},
        {"time 24:00", [](TSamsER350F& x) { return x.ProgramTime(24, 0); }},
    };
    for (const auto& [name, step] : refused) {
        SCOPED_TRACE(name);
        SorbelOnFakeLine f;
        EXPECT_EQ(step(f.Driver()), -1);
        EXPECT_EQ(f.Queue(), Keys{});
    }
    // Row 3 holds ten cashiers; the number is keyed whole.
    SorbelOnFakeLine r3(3);
    EXPECT_EQ(r3.Driver().ProgramOperator(10, "1"), 0);
    EXPECT_EQ(r3.Queue(), First(114, 0, PR) + Digits("0001", PR) + Digits("10", PR) + K(114, 0, PR));
}

// ---- the driver's own log lines ------------------------------------------------------

TEST_F(DriverOnFakeLine, OwnLogLinesWithoutATime) {
    SorbelOnFakeLine s;
    Recorder& sink = s.Connect();
    std::int32_t v = 0;
    s->AddPayArt(1.0, C("0"), C("0"), 3, &v);
    s->AddCash(C("5"), TPayType::Cash, "Размен", &v);
    s->ReturnCash(C("5"), TPayType::Cash, "", &v);
    s->CloseCheck(C("0"), TPayType::Cash, &v);
    s->AddInfo("\r\n", &v);
    std::vector<std::string> own;
    for (const std::string& line : sink.Texts(ICashDriverAutoEvents::OnProtocolLog))
        if (line.find("в очередь") == std::string::npos) own.push_back(line);
    EXPECT_EQ(own, (std::vector<std::string>{"AddPayArt: \r\n", "AddInfo: Размен\r\n", "AddCash: \r\n",
                                             "ReturnCash: \r\n", "CloseCheck: \r\n", "AddInfo: \r\n\r\n"}));
}

// ---- the receipt header ----------------------------------------------------------------

class Header : public DriverOnFakeLine {
protected:
    void Print(SorbelOnFakeLine& s, const std::string& utf8) {
        for (const char c : Utf8ToCp1251(utf8)) s.Driver().CapturePrintChar(static_cast<std::uint8_t>(c));
    }
    std::string StoredTemp() {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(TSamsER350F::kBeginMsgKey, false)) return "<none>";
        return reg.ReadString("Temp");
    }
    static constexpr const char* kLines = "ООО \"Ромашка\"\nг. Киев\n  ул. Садовая 1\n\nКАССА 1\n";
    static constexpr const char* kHeader = "ООО \"Ромашка\"\r\nг. Киев\r\n  ул. Садовая 1\r\n\r\nКАССА 1\r\n";
};

TEST_F(Header, TakenFromThePrintCopyAndStoredScrambled) {
    SorbelOnFakeLine s;
    Recorder& sink = s.Connect();
    EXPECT_EQ(s.Driver().BeginMsg, "");
    // A receipt's end; then a rule, a blank line, the header (its fourth line blank)
    // and more, as the register prints the next receipt's head.
    Print(s, "ИТОГ          12.34\r\n   ЧЕК *** 0042\r\n________________________\r\n   \r\n");
    Print(s, kLines);
    EXPECT_FALSE(s.Driver().HeaderCaptured);  // "ЧЕК ***" needs eight more lines
    Print(s, "01.02.2026 10:00\n");
    EXPECT_TRUE(s.Driver().HeaderCaptured);
    EXPECT_EQ(s.Driver().CaptureText, kHeader);
    std::string msg;
    EXPECT_EQ(s->get_BeginMsg(&msg), S_OK);
    EXPECT_EQ(msg, kHeader);

    // Every character also went on to the host.
    const std::size_t printed = Utf8ToCp1251("ИТОГ          12.34\r\n   ЧЕК *** 0042\r\n________________________\r\n   \r\n").size() +
                                Utf8ToCp1251(kLines).size() + Utf8ToCp1251("01.02.2026 10:00\n").size();
    std::size_t prints = 0;
    for (const auto& e : sink.events) prints += e.id == ICashDriverAutoEvents::OnPrint;
    EXPECT_EQ(prints, printed);

    // Stored scrambled between the markers, and read back by the next driver object.
    const std::string stored = StoredTemp();
    EXPECT_EQ(stored.find("Ромашка"), std::string::npos);
    EXPECT_EQ(Cp1251ToUtf8(ScrambleString(Utf8ToCp1251(stored), "418203", true)), std::string("!=") + kHeader + "~$");
    SorbelOnFakeLine next;
    EXPECT_EQ(next.Driver().BeginMsg, kHeader);
    EXPECT_FALSE(next.Driver().HeaderCaptured);  // it captures afresh

    // The capture ran once: a later receipt does not replace the header.
    Print(s, "ЧЕК *** 0043\nA\nB\nC\nD\nE\nF\nG\nH\nI\n");
    EXPECT_EQ(s.Driver().BeginMsg, kHeader);
}

// A header line counts only once its line feed has arrived.
TEST_F(Header, OnlyCompleteLinesAreTaken) {
    SorbelOnFakeLine s;
    Print(s, std::string(3000, '#') + "\n");  // garbage: a long line is kept only in part
    EXPECT_EQ(s.Driver().PrintCopy.front().size(), TSamsER350F::kCaptureLineWidth);
    Print(s, "ЧЕК *** 7\n________________\n________________ \n\nL1\nL2\nL3\nL4\nПоследняя");
    EXPECT_FALSE(s.Driver().HeaderCaptured);
    Print(s, " строка");
    EXPECT_FALSE(s.Driver().HeaderCaptured);
    Print(s, "\r\n");
    EXPECT_TRUE(s.Driver().HeaderCaptured);
    EXPECT_EQ(s.Driver().CaptureText, "L1\r\nL2\r\nL3\r\nL4\r\nПоследняя строка\r\n");
}

TEST_F(Header, TheStoredValueRoundTrips) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Магазин №5\r\nКасса 2\r\n", "Магазин №5\r\nКасса 2\r\n"},
        {"", ""},  // stored as an empty value
    };
    for (const auto& [header, expected] : cases) {
        SorbelOnFakeLine s;
        s.Driver().BeginMsg = header;
        s.Driver().SaveBeginMsg();
        if (header.empty()) {
            EXPECT_EQ(StoredTemp(), "");
        }
        SorbelOnFakeLine t;
        EXPECT_EQ(t.Driver().BeginMsg, expected);
    }
    // A value without the markers, or not scrambled, gives no header.
    for (const std::string& raw : {std::string("!=plain~$"), Cp1251ToUtf8(ScrambleString("!=broken", "418203", false))}) {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenKey(TSamsER350F::kBeginMsgKey, true));
        reg.WriteString("Temp", raw);
        SorbelOnFakeLine t;
        EXPECT_EQ(t.Driver().BeginMsg, "");
    }
}

// After 100 lines without a header the capture gives up; from then on each
// sign-on programs the header from the setup, unless Spooler.ini says not to.
TEST_F(Header, GivesUpAfterAHundredLines) {
    SorbelOnFakeLine s;
    s.Driver().IniFileName = (registry_.dir() / "Spooler.ini").string();
    s.Driver().BeginMsg = "old\r\n";
    s.Driver().SaveBeginMsg();
    s.Driver().Setup.BeginMsg = {"Новый заголовок"};
    std::int32_t v = -1;
    EXPECT_EQ(s->ProgramAfterReg("BeginMsg", &v), S_OK);  // nothing before a give-up
    EXPECT_EQ(v, 0);
    for (int i = 0; i < 100; ++i) Print(s, "строка " + std::to_string(i) + "\n");
    EXPECT_FALSE(s.Driver().HeaderCaptured);
    EXPECT_EQ(s.Queue(), Keys{});
    Print(s, "x");  // the print copy now holds 101 lines
    EXPECT_TRUE(s.Driver().HeaderCaptured);
    EXPECT_EQ(s.Driver().CaptureText, "");
    EXPECT_EQ(s.Driver().BeginMsg, "");
    EXPECT_EQ(StoredTemp(), "");
    const Keys program = Query(kQueryZ, Z) + First(18, 0, Z) + Digits("1", Z) + K(86, 0, Z) +
                         Hex("Новый заголовок", Z) + K(118, 1, Z);
    Keys blank;
    for (int n = 2; n <= 5; ++n) blank = blank + First(18, 0, Z) + Digits(std::to_string(n), Z) + K(86, 0, Z) + Hex(" ", Z) + K(118, 1, Z);
    const Keys once = program + blank + K(99, 1, Z) + Query(kDoneProgram, Z);
    EXPECT_EQ(s.Queue(), once);
    Print(s, "ЧЕК ***\n1\n2\n3\n4\n5\n6\n7\n8\n9\n");  // too late
    EXPECT_EQ(s.Driver().CaptureText, "");

    // Each later sign-on programs it again; another parameter does nothing.
    EXPECT_EQ(s->ProgramAfterReg("BeginMsg", &v), S_OK);
    EXPECT_EQ(s->ProgramAfterReg("", &v), S_OK);
    EXPECT_EQ(s.Queue(), once + once);

    // "NoAutoProgram" switches it off.
    std::ofstream(s.Driver().IniFileName) << "[Sorbel]\nNoAutoProgram=1\n";
    EXPECT_EQ(s->ProgramAfterReg("BeginMsg", &v), S_OK);
    EXPECT_EQ(s.Queue(), once + once);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

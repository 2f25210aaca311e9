// Dalvern.csh as the host uses it: installed with tolver-regsvr, discovered through
// its plain exports, created by ProgID, connected through EventIID, and driven end to
// end against the "РФ 2160" simulator on a pseudo-terminal, on the lockstep clock
// (virtual time, every byte in flight delivered before the engine's pauses end).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "common/cashgl.h"
#include "common/utilgl.h"
#include "drivers/contract/driverlibrary.h"
#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/sorbel_tlb.h"
#include "drivers/contract/testing/driver_module.h"
#include "drivers/dalvern/engine/regfisc2160code.h"
#include "platform/com/cocreate.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/gui_test_main.h"
#include "platform/testing/module_symbols.h"
#include "platform/testing/run_until.h"
#include "platform/testing/shell_tool.h"
#include "platform/variant/codepage.h"
#include "sim/rf2160/rf2160sim.h"
#include "sim/simline.h"

using namespace tolver;
namespace fs = std::filesystem;

namespace {

constexpr int kCom = 7;

using testutil::Id;
using testutil::Quoted;
using testutil::RegSvr;
using testutil::RunUntil;

Currency C(const char* text) { return Currency::Parse(text); }

// Bytes of a big-endian number.
std::string Be(int n, std::int64_t v) {
    std::string s(static_cast<std::size_t>(n), '\0');
    for (int i = n - 1; i >= 0; --i, v >>= 8) s[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xFF);
    return s;
}

class DalvernModule : public RegistryTest {};

TEST_F(DalvernModule, InstallsDiscoversAndUninstalls) {
    ASSERT_NO_FATAL_FAILURE(testutil::ExpectInstalledAndDiscovered(
        {DALVERN_MODULE, "Dalvern.csh", "Dalvern.RegFisc2160CashDriverAuto", "{04F6444A-9921-4A7D-B11E-EA301CE96F0D}",
         "{305A58FC-4036-48D1-8132-2BB3337CB5CF}", "Dalvern Library", "РФ 2160", 3},
        registry_.dir() / "bin"));
    ASSERT_EQ(RegSvr(Quoted(DALVERN_MODULE) + " /u"), 0);
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "\\Dalvern.RegFisc2160CashDriverAuto"));
}

// ---- end to end ---------------------------------------------------------------------

class EndToEnd : public RegistryTest {
protected:
    EndToEnd() {
        EXPECT_EQ(RegSvr(Quoted(DALVERN_MODULE)), 0);
    }

    // Creates the object by ProgID, connects the host's receiver through EventIID,
    // puts the setup and the line, and opens it.
    void Connect() {
        object = CreateOleObject("Dalvern.RegFisc2160CashDriverAuto");
        ASSERT_TRUE(object);
        TDriverEvents e;
        e.OnCommandResult = [this](std::int32_t id, std::int32_t result) { results[id].push_back(result); };
        e.OnProtocolError = [this](const std::string& text) { errors.push_back(text); };
        e.OnProtocolQuery = [this](const std::string& text) { queries.push_back(text); };
        receiver.Events() = e;
        receiver.Connect(object.get());
        d = ComPtr<ICashDriverAuto>::Query(object.get());
        ASSERT_TRUE(d);
        std::string cause;
        ASSERT_NO_FATAL_FAILURE(
            testutil::OpenAsTheHost(*d, object.get(), VarArray({"", "", true, false, false}), kCom, cause));
    }

    void Disconnect() {
        ASSERT_EQ(d->Done(), S_OK);
        receiver.Disconnect();
        d.reset();
        object.reset();
    }

    TRf2160Sim sim;
    TSimLine line{sim, kCom};
    TLockstepClock& clock = line.clock;
    ComPtr<IDispatch> object;
    ComPtr<ICashDriverAuto> d;
    TDriverEventReceiver receiver;
    std::map<std::int32_t, std::vector<int>> results;
    std::vector<std::string> errors, queries;
};

TEST_F(EndToEnd, AReceiptAndAnXReport) {
    Connect();
    std::int32_t v = 0;
    // Before the register has identified itself, the limits are those of the default row.
    Variant limits;
    ASSERT_EQ(d->get_Constraints(&limits), S_OK);
    TCashDriverConstraints c;
    VariantToCashDriverConstraints(c, limits);
    EXPECT_EQ(c.VersionName, "2160.01.O");

    std::vector<std::int32_t> ids;
    ids.push_back(Id(d->RegOp(2, "Анна", "1234", &v), v));
    ids.push_back(Id(d->AddPayArt(1, C("10"), C("12"), 5, &v), v));
    ids.push_back(Id(d->DelPayArt(C("10"), C("12"), 5, &v), v));
    ids.push_back(Id(d->AddCash(C("100"), TPayType::Cash, "", &v), v));
    ids.push_back(Id(d->ReturnCash(C("50"), TPayType::Cash, "", &v), v));
    EXPECT_EQ(Id(d->AddInfo("Спасибо за покупку", &v), v), 0);
    ids.push_back(Id(d->CloseCheck(C("20"), TPayType::Cash, &v), v));
    EXPECT_EQ(Id(d->GetXReport("0;", &v), v), 0);
    // The sign-on, sale, cancel, cash in, cash out and the close; the drawer openings
    // that follow the cash moves and the close have no id.
    EXPECT_EQ(ids, (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6}));

    ASSERT_TRUE(RunUntil([&] { return results.size() == 6u; }, 120000));
    for (std::int32_t id = 1; id <= 6; ++id) EXPECT_EQ(results[id], std::vector<int>{0}) << id;
    // The X report has no id; it is done once the register has executed it.
    ASSERT_TRUE(RunUntil([&] { return sim.ExecutedCount(Utf8ToCp1251("IаX")) == 1; }, 120000));

    std::vector<std::string> texts;
    for (const TRf2160Executed& e : sim.Executed()) texts.push_back(e.text);
    std::string info = WinToDos(Utf8ToCp1251("Спасибо за покупку"));
    info.resize(24, ' ');
    // The mode switches go first: to РАБОТА after opening, to X for the report. The
    // drawer opens once its cash move or close is done, before what was queued since.
    EXPECT_EQ(texts, (std::vector<std::string>{"o173920461", "50200001234", ")" + Be(2, 5) + Be(4, 1000) + Be(4, 1200),
                                               "k", "918" + Be(8, 10000), "0", "908" + Be(8, 5000), "0", "@" + info,
                                               "28" + Be(8, 2000), "0", "o273920461", Utf8ToCp1251("IаX")}));
    // What the register booked: the sale and its void leave nothing to pay.
    EXPECT_EQ(sim.Journal(), (std::vector<std::string>{
                                 "sign-on 2", "sale art 5 qty 1.000 price 12.00 sum 12.00", "void art 5 qty 1.000 sum -12.00",
                                 "cash-in cash 100.00", "drawer", "cash-out cash 50.00", "drawer",
                                 "text Спасибо за покупку", "close 1 total 0.00 cash tender 20.00 change 20.00", "drawer",
                                 "report X daily"}));
    EXPECT_EQ(sim.Books().DrawerCash(), 5000);
    EXPECT_TRUE(errors.empty()) << errors.front();
    bool up = false;
    ASSERT_EQ(d->get_InInteraction(&up), S_OK);
    EXPECT_TRUE(up);
    std::string deviceId;
    ASSERT_EQ(d->get_ID(&deviceId), S_OK);
    EXPECT_EQ(deviceId, "2160004217");
    Disconnect();
}

// The oldest firmware, once identified, changes the limits' row and the sale: the
// article is programmed from the setup before each sale, which carries no price.
TEST_F(EndToEnd, TheOldestFirmwareSellsAtTheProgrammedPrice) {
    sim.SetVersion("26.10.0");
    Connect();
    TSpoolerSetup setup;
    auto* art = static_cast<TCashArtProperties*>(setup.ArtList.CreateItem(5));
    art->Description = "Хлеб";
    art->NDep = 2;
    art->NTax = 1;
    art->Price = C("9.99");
    ASSERT_EQ(d->set_SpoolerSetup(setup.GetAsVariant()), S_OK);
    std::string description;
    ASSERT_TRUE(RunUntil([&] {
        d->get_CashModelDescription(&description);
        return description == "РФ 2160\x01" "26.10.0";
    }, 120000));
    std::int32_t v = 0;
    const std::int32_t sale = Id(d->AddPayArt(1, C("10"), C("12"), 5, &v), v);
    EXPECT_EQ(sale, 2);  // after the article's programming
    ASSERT_TRUE(RunUntil([&] { return results.size() == 2u; }, 120000));
    EXPECT_EQ(results[1], std::vector<int>{0});
    EXPECT_EQ(results[2], std::vector<int>{0});
    std::string name = WinToDos(Utf8ToCp1251("Хлеб"));
    name.resize(24, ' ');
    std::vector<std::string> texts;
    for (const TRf2160Executed& e : sim.Executed()) texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"o173920461",
                                               "PP" + Be(2, 5) + std::string("\x01\0\0\x20", 4) + Be(4, 5) + name +
                                                   Be(4, 1200) + Be(4, 9999999),
                                               " " + Be(2, 5) + Be(8, 1000)}));
    // Sold at the price of the sale, not at the setup's 9.99.
    EXPECT_EQ(sim.Journal(), (std::vector<std::string>{"article 5 dep 2 tax 1 price 12.00 sale Хлеб",
                                                       "sale art 5 qty 1.000 price 12.00 sum 12.00"}));
    EXPECT_TRUE(errors.empty()) << errors.front();
    Disconnect();
}

// The reliability figure: a point-of-sale program's day of sales, one operation at a
// time, while the register misbehaves on a schedule (refusals, lost and late
// acknowledgements, malformed, split and foreign replies, stray bytes, silence, error
// statuses). Every operation gets exactly one result, and no text is executed twice.
// (An acknowledgement later than the engine's 1 s is not in the schedule: the
// protocol then prescribes sending the frame again, which a register that did execute
// it records twice.)
TEST_F(EndToEnd, EveryOperationGetsOneResultUnderFaults) {
    constexpr int kOperations = 220;
    const char* const kSchedule[] = {
        "nak 2", "no-ack", "late-ack 800", "damaged", "split 300", "bad-sum", "garbage 41 06 42", "ack-in-frame",
        "ack-only", "unrecognised", "error 04", "error 01 01", "silent 5000", "error 80 02",
    };
    std::string script;
    int faults = 0;
    for (int at = 5; at < kOperations; at += 7, ++faults)
        script += "cmd " + std::to_string(at) + " " + kSchedule[faults % std::size(kSchedule)] + ";";
    sim.AddFaults(ParseRf2160Faults(script));
    Connect();
    // Malformed replies end their command with result 1 rather than sending it again.
    std::string cause;
    std::int32_t v = -1;
    ASSERT_EQ(d->Done(), S_OK);
    ASSERT_EQ(d->Init(VarArray({VarArray({3, "Dalvern.RegFisc2160CashDriverAuto"}), 3, 5, 30, true}), &cause, &v), S_OK);
    ASSERT_EQ(v, 0) << cause;

    std::map<int, int> byResult;
    std::vector<std::int32_t> ids;
    for (int i = 0; i < kOperations; ++i) {
        // Distinct amounts make every sale's text distinct on the wire.
        const Currency sum = Currency::FromRaw(10000 + 100 * i);
        const std::int32_t id = Id(d->AddPayArt(1, sum, sum, 1 + i % 50, &v), v);
        ASSERT_GT(id, 0);
        ASSERT_TRUE(RunUntil([&] { return results.count(id) == 1; }, 120000)) << "operation " << i;
        ASSERT_EQ(results[id].size(), 1u) << "operation " << i;
        ++byResult[results[id][0]];
        ids.push_back(id);
    }
    // A late duplicate would show up after the last operation.
    const std::int64_t end = clock.NowMs() + 10000;
    ASSERT_TRUE(RunUntil([&] { return clock.NowMs() >= end; }, 120000));
    for (const auto& [id, got] : results) EXPECT_EQ(got.size(), 1u) << id;
    EXPECT_EQ(results.size(), static_cast<std::size_t>(kOperations));
    std::map<std::string, int> executed;
    for (const TRf2160Executed& e : sim.Executed())
        if (e.text[0] == ')') ++executed[e.text];
    int twice = 0;
    for (const auto& [text, n] : executed) twice += n > 1;
    EXPECT_EQ(twice, 0);
    // The register's journal: a sale done is booked once, any other at most once.
    for (int i = 0; i < kOperations; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "sale art %d qty 1.000 price %d.%02d sum %d.%02d", 1 + i % 50, 1 + i / 100,
                      i % 100, 1 + i / 100, i % 100);
        const auto n = std::count(sim.Journal().begin(), sim.Journal().end(), line);
        const int result = results[ids[static_cast<std::size_t>(i)]][0];
        if (result == 0) {
            EXPECT_EQ(n, 1) << line;
        } else {
            EXPECT_LE(n, 1) << line;
        }
    }
    std::printf("reliability: %d operations, %zu results (%d done, %d failed, %d malformed), %d faults scheduled, "
                "%zu sales executed, %d executed twice, %lld s of register time\n",
                kOperations, results.size(), byResult[0], byResult[-1], byResult[1], faults, executed.size(), twice,
                static_cast<long long>(clock.NowMs() / 1000));
    Disconnect();
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

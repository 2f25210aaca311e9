// Sorbel.csh as the host uses it: installed with tolver-regsvr, discovered through
// its plain exports, created by ProgID, and driven end to end against the register
// simulator on a pseudo-terminal. Time is the lockstep clock's (virtual, moving
// only when the engine sleeps, every byte in flight delivered first), handed to the
// module's engine through the default line.
#include <dlfcn.h>
#include <gtest/gtest.h>


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
#include "drivers/sorbel/engine/samser350fkeys.h"
#include "platform/com/cocreate.h"
#include "platform/com/connpoint.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"
#include "platform/testing/gui_test_main.h"
#include "platform/testing/module_symbols.h"
#include "platform/testing/run_until.h"
#include "platform/testing/shell_tool.h"
#include "platform/variant/codepage.h"
#include "sim/er350f/samser350fsim.h"
#include "sim/simline.h"

using namespace tolver;
namespace fs = std::filesystem;

namespace {

constexpr int kCom = 7;

using testutil::Id;
using testutil::Quoted;
using testutil::RegSvr;
using testutil::RunUntil;

template <class F>
F Export(void* module, const char* name) {
    return reinterpret_cast<F>(dlsym(module, name));
}

class SorbelModule : public RegistryTest {};

TEST_F(SorbelModule, InstallsDiscoversAndUninstalls) {
    ASSERT_NO_FATAL_FAILURE(testutil::ExpectInstalledAndDiscovered(
        {SORBEL_MODULE, "Sorbel.csh", "Sorbel.CashDriverAuto", "{849C7025-B964-11D4-8407-00104B205A89}",
         "{849C7020-B964-11D4-8407-00104B205A89}", "Sorbel Library", "Samsung ER-350F STU", 1},
        registry_.dir() / "bin"));
    TRegistry reg(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\{849C7025-B964-11D4-8407-00104B205A89}\\InprocServer32", false));
    EXPECT_EQ(reg.ReadString("ThreadingModel"), "Apartment");

    ASSERT_EQ(RegSvr(Quoted(SORBEL_MODULE) + " /u"), 0);
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "\\Sorbel.CashDriverAuto"));
    EXPECT_FALSE(RegKeyExists(HKEY_CLASSES_ROOT, "\\CLSID\\{849C7025-B964-11D4-8407-00104B205A89}"));
    EXPECT_NE(RegSvr(Quoted((registry_.dir() / "none.csh").string())), 0);
    EXPECT_NE(RegSvr(""), 0);
}

// ---- end to end ---------------------------------------------------------------------

// What the host hears: every event recorded; the operator turns the register's key
// as each query asks before pressing OK.
struct Host {
    std::map<int, std::vector<int>> results;
    std::vector<std::string> queries, errors;
    std::string printed;  // Windows-1251
    int modelChanges = 0;

    TDriverEvents Events(TSamsER350FSim& sim) {
        TDriverEvents e;
        e.OnCommandResult = [this](std::int32_t id, std::int32_t result) { results[id].push_back(result); };
        e.OnPrint = [this](std::int32_t c) { printed += static_cast<char>(c); };
        e.OnProtocolError = [this](const std::string& text) { errors.push_back(text); };
        e.OnModelChange = [this] { ++modelChanges; };
        e.OnProtocolQuery = [this, &sim](const std::string& text) {
            queries.push_back(text);
            const std::pair<const char*, std::uint8_t> turns[] = {
                {"положение X", kSamsKeyPosX}, {"положение Z", kSamsKeyPosZ}, {"положение П", kSamsKeyPosProgram},
                {"положение Р", kSamsKeyPosP}};
            for (const auto& [words, pos] : turns)
                if (text.find(words) != std::string::npos) sim.SetKeyPos(pos);
        };
        return e;
    }
};

// The keys a register receives, written out.
std::string Digits(const std::string& digits) {
    std::string keys;
    for (const char c : digits) keys += static_cast<char>(c == '.' ? std::uint8_t{kSamsKeyPoint} : KeyOfDigit(c - '0'));
    return keys;
}
std::string KeyBytes(std::initializer_list<int> codes) {
    std::string keys;
    for (const int c : codes) keys += static_cast<char>(c);
    return keys;
}
std::string TextLine(const std::string& text) {
    std::string keys = KeyBytes({7, 1});
    const std::string cp = Utf8ToCp1251(text);
    for (const char c : cp) keys += static_cast<char>(AnsiToDevice(static_cast<std::uint8_t>(c)));
    keys.append(12 - cp.size(), ' ');
    return keys + KeyBytes({19, 81});
}

class EndToEnd : public RegistryTest {
protected:
    TSamsER350FSim sim;
    TSimLine line{sim, kCom};
    TLockstepClock& clock = line.clock;
};

TEST_F(EndToEnd, ASaleTheWayTheSpoolerMakesIt) {
    const std::vector<std::string> header = {"  ООО \"РОМАШКА\"", "  г. Киев", "  ул. Садовая, 1", "", "  КАССА N 1"};
    sim.SetHeader(header);
    ASSERT_EQ(RegSvr(Quoted(SORBEL_MODULE)), 0);

    // Create by ProgID; the receiver reads EventIID by name and connects there.
    ComPtr<IDispatch> object = CreateOleObject("Sorbel.CashDriverAuto");
    ASSERT_TRUE(object);
    Host host;
    TDriverEventReceiver receiver(host.Events(sim));
    receiver.Connect(object.get());
    EXPECT_EQ(receiver.EventIID(), StringToGUID(DispatchGet(object.get(), "EventIID").toString()));
    ComPtr<ICashDriverAuto> d = ComPtr<ICashDriverAuto>::Query(object.get());
    ASSERT_TRUE(d);

    // The connect sequence.
    Variant limits;
    ASSERT_EQ(d->get_Constraints(&limits), S_OK);
    TCashDriverConstraints c;
    VariantToCashDriverConstraints(c, limits);
    EXPECT_EQ(c.MaxDep, 8);
    std::int32_t v = -1;
    ASSERT_EQ(d->ProgramAfterReg("", &v), S_OK);
    std::string cause;
    ASSERT_NO_FATAL_FAILURE(
        testutil::OpenAsTheHost(*d, object.get(), VarArray({0, 0, 0, 0, 0, 0, 0, 3, 0, false}), kCom, cause));
    EXPECT_EQ(cause, "");
    EXPECT_EQ(host.modelChanges, 1);
    const std::int32_t restore = Id(d->Restore(&v), v);
    EXPECT_EQ(restore, 1);

    // The sale.
    std::vector<std::int32_t> ids = {restore};
    const std::int32_t signOn = Id(d->RegOp(1, "Кассир 1", "5173", &v), v);
    ids.push_back(signOn - 1);  // the sign-off before it
    ids.push_back(signOn);
    ids.push_back(Id(d->AddPayDep("Хлеб", 1.0, Currency::Parse("10"), Currency::Parse("12"), 1, &v), v));
    ids.push_back(Id(d->AddPayArt(2.0, Currency::Parse("5"), Currency::Parse("6"), 5, &v), v));
    ids.push_back(Id(d->DelPayDep(Currency::Parse("12"), Currency::Parse("12"), 1, &v), v));
    ids.push_back(Id(d->AddCash(Currency::Parse("100"), TPayType::Cash, "", &v), v));
    ids.push_back(Id(d->ReturnCash(Currency::Parse("50"), TPayType::Cash, "", &v), v));
    EXPECT_EQ(Id(d->AddInfo("Спасибо за покупку", &v), v), 0);
    ids.push_back(Id(d->CloseCheck(Currency::Parse("20"), TPayType::Cash, &v), v));
    EXPECT_EQ(Id(d->GetXReport("0;", &v), v), 0);
    // The terminate step follows at once: the queue is complete before the line
    // runs, so every run sees the same bytes at the same virtual times.
    const std::int32_t terminate = Id(d->Terminate(&v), v);
    ids.push_back(terminate);
    const std::vector<std::int32_t> expectedIds = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(ids, expectedIds);

    ASSERT_TRUE(RunUntil([&] { return host.results.size() == ids.size(); }, 120000));
    for (const std::int32_t id : ids) EXPECT_EQ(host.results[id], std::vector<int>{0}) << id;
    bool up = false;
    ASSERT_EQ(d->get_InInteraction(&up), S_OK);
    EXPECT_TRUE(up);
    std::string id;
    ASSERT_EQ(d->get_ID(&id), S_OK);
    EXPECT_EQ(id, "ER350F0001");
    // The X report's print copy follows its key; the next poll brings it in.
    const std::int64_t end = clock.NowMs() + 4000;
    ASSERT_TRUE(RunUntil([&] { return clock.NowMs() >= end; }, 120000));

    // The register received exactly these keys.
    const std::string keys = KeyBytes({5}) + KeyBytes({17, 114, 7}) + Digits("5173") + Digits("1") +
                             KeyBytes({114, 7}) + TextLine("Хлеб") + KeyBytes({7}) + Digits("1200") +
                             KeyBytes({KeyOfDigit(10)}) + KeyBytes({7}) + Digits("2") + KeyBytes({86}) +
                             Digits("5") + KeyBytes({115}) + Digits("600") + KeyBytes({115}) + KeyBytes({7}) +
                             Digits("1200") + KeyBytes({102, KeyOfDigit(10)}) + KeyBytes({7}) + Digits("10000") +
                             KeyBytes({113}) + KeyBytes({7}) + Digits("5000") + KeyBytes({87}) +
                             TextLine("Спасибо за") + TextLine("покупку") + KeyBytes({7}) + Digits("2000") +
                             KeyBytes({99}) + KeyBytes({99}) + KeyBytes({5});
    EXPECT_EQ(sim.Keys(), keys);
    EXPECT_EQ(host.queries,
              (std::vector<std::string>{"Переключите ключ на КА в положение X и нажмите кнопку ОК",
                                        "Выполнение X-отчетов окончено. Верните ключ в положение Р"}));
    EXPECT_TRUE(host.errors.empty()) << host.errors.front();

    // OnPrint relayed the print copy, line for line.
    std::string tape;
    for (const std::string& line : sim.Tape()) tape += line + "\n";
    EXPECT_EQ(Cp1251ToUtf8(host.printed), tape);
    EXPECT_NE(tape.find("ФИНАНСОВЫЙ"), std::string::npos);
    // The header that the register printed after the receipt was captured.
    std::string beginMsg;
    ASSERT_EQ(d->get_BeginMsg(&beginMsg), S_OK);
    EXPECT_EQ(beginMsg, LinesToText(header));

    ASSERT_EQ(d->Done(), S_OK);
    receiver.Disconnect();
    EXPECT_FALSE(receiver.Connected());
    d.reset();
    object.reset();
    void* module = dlopen(fs::canonical(SORBEL_MODULE).c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Export<DllCanUnloadNowProc>(module, "DllCanUnloadNow")(), S_OK);
    dlclose(module);
}

}  // namespace

TOLVER_GUI_TEST_MAIN()

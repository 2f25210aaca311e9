#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "common/cashgl.h"
#include "drivers/contract/driverlibrary.h"
#include "drivers/contract/eventreceiver.h"
#include "drivers/contract/tests/fixture_driver.h"
#include "platform/com/cocreate.h"
#include "platform/com/connpoint.h"
#include "platform/registry/registry_fixture.h"
#include "platform/registry/regtext.h"
#include "platform/testing/module_symbols.h"

using namespace tolver;
namespace fs = std::filesystem;

namespace {

// --- The contract's tables -------------------------------------------------------

TEST(Contract, SlotsFollowTheDeclarationsAndDispidsAreFixed) {
    const InterfaceInfo& info = ICashDriverAuto::TypeInfo();
    ASSERT_EQ(info.Members().size(), 42u);
    std::set<DISPID> dispids;
    for (std::size_t i = 0; i < info.Members().size(); ++i) {
        const MemberInfo& m = info.Members()[i];
        SCOPED_TRACE(m.name);
        EXPECT_EQ(m.slot, static_cast<int>(7 + i));  // after IUnknown's 3 and IDispatch's 4
        EXPECT_EQ(m.compiledSlot, m.slot);           // the C++ declaration has the same slot
        dispids.insert(m.dispid);
    }
    EXPECT_EQ(dispids.size(), 38u);
    EXPECT_EQ(*dispids.begin(), 1);
    EXPECT_EQ(*dispids.rbegin(), 38);

    const struct {
        const char* name;
        MemberKind kind;
        int slot;
        DISPID dispid;
    } cases[] = {
        {"EventIID", MemberKind::PropertyGet, 38, 32},
        {"Constraints", MemberKind::PropertyGet, 39, 34},
        {"ReturnCash", MemberKind::Method, 40, 18},
        {"Properties", MemberKind::PropertyGet, 9, 3},
        {"Properties", MemberKind::PropertyPut, 10, 3},
        {"CashModelDescription", MemberKind::PropertyGet, 48, 38},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MemberInfo* m = info.FindByName(c.name, c.kind);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->slot, c.slot);
        EXPECT_EQ(m->dispid, c.dispid);
    }
}

// Every member of ICashDriverAuto: kind, name, slot, DISPID and parameters, each
// "Name:Type" (a trailing "&" for in/out), the result after "->" (named Value unless
// it says otherwise). Types: I4, UI1, R8, CY, BOOL, BSTR, VARIANT, HRESULT (the
// operations' integer results, as the type library declares them), TPayType.
struct ContractRow {
    MemberKind kind;
    const char* name;
    int slot;
    DISPID dispid;
    const char* params;
};
constexpr MemberKind G = MemberKind::PropertyGet, P = MemberKind::PropertyPut, M = MemberKind::Method;
const ContractRow kContract[] = {
    {G, "PropertiesForm", 7, 1, "-> I4"},
    {G, "InfoForm", 8, 2, "-> I4"},
    {G, "Properties", 9, 3, "-> VARIANT"},
    {P, "Properties", 10, 3, "Value:VARIANT"},
    {M, "Init", 11, 4, "CashDriverProperties:VARIANT Cause:BSTR& -> HRESULT"},
    {M, "Done", 12, 5, ""},
    {G, "ComNumber", 13, 6, "-> UI1"},
    {P, "ComNumber", 14, 6, "Value:UI1"},
    {G, "Baud", 15, 7, "-> I4"},
    {P, "Baud", 16, 7, "Value:I4"},
    {G, "AdvProperties", 17, 8, "-> VARIANT"},
    {P, "AdvProperties", 18, 8, "Value:VARIANT"},
    {G, "AdvPropertiesForm", 19, 9, "-> I4"},
    {G, "ProgramItems", 20, 10, "-> BSTR"},
    {G, "XReportItems", 21, 11, "-> BSTR"},
    {G, "ZReportItems", 22, 12, "-> BSTR"},
    {M, "GetXReport", 23, 13, "Items:BSTR -> HRESULT"},
    {M, "GetZReport", 24, 14, "Items:BSTR -> HRESULT"},
    {M, "GetProgram", 25, 15, "Items:BSTR -> HRESULT"},
    {P, "SpoolerSetup", 26, 16, "Value:VARIANT"},
    {M, "AddPayDep", 27, 17, "Name:BSTR Count:R8 SumWithoutNDS:CY Sum:CY NDep:I4 -> HRESULT"},
    {M, "AddPayArt", 28, 21, "Count:R8 SumWithoutNDS:CY Sum:CY NArt:I4 -> HRESULT"},
    {M, "AddCash", 29, 24, "Sum:CY PayType:TPayType Info:BSTR -> HRESULT"},
    {M, "CloseCheck", 30, 25, "Sum:CY PayType:TPayType -> HRESULT"},
    {M, "RegOp", 31, 26, "NOp:I4 NameOp:BSTR Password:BSTR -> HRESULT"},
    {M, "UnRegOp", 32, 27, "-> HRESULT"},
    {G, "InInteraction", 33, 28, "-> BOOL"},
    {G, "ID", 34, 29, "-> BSTR"},
    {M, "AddInfo", 35, 33, "Value:BSTR -> Value1:HRESULT"},
    {M, "Restore", 36, 30, "-> HRESULT"},
    {M, "Terminate", 37, 31, "-> HRESULT"},
    {G, "EventIID", 38, 32, "-> BSTR"},
    {G, "Constraints", 39, 34, "-> VARIANT"},
    {M, "ReturnCash", 40, 18, "Sum:CY PayType:TPayType Info:BSTR -> HRESULT"},
    {M, "DelPayDep", 41, 19, "SumWithoutNDS:CY Sum:CY NDep:I4 -> HRESULT"},
    {M, "DelPayArt", 42, 22, "SumWithoutNDS:CY Sum:CY NArt:I4 -> HRESULT"},
    {G, "TrashID", 43, 23, "-> BSTR"},
    {M, "OpenCheck", 44, 20, "Info:BSTR -> HRESULT"},
    {M, "ProgramAfterReg", 45, 35, "Param:BSTR -> HRESULT"},
    {M, "SetArt", 46, 36, "NArt:I4 NDep:I4 NTax:I4 Price:CY Description:BSTR Return:BOOL -> HRESULT"},
    {G, "BeginMsg", 47, 37, "-> BSTR"},
    {G, "CashModelDescription", 48, 38, "-> BSTR"},
};

// The parameters of a member in the table's notation.
std::string ParamText(const MemberInfo& m) {
    static const std::map<VarType, const char*> kNames = {
        {VT_I4, "I4"},   {VT_UI1, "UI1"},   {VT_R8, "R8"},           {VT_CY, "CY"},
        {VT_BOOL, "BOOL"}, {VT_BSTR, "BSTR"}, {VT_VARIANT, "VARIANT"}, {VT_HRESULT, "HRESULT"},
    };
    std::string text;
    for (const ParamInfo& p : m.params) {
        if (!text.empty()) text += ' ';
        const auto type = kNames.find(p.type);
        const std::string typeText = !p.typeName.empty() ? p.typeName : type != kNames.end() ? type->second : "?";
        if (p.dir == ParamDir::RetVal)
            text += "-> " + (p.name == "Value" ? "" : p.name + ":") + typeText;
        else
            text += p.name + ":" + typeText + (p.dir == ParamDir::InOut ? "&" : "");
    }
    return text;
}

TEST(Contract, EveryMemberAsTheTableHasIt) {
    const InterfaceInfo& info = ICashDriverAuto::TypeInfo();
    // The table against the type information...
    for (const ContractRow& row : kContract) {
        SCOPED_TRACE(row.name);
        const MemberInfo* m = info.FindByName(row.name, row.kind);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->slot, row.slot);
        EXPECT_EQ(m->compiledSlot, row.slot);
        EXPECT_EQ(m->dispid, row.dispid);
        EXPECT_EQ(ParamText(*m), row.params);
    }
    // ...and the type information against the table: nothing more, nothing twice.
    ASSERT_EQ(info.Members().size(), std::size(kContract));
    for (std::size_t i = 0; i < info.Members().size(); ++i) {
        const MemberInfo& m = info.Members()[i];
        EXPECT_EQ(m.name, kContract[i].name);
        EXPECT_EQ(m.kind, kContract[i].kind) << m.name;
    }
}

TEST(Contract, ParameterNamesAndTypes) {
    const InterfaceInfo& info = ICashDriverAuto::TypeInfo();
    const MemberInfo* addInfo = info.FindByName("AddInfo", MemberKind::Method);
    ASSERT_NE(addInfo, nullptr);
    ASSERT_EQ(addInfo->params.size(), 2u);
    EXPECT_EQ(addInfo->params[0].name, "Value");
    EXPECT_EQ(addInfo->params[0].dir, ParamDir::In);
    EXPECT_EQ(addInfo->params[1].name, "Value1");
    EXPECT_EQ(addInfo->params[1].dir, ParamDir::RetVal);
    EXPECT_EQ(addInfo->ResultType(), VT_HRESULT);

    const MemberInfo* init = info.FindByName("Init", MemberKind::Method);
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init->params[1].name, "Cause");
    EXPECT_EQ(init->params[1].dir, ParamDir::InOut);

    const MemberInfo* cash = info.FindByName("AddCash", MemberKind::Method);
    ASSERT_NE(cash, nullptr);
    EXPECT_EQ(cash->params[0].type, VT_CY);
    EXPECT_EQ(cash->params[1].typeName, "TPayType");
    EXPECT_EQ(info.FindByName("InInteraction", MemberKind::PropertyGet)->ResultType(), VT_BOOL);
    EXPECT_EQ(info.FindByName("ComNumber", MemberKind::PropertyPut)->params[0].type, VT_UI1);
    EXPECT_EQ(info.FindByName("Baud", MemberKind::PropertyGet)->ResultType(), VT_I4);  // a property, not an operation

    // A driver's own interface repeats the members under its own identity.
    const InterfaceInfo own("IOwnCashDriverAuto", MakeGUID("{00000000-0000-0000-0000-0000000000AA}"), "own", info);
    EXPECT_EQ(own.Members().size(), 42u);
    EXPECT_EQ(own.IdOfName("eventiid"), 32);
    EXPECT_EQ(own.Find(3, DISPATCH_PROPERTYPUT)->slot, 10);
}

TEST(Contract, EventsInDeclarationOrder) {
    const InterfaceInfo& info = ICashDriverAutoEvents::TypeInfo();
    EXPECT_EQ(info.Kind(), InterfaceKind::DispatchOnly);
    const std::vector<std::pair<std::string, DISPID>> expected = {
        {"OnProtocolLog", 1}, {"OnProtocolInfo", 3}, {"OnProtocolError", 2}, {"OnProtocolQuery", 5},
        {"OnPrint", 4},       {"OnCommandResult", 6}, {"OnModelChange", 7}};
    ASSERT_EQ(info.Members().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(info.Members()[i].name, expected[i].first);
        EXPECT_EQ(info.Members()[i].dispid, expected[i].second);
    }
    const MemberInfo& result = info.Members()[5];
    ASSERT_EQ(result.params.size(), 2u);
    EXPECT_EQ(result.params[0].name, "CommandID");
    EXPECT_EQ(result.params[1].name, "CommandResult");
}

// --- The test driver module --------------------------------------------------------

// Records every event as its DISPID and arguments.
class RecordingSink final : public TEventSink {
public:
    using TEventSink::TEventSink;
    struct Event {
        DISPID id;
        std::vector<Variant> args;
    };
    std::vector<Event> events;

protected:
    void InvokeEvent(DISPID id, std::span<Variant> params) override {
        events.push_back({id, std::vector<Variant>(params.begin(), params.end())});
    }
};

template <class T>
ComPtr<T> Query(IUnknown* object) {
    return ComPtr<T>::Query(object);
}

class DriverModule : public RegistryTest {
protected:
    void SetUp() override {
        module_ = dlopen(TEST_DRIVER_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (module_) dlclose(module_);
    }
    template <class F>
    F Entry(const char* name) {
        return reinterpret_cast<F>(dlsym(module_, name));
    }
    void Register() { ASSERT_EQ(Entry<DllRegisterServerProc>("DllRegisterServer")(), S_OK); }

    void* module_ = nullptr;
};

TEST_F(DriverModule, RegistersItselfAndIsCreatedByProgId) {
    Register();
    TRegistry reg(HKEY_CLASSES_ROOT);
    const std::string clsid = GUIDToString(fixture::CLSID_TestDriver);
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\" + clsid + "\\InprocServer32", false));
    EXPECT_EQ(reg.ReadString(""), fs::canonical(TEST_DRIVER_MODULE).string());
    EXPECT_EQ(reg.ReadString("ThreadingModel"), "Apartment");
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + fixture::kProgId + "\\CLSID", false));
    EXPECT_EQ(reg.ReadString(""), clsid);
    ASSERT_TRUE(reg.OpenKey("\\TypeLib\\" + GUIDToString(fixture::LIBID_TestDriver) + "\\1.0", false));
    EXPECT_EQ(reg.ReadString(""), "Test Driver Library");

    ComPtr<IDispatch> object = CreateOleObject(fixture::kProgId);
    ASSERT_TRUE(object);
    EXPECT_EQ(DispatchGet(object.get(), "EventIID").toString(), GUIDToString(fixture::IID_ITestDriverEvents));

    // The contract and the driver's own interface share one method table.
    ComPtr<ICashDriverAuto> driver = Query<ICashDriverAuto>(object.get());
    ComPtr<fixture::ITestDriverAuto> own = Query<fixture::ITestDriverAuto>(object.get());
    ASSERT_TRUE(driver);
    ASSERT_TRUE(own);
    EXPECT_EQ(static_cast<ICashDriverAuto*>(own.get()), driver.get());
    EXPECT_EQ(Query<IUnknown>(driver.get()), Query<IUnknown>(object.get()));

    // Early bound through slot 38 as a client compiled elsewhere calls it.
    using GetText = HRESULT (*)(ICashDriverAuto*, std::string*);
    const auto slot38 = reinterpret_cast<GetText>((*reinterpret_cast<void***>(driver.get()))[38]);
    std::string iid;
    ASSERT_EQ(slot38(driver.get(), &iid), S_OK);
    EXPECT_EQ(iid, GUIDToString(fixture::IID_ITestDriverEvents));

    std::int32_t id = 0;
    EXPECT_EQ(driver->AddPayArt(2.0, Currency::FromUnits(10), Currency::FromUnits(12), 5, &id), S_OK);
    EXPECT_EQ(id, 1);
    DispatchPut(object.get(), "Baud", 19200);
    std::int32_t baud = 0;
    EXPECT_EQ(driver->get_Baud(&baud), S_OK);
    EXPECT_EQ(baud, 19200);
}

TEST_F(DriverModule, EventsReachTheSinkOfTheNamedInterfaceByDispid) {
    Register();
    ComPtr<IDispatch> object = CreateOleObject(fixture::kProgId);
    const GUID events = StringToGUID(DispatchGet(object.get(), "EventIID").toString());
    auto sink = MakeComObject<RecordingSink>(events);
    std::uint32_t cookie = 0;
    ASSERT_EQ(InterfaceConnect(object.get(), events, sink->Identity(), &cookie), S_OK);
    // The contract's own events identifier is not where this driver raises them.
    std::uint32_t other = 0;
    EXPECT_EQ(InterfaceConnect(object.get(), ICashDriverAutoEvents::IID, sink->Identity(), &other),
              CONNECT_E_NOCONNECTION);

    ComPtr<fixture::ITestDriverAuto> driver = Query<fixture::ITestDriverAuto>(object.get());
    ASSERT_EQ(driver->RaiseCommandResult(7, -1), S_OK);
    std::int32_t id = 0;
    ASSERT_EQ(driver->AddInfo("Спасибо", &id), S_OK);
    ASSERT_EQ(sink->events.size(), 3u);
    EXPECT_EQ(sink->events[0].id, ICashDriverAutoEvents::OnCommandResult);
    EXPECT_EQ(sink->events[0].args, (std::vector<Variant>{7, -1}));  // CommandID first
    EXPECT_EQ(sink->events[1].id, ICashDriverAutoEvents::OnProtocolLog);
    EXPECT_EQ(sink->events[1].args, (std::vector<Variant>{"AddInfo: Спасибо"}));
    EXPECT_EQ(sink->events[2].id, ICashDriverAutoEvents::OnCommandResult);
    EXPECT_EQ(sink->events[2].args, (std::vector<Variant>{id, 0}));

    ASSERT_EQ(InterfaceDisconnect(object.get(), events, cookie), S_OK);
    driver->RaiseLog("lost");
    EXPECT_EQ(sink->events.size(), 3u);
}

TEST_F(DriverModule, TheEventReceiverConnectsThroughEventIIDAndCallsBack) {
    Register();
    ComPtr<IDispatch> object = CreateOleObject(fixture::kProgId);
    std::vector<std::pair<int, int>> results;
    std::vector<std::string> log;
    TDriverEventReceiver receiver;
    receiver.Events().OnCommandResult = [&](std::int32_t id, std::int32_t result) { results.emplace_back(id, result); };
    receiver.Events().OnProtocolLog = [&](const std::string& text) { log.push_back(text); };
    receiver.Connect(object.get());
    EXPECT_TRUE(receiver.Connected());
    EXPECT_EQ(receiver.EventIID(), fixture::IID_ITestDriverEvents);

    ComPtr<fixture::ITestDriverAuto> driver = Query<fixture::ITestDriverAuto>(object.get());
    ASSERT_EQ(driver->RaiseCommandResult(7, -1), S_OK);
    std::int32_t id = 0;
    ASSERT_EQ(driver->AddInfo("Спасибо", &id), S_OK);  // a log line, then its result
    EXPECT_EQ(results, (std::vector<std::pair<int, int>>{{7, -1}, {id, 0}}));
    EXPECT_EQ(log, std::vector<std::string>{"AddInfo: Спасибо"});

    receiver.Disconnect();
    driver->RaiseLog("lost");
    EXPECT_EQ(log.size(), 1u);
    receiver.Disconnect();  // twice is harmless
}

TEST_F(DriverModule, LateBoundAddInfoNamesValueAndValue1) {
    Register();
    ComPtr<IDispatch> object = CreateOleObject(fixture::kProgId);
    const std::string names[] = {"addinfo", "Value", "Value1"};
    DISPID ids[3] = {};
    ASSERT_EQ(object->GetIDsOfNames(GUID_NULL, names, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 33);
    EXPECT_EQ(ids[1], 0);
    EXPECT_EQ(ids[2], 1);

    // By name of the parameter.
    Variant arg("text");
    const DISPID named[] = {ids[1]};
    DispParams params{&arg, 1, named, 1};
    Variant result;
    ASSERT_EQ(object->Invoke(33, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(result, Variant(1));
    // The retval is no argument.
    const DISPID retval[] = {ids[2]};
    params.named = retval;
    EXPECT_EQ(object->Invoke(33, GUID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);
    // By position, through the client helper.
    EXPECT_EQ(DispatchCall(object.get(), "AddInfo", {"more"}), Variant(2));

    // An in/out argument comes back changed.
    Variant init[] = {VarArray({1}), Variant("before")};
    EXPECT_EQ(DispatchCall(object.get(), "Init", init), Variant(0));
    EXPECT_EQ(init[1], Variant(""));
}

TEST_F(DriverModule, AFailingMemberReachesTheCallerWithItsText) {
    Register();
    ComPtr<IDispatch> object = CreateOleObject(fixture::kProgId);
    ComPtr<ICashDriverAuto> driver = Query<ICashDriverAuto>(object.get());
    const std::string text = "Department 0 is out of range";

    std::int32_t id = 123;
    const HRESULT hr = driver->AddPayDep("Bread", 1, Currency(), Currency::FromUnits(5), 0, &id);
    EXPECT_TRUE(FAILED(hr));
    try {
        OleCheck(hr);
        ADD_FAILURE() << "no error";
    } catch (const EOleError& e) {
        EXPECT_EQ(e.what(), text);
        EXPECT_EQ(e.ErrorCode(), hr);
    }

    try {
        DispatchCall(object.get(), "AddPayDep", {"Bread", 1, Currency(), Currency::FromUnits(5), 0});
        ADD_FAILURE() << "no error";
    } catch (const EOleError& e) {
        EXPECT_EQ(e.what(), text);
    }
    // A late-bound argument that does not convert is named by its index.
    Variant args[] = {"Bread", "many", Currency(), Currency(), 1};
    DispParams params{args, 5, nullptr, 0};
    std::uint32_t argErr = 99;
    EXPECT_EQ(object->Invoke(17, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
}

TEST_F(DriverModule, UnregistrationRemovesEveryKeyItWrote) {
    // Keys of another server that must survive.
    ImportRegistryText(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32]\n"
        "@=\"/opt/other.csh\"\n\n"
        "[HKEY_CLASSES_ROOT\\TypeLib\\{5D0B7A30-2C4E-4F1A-9B67-3E8D2A1C0F11}\\2.0]\n"
        "@=\"A later version\"\n\n"
        "[HKEY_CLASSES_ROOT\\Other.Class\\CLSID]\n"
        "@=\"{11111111-2222-3333-4444-555555555555}\"\n");
    const std::string before = ExportRegistryText("HKEY_CLASSES_ROOT");

    Register();
    EXPECT_NE(ExportRegistryText("HKEY_CLASSES_ROOT"), before);
    ComPtr<IDispatch> object = CreateOleObject(fixture::kProgId);
    object.reset();
    ASSERT_EQ(Entry<DllUnregisterServerProc>("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ExportRegistryText("HKEY_CLASSES_ROOT"), before);

    try {
        CreateOleObject(fixture::kProgId);
        ADD_FAILURE() << "created after unregistration";
    } catch (const EOleError& e) {
        EXPECT_EQ(e.ErrorCode(), CO_E_CLASSSTRING);
    }
    GUID clsid;
    EXPECT_EQ(CLSIDFromProgID("Other.Class", &clsid), S_OK);
}

TEST_F(DriverModule, CanUnloadOnlyWithoutLiveObjectsOrLocks) {
    Register();
    const auto canUnload = Entry<DllCanUnloadNowProc>("DllCanUnloadNow");
    EXPECT_EQ(canUnload(), S_OK);
    ComPtr<IDispatch> object = CreateOleObject(fixture::kProgId);
    ComPtr<ICashDriverAuto> driver = Query<ICashDriverAuto>(object.get());
    EXPECT_EQ(canUnload(), S_FALSE);
    object.reset();
    EXPECT_EQ(canUnload(), S_FALSE);
    driver.reset();
    EXPECT_EQ(canUnload(), S_OK);

    void* p = nullptr;
    ASSERT_EQ(Entry<DllGetClassObjectProc>("DllGetClassObject")(fixture::CLSID_TestDriver, IClassFactory::IID, &p),
              S_OK);
    auto factory = ComPtr<IClassFactory>::Adopt(static_cast<IClassFactory*>(p));
    factory->LockServer(true);
    EXPECT_EQ(canUnload(), S_FALSE);
    factory->LockServer(false);
    EXPECT_EQ(canUnload(), S_OK);
    // Another driver's class (Sorbel's CashDriverAuto) is not served here.
    constexpr GUID kOtherClass = MakeGUID("{849C7025-B964-11D4-8407-00104B205A89}");
    EXPECT_EQ(Entry<DllGetClassObjectProc>("DllGetClassObject")(kOtherClass, IClassFactory::IID, &p),
              CLASS_E_CLASSNOTAVAILABLE);
}

// The module's dynamic symbol table holds its entry points and nothing else.
TEST(DriverModuleSymbols, OnlyTheEntryPointsAreExported) {
    EXPECT_EQ(testutil::ExportedSymbols(TEST_DRIVER_MODULE),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                                     "GetDefaultProperties", "GetLibInfo", "PropertiesDialog"}));
}

// --- Discovery ----------------------------------------------------------------------

TEST_F(RegistryTest, OnlyLibrariesOfTheDriverKindAreListed) {
    const fs::path dir = registry_.dir() / "folder";
    fs::create_directories(dir);
    fs::copy_file(TEST_DRIVER_MODULE, dir / "Test.csh");
    fs::copy_file(OTHER_KIND_MODULE, dir / "Other.csh");
    fs::copy_file(NO_LIB_INFO_MODULE, dir / "Plain.csh");
    std::ofstream(dir / "Broken.csh") << "not a library";
    fs::copy_file(TEST_DRIVER_MODULE, dir / "Test.so");  // another extension

    std::vector<std::unique_ptr<TLibInfo>> list;
    EXPECT_EQ(FindLibraries(dir.string() + "/*.csh", kLibKindCashDriver, list), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->Kind, kLibKindCashDriver);
    EXPECT_EQ(list[0]->Name, fixture::kName);
    EXPECT_EQ(list[0]->Flag, 1);
    EXPECT_EQ(list[0]->FilePath, (dir / "Test.csh").string());

    std::vector<std::unique_ptr<TLibInfo>> others;
    EXPECT_EQ(FindLibraries(dir.string() + "/*.csh", 3, others), 0);
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0]->Name, "Not a driver");
    std::vector<std::unique_ptr<TLibInfo>> none;
    EXPECT_EQ(FindLibraries(dir.string() + "/*.rpt", kLibKindCashDriver, none), -1);
    EXPECT_TRUE(none.empty());

    // A library without GetLibInfo keeps the cleared record; asking twice gives the
    // same values and leaves FilePath to the host.
    void* handle = nullptr;
    ASSERT_TRUE(OpenLibrary((dir / "Plain.csh").string(), handle));
    TLibInfo info{9, "stale", 9, "kept"};
    QueryLibInfo(handle, &info);
    EXPECT_EQ(info.Kind, 0);
    EXPECT_EQ(info.Name, "");
    EXPECT_EQ(info.Flag, 0);
    CloseLibrary(handle);
    ASSERT_TRUE(OpenLibrary((dir / "Test.csh").string(), handle));
    for (int i = 0; i < 2; ++i) {
        QueryLibInfo(handle, &info);
        EXPECT_EQ(info.Kind, kLibKindCashDriver);
        EXPECT_EQ(info.Name, fixture::kName);
        EXPECT_EQ(info.FilePath, "kept");
    }
    const auto dialog = reinterpret_cast<PropertiesDialogProc>(dlsym(handle, "PropertiesDialog"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog(), -1);
    CloseLibrary(handle);
    EXPECT_FALSE(OpenLibrary((dir / "Broken.csh").string(), handle));
}

// The driver names its kind and ProgID; nothing is cleared first and FilePath stays
// the host's. A library without the export, or no library, leaves the record alone.
TEST(Discovery, DefaultPropertiesComeFromTheLibrary) {
    void* handle = nullptr;
    ASSERT_TRUE(OpenLibrary(TEST_DRIVER_MODULE, handle));
    TCashDriverProperties props;
    props.FilePath = "/opt/tolver/Test.csh";
    QueryDefaultProperties(handle, &props);
    EXPECT_EQ(props.CashType, fixture::kCashType);
    EXPECT_EQ(props.AutoObjectName, fixture::kProgId);
    EXPECT_EQ(props.FilePath, "/opt/tolver/Test.csh");
    CloseLibrary(handle);

    ASSERT_TRUE(OpenLibrary(NO_LIB_INFO_MODULE, handle));
    TCashDriverProperties untouched;
    untouched.CashType = 9;
    untouched.AutoObjectName = "kept";
    QueryDefaultProperties(handle, &untouched);
    QueryDefaultProperties(nullptr, &untouched);
    EXPECT_EQ(untouched.CashType, 9);
    EXPECT_EQ(untouched.AutoObjectName, "kept");
    CloseLibrary(handle);
}

// --- Creation failures ----------------------------------------------------------------

TEST_F(RegistryTest, CreationFailuresAreResults) {
    const std::string missing = (registry_.dir() / "gone.csh").string();
    ImportRegistryText(std::string("Windows Registry Editor Version 5.00\n\n") +
                       "[HKEY_CLASSES_ROOT\\CLSID\\{22222222-0000-0000-0000-000000000001}\\InprocServer32]\n"
                       "@=\"" + missing + "\"\n\n" +
                       "[HKEY_CLASSES_ROOT\\CLSID\\{22222222-0000-0000-0000-000000000002}\\InprocServer32]\n"
                       "@=\"" + NO_LIB_INFO_MODULE + "\"\n\n" +
                       "[HKEY_CLASSES_ROOT\\Bad.Class\\CLSID]\n"
                       "@=\"not a guid\"\n");
    const struct {
        const char* clsid;
        HRESULT expected;
    } cases[] = {
        {"{22222222-0000-0000-0000-000000000000}", REGDB_E_CLASSNOTREG},
        {"{22222222-0000-0000-0000-000000000001}", CO_E_DLLNOTFOUND},
        {"{22222222-0000-0000-0000-000000000002}", CO_E_ERRORINDLL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clsid);
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(StringToGUID(c.clsid), nullptr, IUnknown::IID, &p), c.expected);
        EXPECT_EQ(p, nullptr);
    }
    GUID clsid;
    for (const char* progId : {"Bad.Class", "No.Such.Class", "", "CLSID\\{22222222-0000-0000-0000-000000000001}"})
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), CO_E_CLASSSTRING) << progId;
}

}  // namespace

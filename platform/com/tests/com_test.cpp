#include <gtest/gtest.h>

#include <new>

#include "platform/com/cocreate.h"
#include "platform/com/comcat.h"
#include "platform/com/connpoint.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"

using namespace tolver;

namespace {

// --- GUIDs and result codes ----------------------------------------------------------

TEST(Guid, RegistryForm) {
    constexpr GUID g = MakeGUID("{849c7021-b964-11d4-8407-00104b205a89}");
    EXPECT_EQ(GUIDToString(g), "{849C7021-B964-11D4-8407-00104B205A89}");
    EXPECT_EQ(g.Data1, 0x849C7021u);
    EXPECT_EQ(g.Data4[0], 0x84);
    EXPECT_EQ(g.Data4[7], 0x89);
    GUID parsed;
    ASSERT_TRUE(TryStringToGUID(GUIDToString(g), parsed));
    EXPECT_EQ(parsed, g);

    const GUID untouched = MakeGUID("{00000000-0000-0000-0000-000000000001}");
    for (const char* bad : {"", "849C7021-B964-11D4-8407-00104B205A89", "{849C7021-B964-11D4-8407-00104B205A8}",
                            "{849C7021-B964-11D4-8407-00104B205A890}", "{849C7021B964-11D4-8407-00104B205A89-}",
                            "{849C7021-B964-11D4-8407-00104B205A8G}", "(849C7021-B964-11D4-8407-00104B205A89)",
                            "{+49C7021-B964-11D4-8407-00104B205A89}"}) {
        GUID g2 = untouched;
        EXPECT_FALSE(TryStringToGUID(bad, g2)) << bad;
        EXPECT_EQ(g2, untouched);
    }
    try {
        StringToGUID("nonsense");
        ADD_FAILURE();
    } catch (const EOleError& e) {
        EXPECT_EQ(e.ErrorCode(), CO_E_CLASSSTRING);
    }
}

TEST(Result, ErrorsBecomeResultsWithTheirText) {
    const struct {
        std::function<void()> fail;
        HRESULT code;
        const char* text;
    } cases[] = {
        {[] { throw Exception("Нет связи"); }, E_FAIL, "Нет связи"},
        {[] { throw EOleError("Bad port", E_INVALIDARG); }, E_INVALIDARG, "Bad port"},
        {[] { throw EOleError("Claims success", S_OK); }, E_FAIL, "Claims success"},  // never a success
        {[] { throw std::bad_alloc(); }, E_OUTOFMEMORY, "Out of memory"},
        {[] { throw 42; }, E_FAIL, "Unspecified error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const HRESULT hr = Guard(c.fail);
        EXPECT_EQ(hr, c.code);
        try {
            OleCheck(hr);
            ADD_FAILURE();
        } catch (const EOleError& e) {
            EXPECT_STREQ(e.what(), c.text);
            EXPECT_EQ(e.ErrorCode(), c.code);
        }
    }
    EXPECT_EQ(Guard([] { return S_FALSE; }), S_FALSE);
    EXPECT_NO_THROW(OleCheck(S_FALSE));

    // Text left for one code does not label a later failure with another code.
    SetErrorInfo(E_FAIL, "stale");
    try {
        OleCheck(REGDB_E_CLASSNOTREG);
    } catch (const EOleError& e) {
        EXPECT_STREQ(e.what(), "Class not registered");
    }
    EXPECT_EQ(HResultText(MakeHResult(0x80041234)), "Error 0x80041234");
}

// --- A dual interface of the tests ---------------------------------------------------------

class ITestAuto : public IDispatch {
public:
    static constexpr GUID IID = MakeGUID("{6A1D0E01-0000-4000-8000-000000000001}");
    using Base = IDispatch;
    static const InterfaceInfo& TypeInfo();

    virtual HRESULT get_Name(std::string* Value) = 0;
    virtual HRESULT set_Name(const std::string& Value) = 0;
    virtual HRESULT Total(std::int32_t Count, double Price, Currency Extra, Currency* Value) = 0;
    virtual HRESULT Swap(std::string* Text, std::int32_t* Number, bool* Value) = 0;
    virtual HRESULT Fail(const std::string& Why) = 0;
    virtual HRESULT Escape() = 0;

protected:
    ~ITestAuto() = default;
};

const InterfaceInfo& ITestAuto::TypeInfo() {
    using I = ITestAuto;
    static const InterfaceInfo info("ITestAuto", IID, InterfaceKind::Dual, "test",
                                    {
                                        Get<&I::get_Name>("Name", 1, 7),
                                        Put<&I::set_Name>("Name", 1, 8),
                                        Method<&I::Total>("Total", 5, 9, "Count", "Price", "Extra", "Value"),
                                        Method<&I::Swap>("Swap", 3, 10, "Text", "Number", "Value"),
                                        Method<&I::Fail>("Fail", 4, 11, "Why"),
                                        Method<&I::Escape>("Escape", 2, 12),
                                    });
    return info;
}

class IOther : public IUnknown {
public:
    static constexpr GUID IID = MakeGUID("{6A1D0E01-0000-4000-8000-000000000002}");
    using Base = IUnknown;
    virtual int Answer() = 0;

protected:
    ~IOther() = default;
};

int gLive = 0;

class TTestAuto final : public TAutoObject<ITestAuto, IOther> {
public:
    TTestAuto() { ++gLive; }
    ~TTestAuto() override { --gLive; }
    void Initialize() override { initialized = true; }

    HRESULT get_Name(std::string* Value) override {
        return Guard([&] { *Value = name_; });
    }
    HRESULT set_Name(const std::string& Value) override {
        return Guard([&] { name_ = Value; });
    }
    HRESULT Total(std::int32_t Count, double Price, Currency Extra, Currency* Value) override {
        return Guard([&] { *Value = Currency::FromRaw(Currency::FromDouble(Count * Price).raw() + Extra.raw()); });
    }
    HRESULT Swap(std::string* Text, std::int32_t* Number, bool* Value) override {
        return Guard([&] {
            const std::string t = *Text;
            *Text = std::to_string(*Number);
            *Number = static_cast<std::int32_t>(t.size());
            *Value = true;
        });
    }
    HRESULT Fail(const std::string& Why) override {
        return Guard([&] { throw Exception(Why); });
    }
    HRESULT Escape() override { throw Exception("escaped"); }  // a member without its guard
    int Answer() override { return 42; }

    bool initialized = false;

private:
    std::string name_ = "first";
};

TEST(Objects, InterfacesShareOneIdentityAndOneCount) {
    {
        ComPtr<TTestAuto> object = MakeComObject<TTestAuto>();
        EXPECT_TRUE(object->initialized);
        EXPECT_EQ(gLive, 1);
        ComPtr<IOther> other = ComPtr<IOther>::Query(static_cast<ITestAuto*>(object.get()));
        ASSERT_TRUE(other);
        EXPECT_EQ(other->Answer(), 42);
        ComPtr<IDispatch> dispatch = ComPtr<IDispatch>::Query(other.get());
        ASSERT_TRUE(dispatch);
        EXPECT_EQ(ComPtr<IUnknown>::Query(other.get()), ComPtr<IUnknown>::Query(dispatch.get()));
        EXPECT_EQ(object->RefCount(), 3u);
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(other->QueryInterface(MakeGUID("{6A1D0E01-0000-4000-8000-0000000000FF}"), &p), E_NOINTERFACE);
        EXPECT_EQ(p, nullptr);
        EXPECT_EQ(other->QueryInterface(IUnknown::IID, nullptr), E_POINTER);
    }
    EXPECT_EQ(gLive, 0);
}

class Dispatch : public ::testing::Test {
protected:
    ComPtr<TTestAuto> object_ = MakeComObject<TTestAuto>();
    IDispatch* disp_ = static_cast<ITestAuto*>(object_.get());

    HRESULT Invoke(DISPID id, std::uint16_t flags, std::vector<Variant>& args, std::vector<DISPID> named = {},
                   Variant* result = nullptr, ExcepInfo* excep = nullptr, std::uint32_t* argErr = nullptr) {
        DispParams params{args.data(), static_cast<std::uint32_t>(args.size()), named.data(),
                          static_cast<std::uint32_t>(named.size())};
        return disp_->Invoke(id, GUID_NULL, 0, flags, &params, result, excep, argErr);
    }
};

TEST_F(Dispatch, ByNameAndByDispid) {
    EXPECT_EQ(DispatchGet(disp_, "NAME"), Variant("first"));
    DispatchPut(disp_, "name", "second");
    std::string name;
    object_->get_Name(&name);
    EXPECT_EQ(name, "second");
    // Arguments are converted by the variant rules: text to a number, a double to currency.
    EXPECT_EQ(DispatchCall(disp_, "Total", {"3", 1.25, Currency::FromUnits(1)}), Variant(Currency::Parse("4.75")));

    // Named arguments in any order, after the positional ones.
    std::vector<Variant> args = {2, Currency::FromUnits(10), 0.5};
    Variant result;
    EXPECT_EQ(Invoke(5, DISPATCH_METHOD, args, {2, 1}, &result), S_OK);
    EXPECT_EQ(result, Variant(Currency::FromUnits(11)));

    // In/out arguments come back changed; the result separately.
    std::vector<Variant> swap = {"abcd", 7};
    EXPECT_EQ(Invoke(3, DISPATCH_METHOD, swap, {}, &result), S_OK);
    EXPECT_EQ(swap[0], Variant("7"));
    EXPECT_EQ(swap[1], Variant(4));
    EXPECT_EQ(result, Variant(true));

    const std::string names[] = {"swap", "NUMBER", "Text", "Nope"};
    DISPID ids[4];
    EXPECT_EQ(disp_->GetIDsOfNames(GUID_NULL, names, 4, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 3);
    EXPECT_EQ(ids[1], 1);
    EXPECT_EQ(ids[2], 0);
    EXPECT_EQ(ids[3], DISPID_UNKNOWN);
}

TEST_F(Dispatch, RefusedCalls) {
    std::vector<Variant> none;
    std::vector<Variant> one = {1};
    std::vector<Variant> three = {1, 2.0, Currency()};
    std::vector<Variant> badPrice = {1, "cheap", Currency()};
    const struct {
        const char* what;
        DISPID id;
        std::uint16_t flags;
        std::vector<Variant>* args;
        std::vector<DISPID> named;
        HRESULT expected;
    } cases[] = {
        {"unknown DISPID", 99, DISPATCH_METHOD, &none, {}, DISP_E_MEMBERNOTFOUND},
        {"a method read as a property", 5, DISPATCH_PROPERTYGET, &three, {}, DISP_E_MEMBERNOTFOUND},
        {"a getter put", 2, DISPATCH_PROPERTYPUT, &one, {}, DISP_E_MEMBERNOTFOUND},
        {"too few arguments", 5, DISPATCH_METHOD, &one, {}, DISP_E_BADPARAMCOUNT},
        {"too many arguments", 2, DISPATCH_METHOD, &one, {}, DISP_E_BADPARAMCOUNT},
        {"a named argument twice", 5, DISPATCH_METHOD, &three, {0, 0}, DISP_E_PARAMNOTFOUND},
        {"the retval named", 5, DISPATCH_METHOD, &three, {3}, DISP_E_PARAMNOTFOUND},
        {"more names than arguments", 2, DISPATCH_METHOD, &none, {0}, E_INVALIDARG},
        {"an argument that does not convert", 5, DISPATCH_METHOD, &badPrice, {}, DISP_E_TYPEMISMATCH},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint32_t argErr = 99;
        EXPECT_EQ(Invoke(c.id, c.flags, *c.args, c.named, nullptr, nullptr, &argErr), c.expected);
        if (c.expected == DISP_E_TYPEMISMATCH) {
            EXPECT_EQ(argErr, 1u);
        }
    }
    try {
        DispatchGet(disp_, "Missing");
        ADD_FAILURE();
    } catch (const EOleError& e) {
        EXPECT_EQ(e.ErrorCode(), DISP_E_UNKNOWNNAME);
    }
}

TEST_F(Dispatch, FailuresCarryTheirText) {
    const struct {
        DISPID id;
        std::vector<Variant> args;
        const char* text;
    } cases[] = {{4, {"Порт занят"}, "Порт занят"}, {2, {}, "escaped"}};  // Fail, and Escape without its guard
    for (auto c : cases) {
        SCOPED_TRACE(c.text);
        ExcepInfo excep;
        EXPECT_EQ(Invoke(c.id, DISPATCH_METHOD, c.args, {}, nullptr, &excep), DISP_E_EXCEPTION);
        EXPECT_EQ(excep.scode, E_FAIL);
        EXPECT_EQ(excep.description, c.text);
        EXPECT_EQ(excep.source, "ITestAuto");
    }
    try {
        DispatchCall(disp_, "Fail", {"Нет бумаги"});
        ADD_FAILURE();
    } catch (const EOleError& e) {
        EXPECT_STREQ(e.what(), "Нет бумаги");
        EXPECT_EQ(e.ErrorCode(), E_FAIL);
    }
}

// --- Connection points ---------------------------------------------------------------------

constexpr GUID IID_ITestEvents = MakeGUID("{6A1D0E01-0000-4000-8000-000000000003}");

class TSource final : public TConnectableAutoObject<ITestAuto> {
public:
    TSource() {
        single = &ConnectionPoints.Add(IID_ITestEvents, SinkLimit::Single, [this](IUnknown* s) { changes.push_back(s); });
        many = &ConnectionPoints.Add(ITestAuto::IID, SinkLimit::Multiple);
    }
    HRESULT get_Name(std::string*) override { return E_NOTIMPL; }
    HRESULT set_Name(const std::string&) override { return E_NOTIMPL; }
    HRESULT Total(std::int32_t, double, Currency, Currency*) override { return E_NOTIMPL; }
    HRESULT Swap(std::string*, std::int32_t*, bool*) override { return E_NOTIMPL; }
    HRESULT Fail(const std::string&) override { return E_NOTIMPL; }
    HRESULT Escape() override { return E_NOTIMPL; }

    TConnectionPoint* single = nullptr;
    TConnectionPoint* many = nullptr;
    std::vector<IUnknown*> changes;
};

class Sink final : public TEventSink {
public:
    using TEventSink::TEventSink;
    std::vector<std::pair<DISPID, std::vector<Variant>>> got;
    std::function<void()> onEvent;

protected:
    void InvokeEvent(DISPID id, std::span<Variant> params) override {
        got.emplace_back(id, std::vector<Variant>(params.begin(), params.end()));
        if (onEvent) onEvent();
    }
};

TEST(ConnectionPoints, AdviseRaiseUnadvise) {
    ComPtr<TSource> source = MakeComObject<TSource>();
    IUnknown* unk = source->Identity();
    auto a = MakeComObject<Sink>(IID_ITestEvents);
    auto b = MakeComObject<Sink>(IID_ITestEvents);
    auto wrongKind = MakeComObject<Sink>(IID_ITestEvents);

    std::uint32_t ca = 0, cb = 0, cw = 0;
    ASSERT_EQ(InterfaceConnect(unk, IID_ITestEvents, a->Identity(), &ca), S_OK);
    EXPECT_EQ(source->changes, std::vector<IUnknown*>{a->Identity()});
    EXPECT_EQ(InterfaceConnect(unk, IID_ITestEvents, b->Identity(), &cb), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(InterfaceConnect(unk, ITestAuto::IID, wrongKind->Identity(), &cw), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(InterfaceConnect(unk, IOther::IID, b->Identity(), &cb), CONNECT_E_NOCONNECTION);

    ASSERT_EQ(source->single->Raise(6, 7, -1), S_OK);
    ASSERT_EQ(source->single->Raise(7), S_OK);
    ASSERT_EQ(a->got.size(), 2u);
    EXPECT_EQ(a->got[0].first, 6);
    EXPECT_EQ(a->got[0].second, (std::vector<Variant>{7, -1}));
    EXPECT_TRUE(a->got[1].second.empty());

    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(ComPtr<IConnectionPointContainer>::Query(unk)->FindConnectionPoint(IID_ITestEvents, point.put()), S_OK);
    GUID iid;
    point->GetConnectionInterface(&iid);
    EXPECT_EQ(iid, IID_ITestEvents);
    EXPECT_EQ(point->Unadvise(ca + 100), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(ca), S_OK);
    EXPECT_EQ(source->changes.back(), nullptr);
    EXPECT_EQ(source->single->Raise(1, "gone"), S_OK);
    EXPECT_EQ(a->got.size(), 2u);
    // The point keeps its object alive.
    const std::uint32_t before = source->RefCount();
    point.reset();
    EXPECT_EQ(source->RefCount(), before - 1);
}

TEST(ConnectionPoints, EverySinkHearsAnEventEvenWhenOneFailsOrLeaves) {
    ComPtr<TSource> source = MakeComObject<TSource>();
    IUnknown* unk = source->Identity();
    auto failing = MakeComObject<Sink>(ITestAuto::IID);
    auto leaving = MakeComObject<Sink>(ITestAuto::IID);
    auto last = MakeComObject<Sink>(ITestAuto::IID);
    std::uint32_t c1, c2, c3;
    ASSERT_EQ(InterfaceConnect(unk, ITestAuto::IID, failing->Identity(), &c1), S_OK);
    ASSERT_EQ(InterfaceConnect(unk, ITestAuto::IID, leaving->Identity(), &c2), S_OK);
    ASSERT_EQ(InterfaceConnect(unk, ITestAuto::IID, last->Identity(), &c3), S_OK);
    failing->onEvent = [] { throw Exception("handler failed"); };
    leaving->onEvent = [&] { InterfaceDisconnect(unk, ITestAuto::IID, c2); };

    EXPECT_EQ(source->many->Raise(1, "line"), DISP_E_EXCEPTION);
    EXPECT_EQ(failing->got.size(), 1u);
    EXPECT_EQ(leaving->got.size(), 1u);
    EXPECT_EQ(last->got.size(), 1u);
    EXPECT_EQ(source->many->Sinks().size(), 2u);
    source->many->Raise(2);
    EXPECT_EQ(leaving->got.size(), 1u);
    EXPECT_EQ(last->got.size(), 2u);
}

// --- Class factories and the class table ---------------------------------------------------

constexpr GUID CLSID_Test = MakeGUID("{6A1D0E01-0000-4000-8000-000000000010}");

class TFailingInit final : public TComObject<IOther> {
public:
    TFailingInit() { ++gLive; }
    ~TFailingInit() override { --gLive; }
    void Initialize() override { throw Exception("cannot start"); }
    int Answer() override { return 0; }
};

TEST_F(RegistryTest, ClassTableAndFactories) {
    ComModule module({{.clsid = CLSID_Test, .progId = "Test.Auto", .description = "Test", .create = &CreateObjectOf<TTestAuto>},
                      {.clsid = ITestAuto::IID, .progId = {}, .description = "Failing", .create = &CreateObjectOf<TFailingInit>}});
    void* p = nullptr;
    ASSERT_EQ(module.GetClassObject(CLSID_Test, IClassFactory::IID, &p), S_OK);
    IClassFactory* factory = static_cast<IClassFactory*>(p);
    std::uint32_t cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_Test, factory, &cookie), S_OK);

    ComPtr<IUnknown> object = CreateComObject(CLSID_Test);
    ASSERT_TRUE(object);
    EXPECT_EQ(module.ObjectCount(), 1);
    EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
    auto* impl = static_cast<TTestAuto*>(ComPtr<ITestAuto>::Query(object.get()).get());
    EXPECT_TRUE(impl->initialized);
    ASSERT_NE(impl->Class(), nullptr);
    EXPECT_EQ(impl->Class()->description, "Test");
    EXPECT_EQ(factory->CreateInstance(object.get(), IUnknown::IID, &p), CLASS_E_NOAGGREGATION);
    object.reset();
    EXPECT_EQ(module.CanUnloadNow(), S_OK);

    // An object that fails to start is freed and its failure reported.
    ASSERT_EQ(module.GetClassObject(ITestAuto::IID, IClassFactory::IID, &p), S_OK);
    EXPECT_EQ(static_cast<IClassFactory*>(p)->CreateInstance(nullptr, IOther::IID, &p), E_FAIL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(gLive, 0);
    EXPECT_EQ(module.ObjectCount(), 0);

    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(CLSID_Test, nullptr, IUnknown::IID, &p), REGDB_E_CLASSNOTREG);
}

// --- Component categories -------------------------------------------------------------------

TEST_F(RegistryTest, ComponentCategories) {
    constexpr GUID reports = MakeGUID("{01353A90-628D-41E7-A4A1-D27685D48787}");
    constexpr GUID other = MakeGUID("{6A1D0E01-0000-4000-8000-000000000020}");
    void* p = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, ICatRegister::IID, &p), S_OK);
    auto reg = ComPtr<ICatRegister>::Adopt(static_cast<ICatRegister*>(p));
    auto info = ComPtr<ICatInformation>::Query(reg.get());
    ASSERT_TRUE(info);

    const CategoryInfo category{reports, 0x0800, "Отчеты"};
    ASSERT_EQ(reg->RegisterCategories(1, &category), S_OK);
    ASSERT_EQ(reg->RegisterClassImplCategories(CLSID_Test, 1, &reports), S_OK);
    const GUID both[] = {reports, other};
    ASSERT_EQ(reg->RegisterClassImplCategories(ITestAuto::IID, 2, both), S_OK);
    TRegistry raw(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(raw.OpenKey("\\Component Categories\\{01353A90-628D-41E7-A4A1-D27685D48787}", false));
    EXPECT_EQ(raw.ReadString("800"), "Отчеты");

    std::string text;
    EXPECT_EQ(info->GetCategoryDesc(reports, 0x0800, &text), S_OK);
    EXPECT_EQ(text, "Отчеты");
    EXPECT_EQ(info->GetCategoryDesc(reports, 0x0419, &text), S_OK);  // the locale it has
    EXPECT_EQ(info->GetCategoryDesc(other, 0x0800, &text), CAT_E_CATIDNOEXIST);
    std::vector<CategoryInfo> categories;
    ASSERT_EQ(info->EnumCategories(0x0800, &categories), S_OK);
    ASSERT_EQ(categories.size(), 1u);
    EXPECT_EQ(categories[0].description, "Отчеты");

    std::vector<GUID> classes;
    ASSERT_EQ(info->EnumClassesOfCategories(1, &reports, &classes), S_OK);
    EXPECT_EQ(classes.size(), 2u);
    ASSERT_EQ(info->EnumClassesOfCategories(2, both, &classes), S_OK);
    EXPECT_EQ(classes, std::vector<GUID>{ITestAuto::IID});
    std::vector<GUID> implemented;
    ASSERT_EQ(info->EnumImplCategoriesOfClass(ITestAuto::IID, &implemented), S_OK);
    EXPECT_EQ(implemented.size(), 2u);

    ASSERT_EQ(reg->UnRegisterClassImplCategories(CLSID_Test, 1, &reports), S_OK);
    ASSERT_EQ(info->EnumClassesOfCategories(1, &reports, &classes), S_OK);
    EXPECT_EQ(classes, std::vector<GUID>{ITestAuto::IID});
}

}  // namespace

// A small driver module for the tests: it registers itself, answers the contract and
// an interface of its own, and raises the contract's events under its own events
// identifier. Operations queue nothing: each one completes at once and reports its
// outcome through OnCommandResult.

#include "drivers/contract/tests/fixture_driver.h"

#include "common/cashgl.h"
#include "drivers/contract/libinfo.h"
#include "platform/com/connpoint.h"

namespace tolver::fixture {

const InterfaceInfo& ITestDriverAuto::TypeInfo() {
    static const InterfaceInfo info = [] {
        using I = ITestDriverAuto;
        std::vector<MemberInfo> members = ICashDriverAuto::TypeInfo().Members();
        // The own members' slots follow the contract's.
        const int next = members.back().slot + 1;
        members.push_back(Method<&I::RaiseCommandResult>("RaiseCommandResult", 101, next, "CommandID", "CommandResult"));
        members.push_back(Method<&I::RaiseLog>("RaiseLog", 102, next + 1, "Text"));
        return InterfaceInfo("ITestDriverAuto", I::IID, InterfaceKind::Dual, "Test driver", std::move(members));
    }();
    return info;
}

const TypeLibInfo& TestDriverTypeLibrary() {
    static const TypeLibInfo lib{
        .name = "TestDriver",
        .help = "Test Driver Library",
        .libid = LIBID_TestDriver,
        .major = 1,
        .minor = 0,
        .lcid = 1033,
        .interfaces = {&ITestDriverAuto::TypeInfo(), &ICashDriverAutoEvents::TypeInfo()},
        .coclasses = {{"TestDriver", CLSID_TestDriver, "TestDriver Object", &ITestDriverAuto::TypeInfo(),
                       &ICashDriverAutoEvents::TypeInfo()}},
        .enums = {&TPayTypeInfo()},
    };
    return lib;
}

namespace {

class TTestDriverAuto final : public TConnectableAutoObject<ITestDriverAuto> {
public:
    TTestDriverAuto() { events_ = &ConnectionPoints.Add(IID_ITestDriverEvents, SinkLimit::Single); }

    HRESULT get_PropertiesForm(std::int32_t* Value) override { return Set(Value, 0); }
    HRESULT get_InfoForm(std::int32_t* Value) override { return Set(Value, 0); }
    HRESULT get_Properties(Variant* Value) override { return Set(Value, properties_); }
    HRESULT set_Properties(const Variant& Value) override {
        return Guard([&] { properties_ = Value; });
    }
    HRESULT Init(const Variant& CashDriverProperties, std::string* Cause, std::int32_t* Value) override {
        return Guard([&] {
            const bool ok = CashDriverProperties.isArray();
            *Cause = ok ? "" : "Ошибка инициализации";
            *Value = ok ? 0 : -1;
        });
    }
    HRESULT Done() override { return S_OK; }
    HRESULT get_ComNumber(std::uint8_t* Value) override { return Set(Value, comNumber_); }
    HRESULT set_ComNumber(std::uint8_t Value) override {
        comNumber_ = Value;
        return S_OK;
    }
    HRESULT get_Baud(std::int32_t* Value) override { return Set(Value, baud_); }
    HRESULT set_Baud(std::int32_t Value) override {
        baud_ = Value;
        return S_OK;
    }
    HRESULT get_AdvProperties(Variant* Value) override { return Set(Value, advProperties_); }
    HRESULT set_AdvProperties(const Variant& Value) override {
        return Guard([&] { advProperties_ = Value; });
    }
    HRESULT get_AdvPropertiesForm(std::int32_t* Value) override { return Set(Value, 0); }
    HRESULT get_ProgramItems(std::string* Value) override { return Set(Value, std::string("Articles;")); }
    HRESULT get_XReportItems(std::string* Value) override { return Set(Value, std::string("X1;X2;")); }
    HRESULT get_ZReportItems(std::string* Value) override { return Set(Value, std::string("Z1;")); }
    HRESULT GetXReport(const std::string&, std::int32_t* Value) override { return Set(Value, 0); }
    HRESULT GetZReport(const std::string&, std::int32_t* Value) override { return Set(Value, 0); }
    HRESULT GetProgram(const std::string&, std::int32_t* Value) override { return Set(Value, -1); }
    HRESULT set_SpoolerSetup(const Variant& Value) override {
        return Guard([&] { setup_ = Value; });
    }
    HRESULT AddPayDep(const std::string& Name, double Count, Currency, Currency Sum, std::int32_t NDep,
                      std::int32_t* Value) override {
        return Guard([&] {
            if (NDep < 1 || NDep > 16) throw Exception("Department " + std::to_string(NDep) + " is out of range");
            *Value = Complete();
        });
    }
    HRESULT AddPayArt(double, Currency, Currency, std::int32_t, std::int32_t* Value) override {
        return Guard([&] { *Value = Complete(); });
    }
    HRESULT AddCash(Currency, TPayType, const std::string&, std::int32_t* Value) override {
        return Guard([&] { *Value = Complete(); });
    }
    HRESULT CloseCheck(Currency, TPayType PayType, std::int32_t* Value) override {
        return Guard([&] { *Value = PayType == TPayType::Cash ? Complete() : -1; });
    }
    HRESULT RegOp(std::int32_t, const std::string&, const std::string&, std::int32_t* Value) override {
        return Guard([&] { *Value = Complete(); });
    }
    HRESULT UnRegOp(std::int32_t* Value) override {
        return Guard([&] { *Value = Complete(); });
    }
    HRESULT get_InInteraction(bool* Value) override { return Set(Value, true); }
    HRESULT get_ID(std::string* Value) override { return Set(Value, std::string("TEST-1")); }
    HRESULT AddInfo(const std::string& Value, std::int32_t* Value1) override {
        return Guard([&] {
            events_->Raise(ICashDriverAutoEvents::OnProtocolLog, "AddInfo: " + Value);
            *Value1 = Complete();
        });
    }
    HRESULT Restore(std::int32_t* Value) override { return Set(Value, -1); }
    HRESULT Terminate(std::int32_t* Value) override { return Set(Value, -1); }
    HRESULT get_EventIID(std::string* Value) override {
        return Guard([&] { *Value = GUIDToString(IID_ITestDriverEvents); });
    }
    HRESULT get_Constraints(Variant* Value) override {
        return Guard([&] { *Value = VarArray({"Test", 16, 100, 4, 8}); });
    }
    HRESULT ReturnCash(Currency, TPayType, const std::string&, std::int32_t* Value) override {
        return Guard([&] { *Value = Complete(); });
    }
    HRESULT DelPayDep(Currency, Currency, std::int32_t, std::int32_t* Value) override { return Set(Value, -1); }
    HRESULT DelPayArt(Currency, Currency, std::int32_t, std::int32_t* Value) override {
        return Guard([&] { *Value = Complete(); });
    }
    HRESULT get_TrashID(std::string* Value) override { return Set(Value, std::string("TEST-1")); }
    HRESULT OpenCheck(const std::string&, std::int32_t* Value) override {
        return Guard([&] { *Value = Complete(); });
    }
    HRESULT ProgramAfterReg(const std::string&, std::int32_t* Value) override { return Set(Value, 0); }
    HRESULT SetArt(std::int32_t, std::int32_t, std::int32_t, Currency, const std::string&, bool,
                   std::int32_t* Value) override {
        return Set(Value, -1);
    }
    HRESULT get_BeginMsg(std::string* Value) override { return Set(Value, std::string()); }
    HRESULT get_CashModelDescription(std::string* Value) override {
        return Set(Value, std::string(kName) + '\x01' + "1.0");
    }

    HRESULT RaiseCommandResult(std::int32_t CommandID, std::int32_t CommandResult) override {
        return events_->Raise(ICashDriverAutoEvents::OnCommandResult, CommandID, CommandResult);
    }
    HRESULT RaiseLog(const std::string& Text) override {
        return events_->Raise(ICashDriverAutoEvents::OnProtocolLog, Text);
    }

private:
    template <class T, class V>
    static HRESULT Set(T* out, const V& value) {
        return Guard([&] { *out = value; });
    }

    // A command id whose success is reported at once.
    std::int32_t Complete() {
        const std::int32_t id = ++lastId_;
        events_->Raise(ICashDriverAutoEvents::OnCommandResult, id, 0);
        return id;
    }

    TConnectionPoint* events_ = nullptr;
    Variant properties_, advProperties_, setup_;
    std::uint8_t comNumber_ = 1;
    std::int32_t baud_ = 9600;
    std::int32_t lastId_ = 0;
};

ComModule& Module() {
    static ComModule module({{.clsid = CLSID_TestDriver,
                              .progId = kProgId,
                              .description = "TestDriver Object",
                              .create = &CreateObjectOf<TTestDriverAuto>,
                              .typeLib = &TestDriverTypeLibrary()}});
    return module;
}

}  // namespace
}  // namespace tolver::fixture

TOLVER_COM_SERVER_EXPORTS(tolver::fixture::Module())

TOLVER_EXPORT void GetLibInfo(tolver::TLibInfo* Info) {
    try {
        Info->Kind = tolver::kLibKindCashDriver;
        Info->Name = tolver::fixture::kName;
        Info->Flag = 1;
    } catch (...) {
    }
}

TOLVER_EXPORT std::int32_t PropertiesDialog() { return -1; }

TOLVER_EXPORT void GetDefaultProperties(tolver::TCashDriverProperties* Properties) {
    try {
        Properties->CashType = tolver::fixture::kCashType;
        Properties->AutoObjectName = tolver::fixture::kProgId;
    } catch (...) {
    }
}

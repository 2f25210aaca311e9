// A small driver module for the tests: it registers itself, answers the contract (by
// the contract's fake) and an interface of its own, and raises the contract's events
// under its own events identifier. Operations queue nothing: each one completes at
// once and reports its outcome through OnCommandResult.

#include "drivers/contract/tests/fixture_driver.h"

#include "common/cashgl.h"
#include "drivers/contract/libinfo.h"
#include "drivers/contract/testing/fake_cash_driver.h"

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

// The contract's fake with a register that takes every sale at once.
class TTestDriverAuto final : public testutil::TFakeCashDriverOf<ITestDriverAuto> {
public:
    TTestDriverAuto() : TFakeCashDriverOf(IID_ITestDriverEvents) {
        using testutil::TDriverCall;
        Keeps("Properties", Variant());
        Keeps("AdvProperties", Variant());
        Keeps("SpoolerSetup", Variant());
        Keeps("ComNumber", std::uint8_t{1});
        Keeps("Baud", 9600);
        Returns("ProgramItems", "Articles;");
        Returns("XReportItems", "X1;X2;");
        Returns("ZReportItems", "Z1;");
        Returns("InInteraction", true);
        Returns("ID", "TEST-1");
        Returns("TrashID", "TEST-1");
        Returns("Constraints", VarArray({"Test", 16, 100, 4, 8}));
        Returns("CashModelDescription", std::string(kName) + '\x01' + "1.0");
        // Nothing to run: the reports are done, programming and a few operations refused.
        for (const char* done : {"GetXReport", "GetZReport", "ProgramAfterReg"}) Returns(done, 0);
        for (const char* refused : {"GetProgram", "Restore", "Terminate", "DelPayDep", "SetArt"}) Returns(refused, -1);
        On("Init", [](TDriverCall& call) {
            const bool ok = call.args[0].isArray();
            call.args[1] = Variant(ok ? "" : "Ошибка инициализации");
            return Variant(ok ? 0 : -1);
        });
        On("AddPayDep", [this](TDriverCall& call) {
            const std::int32_t nDep = call.args[4].toInt32();
            if (nDep < 1 || nDep > 16) throw Exception("Department " + std::to_string(nDep) + " is out of range");
            return Variant(Complete());
        });
        On("CloseCheck", [this](TDriverCall& call) {
            return Variant(static_cast<TPayType>(call.args[1].toInt32()) == TPayType::Cash ? Complete() : -1);
        });
        On("AddInfo", [this](TDriverCall& call) {
            RaiseText(ICashDriverAutoEvents::OnProtocolLog, "AddInfo: " + call.args[0].toString());
            return Variant(Complete());
        });
        OnOperation = [this](const TDriverCall&) { return Complete(); };
    }

    HRESULT RaiseCommandResult(std::int32_t CommandID, std::int32_t CommandResult) override {
        return TFakeCashDriverOf::RaiseCommandResult(CommandID, CommandResult);
    }
    HRESULT RaiseLog(const std::string& Text) override {
        return RaiseText(ICashDriverAutoEvents::OnProtocolLog, Text);
    }

private:
    // A command id whose success is reported at once.
    std::int32_t Complete() {
        const std::int32_t id = NextId++;
        RaiseCommandResult(id, 0);
        return id;
    }
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

#pragma once
// What every cash-register driver module shows once installed with tolver-regsvr:
// its ProgID, class and type library in the registry, discovery through its plain
// exports as the host lists its drivers, its default properties, and no export
// beyond the entry points; and the host's open sequence on a created object. The
// including test defines REGSVR_TOOL.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/cashgl.h"
#include "drivers/contract/driverlibrary.h"
#include "drivers/contract/libinfo.h"
#include "drivers/contract/sorbel_tlb.h"
#include "platform/com/dispatch.h"
#include "platform/registry/registry.h"
#include "platform/testing/module_symbols.h"
#include "platform/testing/shell_tool.h"

namespace tolver::testutil {

// tolver-regsvr with args: 0 when it succeeded.
inline int RegSvr(const std::string& args) { return RunTool(REGSVR_TOOL, args); }

struct DriverModuleFacts {
    std::string module;       // the built module
    std::string fileName;     // its name in the host's folder
    std::string progId;
    std::string clsid;
    std::string typeLib;      // the type library's identifier
    std::string libraryName;  // the type library's description
    std::string driverName;   // the name the host lists
    int cashType;
};

// Installs the module and checks its registration and its discovery from a copy in
// dir. The default properties keep the file path the host found.
inline void ExpectInstalledAndDiscovered(const DriverModuleFacts& m, const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    ASSERT_EQ(RegSvr(Quoted(m.module)), 0);
    TRegistry reg(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(reg.OpenKey("\\" + m.progId + "\\CLSID", false));
    EXPECT_EQ(reg.ReadString(""), m.clsid);
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\" + m.clsid + "\\InprocServer32", false));
    EXPECT_EQ(reg.ReadString(""), fs::canonical(m.module).string());
    ASSERT_TRUE(reg.OpenKey("\\TypeLib\\" + m.typeLib + "\\1.0", false));
    EXPECT_EQ(reg.ReadString(""), m.libraryName);

    fs::create_directories(dir);
    fs::copy_file(m.module, dir / m.fileName);
    std::vector<std::unique_ptr<TLibInfo>> list;
    ASSERT_EQ(FindLibraries(dir.string() + "/*.csh", kLibKindCashDriver, list), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]->Name, m.driverName);
    EXPECT_EQ(list[0]->Flag, 1);
    void* module = nullptr;
    ASSERT_TRUE(OpenLibrary(list[0]->FilePath, module));
    TCashDriverProperties props;
    props.FilePath = list[0]->FilePath;
    QueryDefaultProperties(module, &props);
    EXPECT_EQ(props.CashType, m.cashType);
    EXPECT_EQ(props.AutoObjectName, m.progId);
    EXPECT_EQ(props.FilePath, list[0]->FilePath);
    EXPECT_EQ(reinterpret_cast<PropertiesDialogProc>(dlsym(module, "PropertiesDialog"))(), -1);
    CloseLibrary(module);

    EXPECT_EQ(ExportedSymbols(m.module),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                                     "GetDefaultProperties", "GetLibInfo", "PropertiesDialog"}));
}

// The host's open: the setup carrying the driver's advanced blob, the line on COMn
// at 9600 baud, and Init with the object's own Properties, which must succeed;
// cause: what Init said.
inline void OpenAsTheHost(ICashDriverAuto& d, IDispatch* object, const Variant& advData, int com,
                          std::string& cause) {
    TSpoolerSetup setup;
    setup.DriverSetup.AdvPropertiesData = advData;
    ASSERT_EQ(d.set_SpoolerSetup(setup.GetAsVariant()), S_OK);
    ASSERT_EQ(d.set_ComNumber(static_cast<std::uint8_t>(com)), S_OK);
    ASSERT_EQ(d.set_Baud(9600), S_OK);
    cause = "?";
    std::int32_t v = -1;
    ASSERT_EQ(d.Init(DispatchGet(object, "Properties"), &cause, &v), S_OK);
    ASSERT_EQ(v, 0) << cause;
}

// The result of a call through its out parameter (read after the call).
inline std::int32_t Id(HRESULT hr, const std::int32_t& v) {
    EXPECT_EQ(hr, S_OK);
    return v;
}

}  // namespace tolver::testutil

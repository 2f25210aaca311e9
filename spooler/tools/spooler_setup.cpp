// spooler-setup: chooses the spooler's driver and port in the registry store, as
// the connection dialog does on OK: the driver library is looked up among the
// libraries beside the program, its object is created once for its default
// settings, and the setup is saved under "\Software\Norvale\Spooler\Setup".
//
//   spooler-setup --driver FILE.csh --com N [--baud B] [--protocol on|off] [--notify on|off]
//   spooler-setup --none       (no driver)

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/cashgl.h"
#include "common/utilgl.h"
#include "platform/com/cocreate.h"
#include "platform/com/dispatch.h"
#include "spooler/driverlist.h"

using namespace tolver;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: spooler-setup --driver FILE.csh --com N [--baud B] [--protocol on|off] [--notify on|off]\n"
                 "       spooler-setup --none\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string driver;
    int com = -1, baud = 9600;
    int protocol = -1, notify = -1;
    bool none = false;
    const auto onOff = [](const std::string& v) { return v == "on" ? 1 : v == "off" ? 0 : -2; };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--none") {
            none = true;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const std::string v = argv[++i];
        if (a == "--driver") driver = v;
        else if (a == "--com") com = std::atoi(v.c_str());
        else if (a == "--baud") baud = std::atoi(v.c_str());
        else if (a == "--protocol") protocol = onOff(v);
        else if (a == "--notify") notify = onOff(v);
        else return Usage();
    }
    if (protocol == -2 || notify == -2 || (!none && (driver.empty() || com < 1 || com > 255 || baud <= 0)))
        return Usage();
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);  // a driver's settings frames are widgets

    try {
        TSpoolerSetup setup;
        if (RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey)) setup.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        TCashDriverSetup& d = setup.DriverSetup;
        if (none) {
            d.CashDriverProperties->Assign(TCashDriverProperties());
        } else {
            const std::string name = std::filesystem::path(driver).filename().string();
            const auto list = BuildDriverList();
            const TDriverListEntry* found = nullptr;
            for (const auto& e : list)
                if (std::filesystem::path(e.Properties->FilePath).filename() == name) found = &e;
            if (!found) {
                std::fprintf(stderr, "spooler-setup: no driver library %s beside the spooler\n", name.c_str());
                return 1;
            }
            d.CashDriverProperties->Assign(*found->Properties);
            ComPtr<IDispatch> object = CreateOleObject(d.CashDriverProperties->AutoObjectName);
            d.PropertiesData = DispatchGet(object.get(), "Properties");
            d.AdvPropertiesData = DispatchGet(object.get(), "AdvProperties");
            d.ComNumber = static_cast<std::uint8_t>(com);
            d.Baud = baud;
            std::printf("%s (%s) on COM%d at %d baud\n", found->Caption.c_str(),
                        d.CashDriverProperties->AutoObjectName.c_str(), com, baud);
        }
        if (protocol >= 0) d.ProtocolOn = protocol == 1;
        if (notify >= 0) d.NotificationOn = notify == 1;
        setup.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "spooler-setup: %s\n", e.what());
        return 1;
    }
    return 0;
}

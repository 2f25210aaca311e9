// spooler-setup: points the spooler at a driver from a script, as the connection
// dialog does for a user: the driver chosen by ProgID with its own default settings,
// the port and the baud rate, saved as the spooler's setup (the other settings stay).
//
//   spooler-setup --driver Sorbel.CashDriverAuto --com 7 [--baud 9600] [--protocol]

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/cashgl.h"
#include "common/utilgl.h"
#include "platform/com/cocreate.h"
#include "platform/com/dispatch.h"
#include "platform/registry/hkey.h"

using namespace tolver;

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);  // driver objects make their settings frames
    std::string driver;
    long com = 0, baud = 9600;
    bool protocol = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--protocol") protocol = true;
        else if (i + 1 < argc && a == "--driver") driver = argv[++i];
        else if (i + 1 < argc && a == "--com") com = std::strtol(argv[++i], nullptr, 10);
        else if (i + 1 < argc && a == "--baud") baud = std::strtol(argv[++i], nullptr, 10);
        else com = -1;
    }
    if (driver.empty() || com < 1 || com > 255 || baud <= 0) {
        std::fprintf(stderr, "usage: spooler-setup --driver PROGID --com N [--baud B] [--protocol]\n");
        return 2;
    }
    try {
        TSpoolerSetup setup;
        if (RegKeyExists(HKEY_LOCAL_MACHINE, kSpoolerSetupKey)) setup.LoadFromRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
        const ComPtr<IDispatch> object = CreateOleObject(driver);
        setup.DriverSetup.CashDriverProperties->AutoObjectName = driver;
        setup.DriverSetup.ComNumber = static_cast<std::uint8_t>(com);
        setup.DriverSetup.Baud = static_cast<std::int32_t>(baud);
        setup.DriverSetup.ProtocolOn = protocol;
        setup.DriverSetup.PropertiesData = DispatchGet(object.get(), "Properties");
        setup.DriverSetup.AdvPropertiesData = DispatchGet(object.get(), "AdvProperties");
        setup.SaveToRegistry(HKEY_LOCAL_MACHINE, kSpoolerSetupKey);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "spooler-setup: %s\n", e.what());
        return 1;
    }
    std::printf("spooler setup: %s on COM%ld at %ld baud\n", driver.c_str(), com, baud);
    return 0;
}

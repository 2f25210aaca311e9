// spooler-setup: chooses the spooler's driver and port in the registry store, as
// the connection dialog does on OK: the driver library is looked up among the
// libraries beside the program, its object is created once for its default
// settings, and the setup is saved under "\Software\Norvale\Spooler\Setup".
// --device names the serial device of the port (a USB adapter, best by its
// /dev/serial/by-id name) in "\Software\Norvale\Spooler\Ports"; without --com it
// keeps the number it is stored under, or takes the first free one from 9 up.
//
//   spooler-setup --driver FILE.csh (--com N | --device PATH | both) [--baud B]
//                 [--protocol on|off] [--notify on|off]
//   spooler-setup --none       (no driver)
//   spooler-setup --help
// Exit codes: 0 done, 1 failed (no such driver, a module not installed, the store),
// 2 bad arguments.

#include <QApplication>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/cashgl.h"
#include "common/utilgl.h"
#include "platform/com/cocreate.h"
#include "platform/com/dispatch.h"
#include "platform/serial/serialport.h"
#include "spooler/driverlist.h"

using namespace tolver;

namespace {

constexpr const char* kUsage =
    "usage: spooler-setup --driver FILE.csh (--com N | --device PATH | both) [--baud B]\n"
    "                     [--protocol on|off] [--notify on|off]\n"
    "       spooler-setup --none\n"
    "--com N       the port COMN (1 to 255): /dev/ttyS(N-1) unless a device is stored for it\n"
    "--device PATH the serial device of the port, e.g. /dev/serial/by-id/usb-...; stored for\n"
    "              COMN, or without --com for the number it has, else the first free from 9\n"
    "Exit codes: 0 done, 1 failed, 2 bad arguments.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "spooler-setup: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

// A whole decimal number within [low, high], or nothing ("3.5", "7x" and "" are not).
bool ParseWhole(const std::string& text, long low, long high, int& out) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string driver, device;
    int com = 0, baud = 9600;
    int protocol = -1, notify = -1;
    bool none = false;
    const auto onOff = [](const std::string& v) { return v == "on" ? 1 : v == "off" ? 0 : -2; };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::printf("%s", kUsage);
            return 0;
        }
        if (a == "--none") {
            none = true;
            continue;
        }
        if (a != "--driver" && a != "--com" && a != "--device" && a != "--baud" && a != "--protocol" &&
            a != "--notify")
            return Usage("unknown argument " + a);
        if (i + 1 >= argc) return Usage(a + " needs a value");
        const std::string v = argv[++i];
        if (a == "--driver") driver = v;
        else if (a == "--device") device = v;
        else if (a == "--com" && !ParseWhole(v, 1, 255, com)) return Usage("--com: a port number from 1 to 255, not " + v);
        else if (a == "--baud" && !ParseWhole(v, 1, INT_MAX, baud)) return Usage("--baud: a rate in bits per second, not " + v);
        else if (a == "--protocol" && (protocol = onOff(v)) == -2) return Usage("--protocol: on or off, not " + v);
        else if (a == "--notify" && (notify = onOff(v)) == -2) return Usage("--notify: on or off, not " + v);
    }
    if (!none && driver.empty()) return Usage("--driver or --none is needed");
    if (!none && com == 0 && device.empty()) return Usage("--com or --device is needed");
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
            const std::string& progId = d.CashDriverProperties->AutoObjectName;
            GUID clsid;
            if (FAILED(CLSIDFromProgID(progId, &clsid))) {
                std::fprintf(stderr,
                             "spooler-setup: the driver module %s is not installed: its object %s is not "
                             "registered (install it with: tolver-regsvr %s)\n",
                             name.c_str(), progId.c_str(), found->Properties->FilePath.c_str());
                return 1;
            }
            ComPtr<IDispatch> object = CreateOleObject(progId);
            d.PropertiesData = DispatchGet(object.get(), "Properties");
            d.AdvPropertiesData = DispatchGet(object.get(), "AdvProperties");
            if (!device.empty()) {
                std::error_code ec;
                const TSerialDevice named{device, std::filesystem::weakly_canonical(device, ec).string()};
                if (com == 0) com = StoredComNumber(named);
                if (com == 0) com = FreeComNumber();
                if (com == 0) {
                    std::fprintf(stderr, "spooler-setup: every port number up to 255 names a device already\n");
                    return 1;
                }
                SetComDevicePath(com, device);
            }
            d.ComNumber = static_cast<std::uint8_t>(com);
            d.Baud = baud;
            const std::string path = ComDevicePath(com);
            std::printf("%s (%s) on COM%d (%s) at %d baud\n", found->Caption.c_str(), progId.c_str(), com,
                        path.c_str(), baud);
            std::error_code missing;
            if (!std::filesystem::exists(path, missing))
                std::fprintf(stderr, "spooler-setup: warning: %s is not there now\n", path.c_str());
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

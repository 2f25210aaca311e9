#include <string>

#include "platform/registry/registry.h"
#include "platform/serial/serialport.h"

namespace tolver {
namespace {

constexpr const char* kPortsKey = "\\Software\\Norvale\\Spooler\\Ports";

}  // namespace

std::string ComDevicePath(int comNumber) {
    if (comNumber <= 0) return {};
    const std::string name = "COM" + std::to_string(comNumber);
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey(kPortsKey, false)) {
            RegValue device = reg.ReadValue(name);
            if (device.type == RegDataType::String && !device.text.empty()) return std::move(device.text);
        }
    } catch (const std::exception&) {
        // An unreadable store leaves the standard device.
    }
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

void SetComDevicePath(int comNumber, const std::string& device) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(kPortsKey, true)) throw Exception("registry: cannot open " + std::string(kPortsKey));
    reg.WriteString("COM" + std::to_string(comNumber), device);
}

}  // namespace tolver

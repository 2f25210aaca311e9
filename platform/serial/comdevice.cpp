#include <string>

#include "platform/registry/registry.h"
#include "platform/serial/serialport.h"

namespace tolver {

std::string ComDevicePath(int comNumber) {
    if (comNumber <= 0) return {};
    const std::string name = "COM" + std::to_string(comNumber);
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", false)) {
            RegValue device = reg.ReadValue(name);
            if (device.type == RegDataType::String && !device.text.empty()) return std::move(device.text);
        }
    } catch (const std::exception&) {
        // An unreadable store leaves the standard device.
    }
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

}  // namespace tolver

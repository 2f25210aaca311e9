#include <string>

#include "platform/registry/registry.h"
#include "platform/serial/serialport.h"

namespace tolver {

std::string ComDevicePath(int comNumber) {
    if (comNumber <= 0) return {};
    const std::string name = "COM" + std::to_string(comNumber);
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", false) &&
            reg.GetDataType(name) == RegDataType::String) {
            std::string path = reg.ReadString(name);
            if (!path.empty()) return path;
        }
    } catch (const std::exception&) {
        // An unreadable store leaves the standard device.
    }
    return "/dev/ttyS" + std::to_string(comNumber - 1);
}

}  // namespace tolver

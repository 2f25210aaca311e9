#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "platform/serial/serialport.h"

namespace tolver {
namespace {

constexpr const char* kPortsKey = "\\Software\\Norvale\\Spooler\\Ports";

// The device a name leads to, or the name itself when it leads nowhere.
std::string Canonical(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? path : real.string();
}

// The name of the group that owns the device, empty when unknown.
std::string DeviceGroup(const std::string& device) {
    struct stat st{};
    if (::stat(device.c_str(), &st) != 0) return {};
    if (const group* g = ::getgrgid(st.st_gid)) return g->gr_name;
    return std::to_string(st.st_gid);
}

bool IsAdapterName(const std::string& name) { return name.starts_with("ttyUSB") || name.starts_with("ttyACM"); }

// The stored values "COMn" under the ports key, as n and device.
std::vector<std::pair<int, std::string>> StoredDevices() {
    std::vector<std::pair<int, std::string>> out;
    try {
        TRegistry reg(HKEY_LOCAL_MACHINE);
        if (!reg.OpenKey(kPortsKey, false)) return out;
        for (int n = 1; n <= 255; ++n) {
            const std::string name = "COM" + std::to_string(n);
            if (!reg.ValueExists(name)) continue;
            RegValue v = reg.ReadValue(name);
            if (v.type == RegDataType::String && !v.text.empty()) out.emplace_back(n, std::move(v.text));
        }
    } catch (const std::exception&) {
    }
    return out;
}

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

std::string OpenFailureReason(const std::string& device, int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "устройства " + device + " нет (кабель или адаптер не подключен?)";
        case EACCES:
        case EPERM: {
            const std::string group = DeviceGroup(device);
            if (group.empty() || group == "root") return "нет прав на " + device;
            return "нет прав на " + device + ": пользователь должен входить в группу " + group +
                   " (sudo usermod -aG " + group + " $USER, затем войти в систему заново)";
        }
        case EBUSY:
        case EWOULDBLOCK:
            return device + " занят другой программой";
        default:
            return device + ": " + std::strerror(error);
    }
}

std::vector<TSerialDevice> ListSerialDevices(const std::string& devRoot) {
    namespace fs = std::filesystem;
    std::vector<TSerialDevice> out;
    std::vector<std::string> covered;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(fs::path(devRoot) / "serial" / "by-id", ec)) {
        const std::string device = Canonical(e.path().string());
        if (!fs::exists(device, ec)) continue;
        out.push_back({e.path().string(), device});
        covered.push_back(device);
    }
    std::sort(out.begin(), out.end(), [](const TSerialDevice& a, const TSerialDevice& b) { return a.Path < b.Path; });
    std::vector<TSerialDevice> bare;
    for (const fs::directory_entry& e : fs::directory_iterator(devRoot, ec)) {
        if (!IsAdapterName(e.path().filename().string())) continue;
        const std::string device = Canonical(e.path().string());
        if (std::find(covered.begin(), covered.end(), device) == covered.end()) bare.push_back({e.path().string(), device});
    }
    std::sort(bare.begin(), bare.end(), [](const TSerialDevice& a, const TSerialDevice& b) { return a.Path < b.Path; });
    out.insert(out.end(), bare.begin(), bare.end());
    return out;
}

int StoredComNumber(const TSerialDevice& device) {
    for (const auto& [n, stored] : StoredDevices())
        if (stored == device.Path || stored == device.Device || Canonical(stored) == device.Device) return n;
    return 0;
}

int FreeComNumber() {
    const auto stored = StoredDevices();
    for (int n = 9; n <= 255; ++n)
        if (std::none_of(stored.begin(), stored.end(), [n](const auto& s) { return s.first == n; })) return n;
    return 0;
}

}  // namespace tolver

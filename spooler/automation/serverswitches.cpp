#include "spooler/automation/serverswitches.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/base/textcase.h"
#include "spooler/automation/automationbus.h"

namespace tolver::spooler {

namespace fs = std::filesystem;

ServerSwitches ParseServerSwitches(const std::vector<std::string>& args) {
    ServerSwitches out;
    for (std::string arg : args) {
        if (arg.starts_with("--"))
            arg.erase(0, 2);
        else if (arg.starts_with("-") || arg.starts_with("/"))
            arg.erase(0, 1);
        if (SameText(arg, "REGSERVER"))
            out.regServer = true;
        else if (SameText(arg, "UNREGSERVER"))
            out.unregServer = true;
        else if (SameText(arg, "AUTOMATION") || SameText(arg, "EMBEDDING"))
            out.automation = true;
    }
    return out;
}

std::string ActivationFilePath() {
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && fs::path(xdg).is_absolute())
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = fs::path(home) / ".local" / "share";
    else
        data = fs::temp_directory_path();
    return (data / "dbus-1" / "services" / (std::string(bus::kServiceName) + ".service")).string();
}

std::string ActivationFileText(const std::string& exePath) {
    // The bus splits Exec as a shell would: quote the path, escaping only the quote.
    std::string quoted = "'";
    for (char c : exePath) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    return std::string("[D-BUS Service]\nName=") + bus::kServiceName + "\nExec=" + quoted + " AUTOMATION\n";
}

bool WriteActivationFile(const std::string& exePath, std::string& error) {
    const fs::path path = ActivationFilePath();
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
        error = path.parent_path().string() + ": " + ec.message();
        return false;
    }
    // Written beside and renamed, so that the bus never reads half a file.
    const fs::path temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << ActivationFileText(exePath);
        out.flush();
        if (!out) {
            error = temp.string() + ": cannot write";
            return false;
        }
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = path.string() + ": " + ec.message();
        return false;
    }
    return true;
}

bool RemoveActivationFile(std::string& error) {
    std::error_code ec;
    fs::remove(ActivationFilePath(), ec);
    if (ec) {
        error = ActivationFilePath() + ": " + ec.message();
        return false;
    }
    return true;
}

int HandleRegistrationSwitches(const ServerSwitches& switches) {
    if (!switches.regServer && !switches.unregServer) return -1;
    std::string error;
    if (switches.unregServer) {
        if (!RemoveActivationFile(error)) {
            std::fprintf(stderr, "Spooler: %s\n", error.c_str());
            return 1;
        }
        std::printf("Spooler: removed %s\n", ActivationFilePath().c_str());
        return 0;
    }
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || !WriteActivationFile(exe.string(), error)) {
        std::fprintf(stderr, "Spooler: %s\n", ec ? ("/proc/self/exe: " + ec.message()).c_str() : error.c_str());
        return 1;
    }
    std::printf("Spooler: wrote %s\n", ActivationFilePath().c_str());
    return 0;
}

}  // namespace tolver::spooler

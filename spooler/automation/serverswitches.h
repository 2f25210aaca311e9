#pragma once
// The automation server's command-line switches of Spooler: "REGSERVER" writes the
// D-Bus activation file (a client's first call then starts Spooler with
// "AUTOMATION") and ends the program, "UNREGSERVER" removes it and ends,
// "AUTOMATION" and "EMBEDDING" mark a start by the bus (the program runs as usual).
// Each is accepted bare or after "/", "-" or "--", in any case.

#include <string>
#include <vector>

namespace tolver::spooler {

struct ServerSwitches {
    bool regServer = false;
    bool unregServer = false;
    bool automation = false;  // AUTOMATION or EMBEDDING
};

// args without the program name.
ServerSwitches ParseServerSwitches(const std::vector<std::string>& args);

// $XDG_DATA_HOME/dbus-1/services/org.tolver.Spooler.service ($XDG_DATA_HOME defaults
// to ~/.local/share).
std::string ActivationFilePath();
// The activation file's text for the program at exePath.
std::string ActivationFileText(const std::string& exePath);
// Write or remove the file; false with the reason in error.
bool WriteActivationFile(const std::string& exePath, std::string& error);
bool RemoveActivationFile(std::string& error);

// REGSERVER and UNREGSERVER: does the work, prints what it did or why it failed, and
// returns the exit code (0 done, 1 failed). -1 when neither switch is given and the
// program starts as usual.
int HandleRegistrationSwitches(const ServerSwitches& switches);

}  // namespace tolver::spooler

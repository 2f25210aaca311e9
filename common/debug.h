#pragma once
// The dated debug log: "Debug/yyyy-mm-dd_<prefix>.txt" under the program's writable
// folder (GetDataPath), one "hh:nn:ss.zzz <text>" line per call, CR LF ended.

#include <string>
#include <string_view>

namespace tolver {

// The unit's enable switch; off at start, so that only forced calls write.
void SetDebugEnabled(bool on);
bool DebugEnabled();

// Appends one line when force is set or the switch is on; never raises. The clock is
// read once, so that the line's time and its file's date agree.
void DebugLog(std::string_view text, std::string_view prefix = "", bool force = false);

// The time of day as the log lines begin: "hh:nn:ss.zzz " (local time, with the
// trailing blank).
std::string LogTimeStamp();

// The program's writable folder joined with subFolder (when not empty), then name.
std::string ExePathFile(std::string_view name, std::string_view subFolder = "");
// name alone when folder is empty; folder directly followed by name when folder ends
// with "/"; otherwise folder, "/" and name.
std::string JoinPath(std::string_view folder, std::string_view name);

}  // namespace tolver

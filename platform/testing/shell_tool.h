#pragma once
// Runs a tool of the build (tolver-regsvr, spooler-setup) as a shell command with its
// output dropped; the result is the shell's status, 0 for success.

#include <cstdlib>
#include <string>

namespace tolver::testutil {

inline std::string Quoted(const std::string& s) { return "'" + s + "'"; }

inline int RunTool(const std::string& tool, const std::string& args) {
    return std::system((Quoted(tool) + " " + args + " >/dev/null 2>&1").c_str());
}

}  // namespace tolver::testutil

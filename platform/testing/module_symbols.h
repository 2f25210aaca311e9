#pragma once
// Test support: the symbols that a module exports, read from its dynamic symbol
// table with nm (defined entries only, without the tool chain's own "_" names).

#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>

namespace tolver::testutil {

inline std::set<std::string> ExportedSymbols(const std::string& module) {
    FILE* pipe = popen(("nm -D --defined-only '" + module + "'").c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run nm");
    std::set<std::string> exported;
    char line[1024];
    while (fgets(line, sizeof line, pipe)) {
        char type = 0;
        char name[900];
        if (std::sscanf(line, "%*s %c %899s", &type, name) == 2 && type != 'w' && type != 'U' && name[0] != '_')
            exported.insert(name);
    }
    if (pclose(pipe) != 0) throw std::runtime_error("nm failed on " + module);
    return exported;
}

}  // namespace tolver::testutil

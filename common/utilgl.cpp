#include "common/utilgl.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/registry/registry.h"

namespace tolver {

std::string GetAppPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "./";
    std::string dir = exe.parent_path().string();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::string GetDataPath() {
    const auto withSlash = [](std::string d) {
        if (!d.empty() && d.back() != '/') d += '/';
        return d;
    };
    if (const char* forced = std::getenv("TOLVER_STATE_DIR"); forced && *forced) return withSlash(forced);
    const std::string app = GetAppPath();
    if (::access(app.c_str(), W_OK) == 0) return app;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) return withSlash(state) + "tolver/";
    const char* home = std::getenv("HOME");
    return withSlash(home && *home ? home : "/tmp") + ".local/state/tolver/";
}

void CutFirstToken(std::string& s, std::string_view delimiters, std::string& token) {
    const auto isDelim = [&](char c) { return delimiters.find(c) != std::string_view::npos; };
    token.clear();
    std::size_t i = 0;
    while (i < s.size() && isDelim(s[i])) ++i;
    const std::size_t start = i;
    while (i < s.size() && !isDelim(s[i])) ++i;
    token.assign(s, start, i - start);
    while (i < s.size() && isDelim(s[i])) ++i;
    s.erase(0, i);
}

void CutLastToken(std::string& s, std::string_view delimiters, std::string& token) {
    const auto isDelim = [&](char c) { return delimiters.find(c) != std::string_view::npos; };
    token.clear();
    std::size_t end = s.size();
    while (end > 0 && isDelim(s[end - 1])) --end;
    std::size_t start = end;
    while (start > 0 && !isDelim(s[start - 1])) --start;
    token.assign(s, start, end - start);
    // A delimiter stopped the walk: it goes with everything after it. Else s empties.
    s.erase(start == 0 ? 0 : start - 1);
}

bool RegKeyExists(HKEY rootKey, const std::string& key) {
    TRegistry reg(rootKey);
    return reg.KeyExists(key);
}

std::string DeleteCRLF(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (const char c : s)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

int CharSum(std::string_view s) {
    int sum = 0;
    for (const char c : s) sum += static_cast<unsigned char>(c);
    return sum;
}

}  // namespace tolver

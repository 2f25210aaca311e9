#include "common/debug.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "common/utilgl.h"

namespace tolver {
namespace {
std::atomic<bool> g_enabled{false};

struct Now {
    std::tm tm{};
    int ms = 0;
};

Now LocalNow() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    Now now;
    const std::time_t secs = tv.tv_sec;
    ::localtime_r(&secs, &now.tm);
    now.ms = static_cast<int>(tv.tv_usec / 1000);
    return now;
}

std::string Stamp(const Now& now) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", now.tm.tm_hour, now.tm.tm_min, now.tm.tm_sec, now.ms);
    return stamp;
}
}  // namespace

std::string LogTimeStamp() { return Stamp(LocalNow()); }

void SetDebugEnabled(bool on) { g_enabled = on; }
bool DebugEnabled() { return g_enabled; }

std::string JoinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string out(folder);
    if (out.back() != '/') out += '/';
    out += name;
    return out;
}

std::string ExePathFile(std::string_view name, std::string_view subFolder) {
    std::string dir = GetDataPath();
    if (!subFolder.empty()) dir = JoinPath(dir, subFolder);
    return JoinPath(dir, name);
}

void DebugLog(std::string_view text, std::string_view prefix, bool force) {
    if (!force && !g_enabled) return;
    try {
        const Now now = LocalNow();
        const std::tm& tm = now.tm;

        char name[64];
        std::snprintf(name, sizeof name, "%04d-%02d-%02d_", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
        const std::string file = ExePathFile(std::string(name) + std::string(prefix.empty() ? "debug" : prefix) + ".txt", "Debug");

        std::string line = Stamp(now);
        line += text;
        line += "\r\n";

        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
        // O_APPEND: every write lands at the end, so concurrent writers never overwrite
        // each other and the file is never truncated.
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) return;
        const char* p = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            const ssize_t n = ::write(fd, p, left);
            if (n <= 0) break;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        ::close(fd);
    } catch (...) {
        // Logging never disturbs the caller.
    }
}

}  // namespace tolver

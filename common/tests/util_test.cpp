#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/debug.h"
#include "common/encode.h"
#include "common/utilgl.h"

using namespace tolver;
namespace fs = std::filesystem;

namespace {

TEST(Tokens, CutFirstToken) {
    const struct {
        const char* s;
        const char* delims;
        std::vector<std::string> tokens;  // successive calls, then the empty token
    } cases[] = {
        {",,ab,,cd", ",", {"ab", "cd"}},
        {"1;2;", ";", {"1", "2"}},
        {",,,", ",", {}},
        {"", ",", {}},
        {"a b;c", " ;", {"a", "b", "c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.s);
        std::string s = c.s, token;
        for (const auto& expected : c.tokens) {
            CutFirstToken(s, c.delims, token);
            EXPECT_EQ(token, expected);
        }
        CutFirstToken(s, c.delims, token);
        EXPECT_EQ(token, "");
        EXPECT_EQ(s, "");
    }
    std::string s = ",,ab,,cd", token;
    CutFirstToken(s, ",", token);
    EXPECT_EQ(s, "cd");
}

TEST(Tokens, CutLastToken) {
    const struct {
        const char* s;
        const char* token;
        const char* rest;
    } cases[] = {
        {"ab,,cd,,", "cd", "ab,"},
        {"abc", "abc", ""},
        {",,,", "", ""},
        {",x", "x", ""},
        {"a,b", "b", "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.s);
        std::string s = c.s, token = "old";
        CutLastToken(s, ",", token);
        EXPECT_EQ(token, c.token);
        EXPECT_EQ(s, c.rest);
    }
}

TEST(Util, FrameStringHelpers) {
    EXPECT_EQ(CharSum("AB"), 131);
    EXPECT_EQ(CharSum(""), 0);
    EXPECT_EQ(CharSum("\xFF\xFF"), 510);
    EXPECT_EQ(DeleteCRLF("a\r\nb\n\r"), "ab");
}

TEST(Util, AppPathIsTheExecutablesFolder) {
    const std::string app = GetAppPath();
    ASSERT_FALSE(app.empty());
    EXPECT_EQ(app.back(), '/');
    EXPECT_TRUE(fs::exists(app + "common_util_test"));
    EXPECT_EQ(JoinPath("", "a"), "a");
    EXPECT_EQ(JoinPath("/x/", "a"), "/x/a");
    EXPECT_EQ(JoinPath("/x", "a"), "/x/a");
}

// GetDataPath as a process that cannot write to the program's folder sees it: run in
// a child under an unprivileged user (which needs root to become). Empty when that
// cannot be done here.
std::string DataPathOfAnotherUser() {
    if (::getuid() != 0) return {};
    int out[2];
    if (::pipe(out) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const std::string path = GetDataPath();
        const bool ok = ::write(out[1], path.data(), path.size()) == static_cast<ssize_t>(path.size());
        ::_exit(ok ? 0 : 3);
    }
    ::close(out[1]);
    std::string path;
    char buf[256];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) path.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? path : std::string();
}

TEST(Util, DataPathIsTheProgramFolderWhenWritableElseTheStateFolder) {
    const char* forced = std::getenv("TOLVER_STATE_DIR");
    const std::string saved = forced ? forced : "";
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string savedState = state ? state : "";
    ::unsetenv("TOLVER_STATE_DIR");
    ::setenv("XDG_STATE_HOME", "/var/tmp/state-home", 1);
    ASSERT_EQ(::access(GetAppPath().c_str(), W_OK), 0);  // the build tree
    EXPECT_EQ(GetDataPath(), GetAppPath());
    const std::string other = DataPathOfAnotherUser();
    if (!other.empty()) {
        EXPECT_EQ(other, "/var/tmp/state-home/tolver/");
    }
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("TOLVER_STATE_DIR", "/var/tmp/forced", 1);
    EXPECT_EQ(GetDataPath(), "/var/tmp/forced/");
    if (forced) ::setenv("TOLVER_STATE_DIR", saved.c_str(), 1);
    else ::unsetenv("TOLVER_STATE_DIR");
    if (state) ::setenv("XDG_STATE_HOME", savedState.c_str(), 1);
    if (other.empty()) GTEST_SKIP() << "the unwritable branch needs root to run as another user";
}

TEST(Scrambler, RotateByte) {
    EXPECT_EQ(RotateByte(0x81, 1), 0xC0);
    EXPECT_EQ(RotateByte(0x81, -1), 0x03);
    for (int n : {0, 8, -8, 16}) EXPECT_EQ(RotateByte(0x81, n), 0x81);
    EXPECT_EQ(RotateByte(0x81, 9), 0xC0);
    EXPECT_EQ(RotateByte(0x81, -9), 0x03);
}

TEST(Scrambler, GoldenValuesAndRoundTrip) {
    EXPECT_EQ(ScrambleString("abc", "", false), "\xC2\x98\x1B");
    EXPECT_EQ(ScrambleString("\xC2\x98\x1B", "", true), "abc");
    EXPECT_EQ(ScrambleString("", "123456", false), "");
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    for (const char* key : {"", "7", "123456", "ключ"}) {
        SCOPED_TRACE(key);
        const std::string s = ScrambleString(all, key, false);
        EXPECT_EQ(s.size(), all.size());
        EXPECT_NE(s, all);
        EXPECT_EQ(ScrambleString(s, key, true), all);
    }
}

class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolver-debug-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        ::setenv("TOLVER_STATE_DIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TOLVER_STATE_DIR");
        SetDebugEnabled(false);
        fs::remove_all(dir_);
    }
    static std::string Today(const char* prefix) {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        ::localtime_r(&now, &tm);
        char name[64];
        std::strftime(name, sizeof name, "%Y-%m-%d_", &tm);
        return std::string(name) + prefix + ".txt";
    }
    static std::string Read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    fs::path dir_;
};

TEST_F(DebugLogTest, AppendsDatedLines) {
    DebugLog("first", "", true);
    DebugLog("второй", "", true);
    const std::string text = Read(dir_ / "Debug" / Today("debug"));
    ASSERT_EQ(text.size(), 2 * 13 + 5 + 12 + 4u);
    // "hh:nn:ss.zzz " then the text and CR LF.
    EXPECT_EQ(text[2], ':');
    EXPECT_EQ(text[8], '.');
    EXPECT_EQ(text.substr(12, 8), " first\r\n");
    EXPECT_EQ(text.substr(text.size() - 15), " второй\r\n");
}

TEST_F(DebugLogTest, SwitchOffWritesNothing) {
    DebugLog("quiet", "trace", false);
    EXPECT_FALSE(fs::exists(dir_));
    SetDebugEnabled(true);
    DebugLog("loud", "trace", false);
    EXPECT_TRUE(fs::exists(dir_ / "Debug" / Today("trace")));
}

TEST_F(DebugLogTest, ConcurrentWritersLoseNoLine) {
    constexpr int kWriters = 4, kLines = 200;
    std::vector<pid_t> kids;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int i = 0; i < kLines; ++i) DebugLog("line", "many", true);
            ::_exit(0);
        }
        kids.push_back(pid);
    }
    for (const pid_t pid : kids) ::waitpid(pid, nullptr, 0);
    const std::string text = Read(dir_ / "Debug" / Today("many"));
    EXPECT_EQ(text.size(), static_cast<std::size_t>(kWriters * kLines) * (13 + 4 + 2));
}

TEST_F(DebugLogTest, UnwritableFolderIsSwallowed) {
    ::setenv("TOLVER_STATE_DIR", "/proc/tolver-no-such-folder", 1);
    DebugLog("lost", "", true);  // must not raise
    SUCCEED();
}

}  // namespace

// The cashsim program: it prints its pseudo-terminal, plays the register on it and
// ends on SIGTERM; bad arguments end it with a message.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

Child Start(const std::vector<std::string>& args) {
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char*> argv;
    std::string path = CASHSIM_PATH;
    argv.push_back(path.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    Child c;
    EXPECT_EQ(posix_spawn(&c.pid, path.c_str(), &fa, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    ::close(err[1]);
    c.out = out[0];
    c.err = err[0];
    return c;
}

// Reads from fd until `until` is in it or the guard passes.
std::string ReadUntil(int fd, const std::string& until, int guardMs = 20000) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    while (got.find(until) == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
}

// Opens, raw, the pseudo-terminal that cashsim names on its first output line; -1
// when it names none.
int OpenLine(const Child& c) {
    const std::string line = ReadUntil(c.out, "\n");
    if (line.empty() || line.back() != '\n') return -1;
    const int fd = ::open(line.substr(0, line.size() - 1).c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

TEST(Cashsim, PlaysTheRegisterUntilStopped) {
    Child c = Start({"er350f", "--key", "X", "--faults", "key 1 drop-echo"});
    const int fd = OpenLine(c);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "\x02\x11\x12", 3), 3);
    EXPECT_EQ(ReadUntil(fd, "\x92"), "\x40\x92");  // position X; the first key's echo dropped
    ::close(fd);
    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c.pid), 0);
}

// The fiscal register: a status request is acknowledged and answered with a status
// in its mode; a scripted NAK comes first.
TEST(Cashsim, PlaysTheFiscalRegister) {
    Child c = Start({"rf2160", "--mode", "3", "--lock", "80", "02", "--faults", "frame 1 nak"});
    const int fd = OpenLine(c);
    ASSERT_GE(fd, 0);
    const std::string poll = std::string("\x01") + "FISREGISTRATOR2160\x02\x1C" "001[\x03" "1551\x04";
    ASSERT_EQ(::write(fd, poll.data(), poll.size()), static_cast<ssize_t>(poll.size()));
    EXPECT_EQ(ReadUntil(fd, "\x15"), "\x15");
    ASSERT_EQ(::write(fd, poll.data(), poll.size()), static_cast<ssize_t>(poll.size()));
    // Mode Z, the lock class with the end of the paper.
    const std::string status = std::string("\x06\x01") + "FISREGISTRATOR2160\x02\x1C" "005[\x04\x80" + std::string(1, '\0') +
                               "\x02\x03" "1689\x04";
    EXPECT_EQ(ReadUntil(fd, "1689\x04"), status);
    ::close(fd);
    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c.pid), 0);
}

// What the fiscal register books goes to the journal file as it books it; what it
// refuses does not.
TEST(Cashsim, TheFiscalRegisterWritesItsJournal) {
    char dir[] = "/tmp/tolver-cashsim-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string journal = std::string(dir) + "/journal.txt";
    Child c = Start({"rf2160", "--journal", journal});
    const int fd = OpenLine(c);
    ASSERT_GE(fd, 0);
    const std::string head = std::string("\x01") + "FISREGISTRATOR2160\x02\x1C";
    // "@" with 24 characters (the line "Ok"), "A" (no such command), "0" (the drawer).
    const std::string frames = head + "025@Ok" + std::string(22, ' ') + "\x03" "2420\x04" + head + "001A\x03" "1525\x04" +
                               head + "0010\x03" "1508\x04";
    ASSERT_EQ(::write(fd, frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    // The three acknowledgements, then the three statuses.
    const std::string done = head + "005[\x01" + std::string(3, '\0') + "\x03" "1556\x04";
    const std::string refused = head + "005[\x01\x04" + std::string(2, '\0') + "\x03" "1560\x04";
    const std::string answers = "\x06\x06\x06" + done + refused + done;
    EXPECT_EQ(ReadUntil(fd, answers), answers);
    const auto read = [&] {
        std::string text;
        if (FILE* f = std::fopen(journal.c_str(), "r")) {
            char buf[256];
            for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
            std::fclose(f);
        }
        return text;
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (read() != "text Ok\ndrawer\n" && std::chrono::steady_clock::now() < end)
        ::poll(nullptr, 0, 10);
    EXPECT_EQ(read(), "text Ok\ndrawer\n");
    ::close(fd);
    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c.pid), 0);
    std::filesystem::remove_all(dir);
}

// The times of a fault script count from cashsim's start.
TEST(Cashsim, ScriptTimesCountFromTheStart) {
    const auto start = std::chrono::steady_clock::now();
    Child c = Start({"rf2160", "--faults", "at 300 nak"});
    const int fd = OpenLine(c);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ReadUntil(fd, "\x15"), "\x15");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    ::close(fd);
    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c.pid), 0);
}

// The operator turns the mode key through the control socket; the register answers
// the next key-position query with the new position.
TEST(Cashsim, TheControlSocketTurnsTheKey) {
    char dir[] = "/tmp/tolver-cashsim-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string socketPath = std::string(dir) + "/control";
    Child c = Start({"er350f", "--control", socketPath});
    const int fd = OpenLine(c);
    ASSERT_GE(fd, 0);

    const int ctl = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    socketPath.copy(addr.sun_path, sizeof addr.sun_path - 1);
    ASSERT_EQ(::connect(ctl, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string commands = "key Z\nkey Q\nfly\n";
    ASSERT_EQ(::write(ctl, commands.data(), commands.size()), static_cast<ssize_t>(commands.size()));
    EXPECT_EQ(ReadUntil(ctl, "command\n"), "ok\nerror: key P|X|Z|П|МС\nerror: unknown command\n");
    ASSERT_EQ(::write(fd, "\x02", 1), 1);
    EXPECT_EQ(ReadUntil(fd, "\x80"), "\x80");  // position Z
    ASSERT_EQ(::write(ctl, "key МС\n", std::strlen("key МС\n")), static_cast<ssize_t>(std::strlen("key МС\n")));
    EXPECT_EQ(ReadUntil(ctl, "\n"), "ok\n");
    ASSERT_EQ(::write(fd, "\x02", 1), 1);
    EXPECT_EQ(ReadUntil(fd, "\x04"), "\x04");
    ::close(ctl);
    ::close(fd);
    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c.pid), 0);
    EXPECT_FALSE(std::filesystem::exists(socketPath));  // removed at the end
    ::rmdir(dir);
}

TEST(Cashsim, BadArgumentsAreRefused) {
    const struct {
        std::vector<std::string> args;
        int rc;
        const char* message;
    } cases[] = {
        {{}, 2, "usage"},
        {{"nosuch"}, 2, "usage"},
        {{"er350f", "--key", "Q"}, 1, "--key"},
        {{"er350f", "--faults", "key 1 fly"}, 1, "unknown action"},
        {{"er350f", "--print-delay", "-3"}, 1, "not a number"},
        {{"er350f", "--id"}, 1, "value missing"},
        {{"er350f", "--control", "/nonexistent/folder/control"}, 1, "--control"},
        {{"rf2160", "--mode", "7"}, 1, "--mode"},
        {{"rf2160", "--faults", "cmd 1 explode"}, 1, "unknown action"},
        {{"rf2160", "--control", "/tmp/x"}, 1, "no mode key"},
        {{"rf2160", "--journal", "/nonexistent/folder/journal"}, 1, "--journal"},
        {{"er350f", "--journal", "/tmp/x"}, 1, "keeps no journal"},
    };
    for (const auto& t : cases) {
        Child c = Start(t.args);
        const std::string err = ReadUntil(c.err, t.message);
        EXPECT_NE(err.find(t.message), std::string::npos) << err;
        EXPECT_EQ(Wait(c.pid), t.rc);
        ::close(c.out);
        ::close(c.err);
    }
}

}  // namespace

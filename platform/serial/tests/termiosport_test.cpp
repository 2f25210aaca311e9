#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/registry/registry.h"
#include "platform/registry/registry_fixture.h"
#include "platform/serial/termiosport.h"
#include "sim/simpty.h"

using namespace tolver;

namespace {

void SetPortDevice(int com, const std::string& path) {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Norvale\\Spooler\\Ports", true));
    reg.WriteString("COM" + std::to_string(com), path);
}

// Waits (a hang guard only) until done() holds.
template <class Done>
bool WaitUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool WaitForInput(TTermiosPort& port, std::size_t n) {
    return WaitUntil([&] { return port.InBuffUsed() >= n; });
}

std::string ReadMaster(int fd, std::size_t n) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (got.size() < n && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char buf[256];
        const ssize_t r = ::read(fd, buf, sizeof buf);
        if (r > 0) got.append(buf, static_cast<std::size_t>(r));
    }
    return got;
}

class TermiosPort : public RegistryTest {
protected:
    void SetUp() override {
        SetPortDevice(5, pty.SlavePath());
        port.SetComNumber(5);
    }
    TSimPty pty;
    TTermiosPort port;
};

TEST_F(RegistryTest, ComDevicePathDefaultsToTtySUnlessTheRegistryNamesADevice) {
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(12), "/dev/ttyS11");
    EXPECT_EQ(ComDevicePath(0), "");
    SetPortDevice(2, "/dev/ttyUSB0");
    SetPortDevice(3, "");
    EXPECT_EQ(ComDevicePath(2), "/dev/ttyUSB0");
    EXPECT_EQ(ComDevicePath(3), "/dev/ttyS2");  // an empty value names nothing
}

TEST_F(TermiosPort, BytesBothWaysThroughTheReaderThread) {
    // The reader thread tells of arrivals once the bytes are readable.
    std::atomic<int> told{0};
    std::atomic<std::size_t> readableWhenTold{0};
    port.SetOnInput([&] {
        if (told++ == 0) readableWhenTold = port.InBuffUsed();
    });
    port.SetBaud(9600);
    ASSERT_NO_THROW(port.Open());
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.DevicePath(), pty.SlavePath());
    EXPECT_FALSE(port.CharReady());
    EXPECT_EQ(port.GetChar(), -1);

    // Control bytes pass untouched: the line is raw.
    port.PutChar(0x02);
    port.PutString(std::string("\x03\x11\x13\x1c\x04\x7f\xff", 7));
    EXPECT_EQ(ReadMaster(pty.MasterFd(), 8), std::string("\x02\x03\x11\x13\x1c\x04\x7f\xff", 8));
    EXPECT_EQ(port.TxCount(), 8u);
    EXPECT_EQ(told, 0);

    const std::string answer("\x20\x0d\x0a\x03\x00\xe3", 6);
    ASSERT_EQ(::write(pty.MasterFd(), answer.data(), answer.size()), 6);
    ASSERT_TRUE(WaitForInput(port, 6));
    EXPECT_TRUE(port.CharReady());
    std::string got;
    while (port.CharReady()) got += static_cast<char>(port.GetChar());
    EXPECT_EQ(got, answer);
    EXPECT_EQ(port.RxCount(), 6u);
    // The reader thread tells after it has let the buffer go: the bytes may be seen first.
    EXPECT_TRUE(WaitUntil([&] { return told >= 1; }));
    EXPECT_GT(readableWhenTold, 0u);

    ASSERT_EQ(::write(pty.MasterFd(), "abc", 3), 3);
    ASSERT_TRUE(WaitForInput(port, 3));
    port.FlushInBuffer();
    EXPECT_FALSE(port.CharReady());
    EXPECT_EQ(port.RxCount(), 9u);  // flushed bytes were taken from the line too

    // Closed and reopened: the lock is released, the line works again.
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    port.PutChar(1);  // nothing happens on a closed port
    ASSERT_NO_THROW(port.Open());
    port.PutChar(0x41);
    EXPECT_EQ(ReadMaster(pty.MasterFd(), 1), "A");
}

TEST_F(TermiosPort, EveryRateOfTheConnectionDialogAndMore) {
    for (const int baud : {1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 56000, 57600, 115200, 128000}) {
        SCOPED_TRACE(baud);
        port.SetBaud(baud);
        ASSERT_NO_THROW(port.Open());
        EXPECT_EQ(port.LineBaud(), baud);
        port.Close();
    }
    ASSERT_NO_THROW(port.Open());
    port.SetBaud(14400);  // applied to the open line
    EXPECT_EQ(port.LineBaud(), 14400);
    port.SetBaud(4800);
    EXPECT_EQ(port.LineBaud(), 4800);
}

TEST_F(TermiosPort, FailuresNameTheDevice) {
    std::string reason;  // of the last failure, for the cashier
    const auto openError = [&]() -> std::string {
        try {
            port.Open();
        } catch (const ESerialPortError& e) {
            EXPECT_FALSE(port.IsOpen());
            reason = e.Reason();
            return e.what();
        }
        ADD_FAILURE() << "opened";
        return {};
    };
    port.SetBaud(0);
    EXPECT_NE(openError().find(pty.SlavePath()), std::string::npos);
    port.SetBaud(-9600);
    EXPECT_NE(openError().find("baud"), std::string::npos);

    port.SetBaud(9600);
    SetPortDevice(5, "/nonexistent/ttyX");
    EXPECT_NE(openError().find("COM5 (/nonexistent/ttyX)"), std::string::npos);
    EXPECT_EQ(reason, "устройства /nonexistent/ttyX нет (кабель или адаптер не подключен?)");

    const std::string file = (registry_.dir() / "plain").string();
    std::ofstream(file) << "x";
    SetPortDevice(5, file);
    EXPECT_NE(openError().find("not a terminal"), std::string::npos);

    SetPortDevice(5, pty.SlavePath());
    port.SetComNumber(0);
    EXPECT_NE(openError().find("COM0"), std::string::npos);

    port.SetComNumber(5);
    TTermiosPort other;
    other.SetComNumber(5);
    ASSERT_NO_THROW(other.Open());
    EXPECT_NE(openError().find("in use"), std::string::npos);
    EXPECT_EQ(reason, pty.SlavePath() + " занят другой программой");
}

TEST_F(RegistryTest, APermissionRefusalNamesTheGroupToJoin) {
    const std::string file = (registry_.dir() / "ttyUSB7").string();
    std::ofstream(file) << "x";
    const group* dialout = ::getgrnam("dialout");
    if (!dialout || ::chown(file.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) != 0)
        GTEST_SKIP() << "no group dialout to give the file";
    EXPECT_EQ(OpenFailureReason(file, EACCES), "нет прав на " + file +
                                                   ": пользователь должен входить в группу dialout (sudo usermod -aG "
                                                   "dialout $USER, затем войти в систему заново)");
    EXPECT_EQ(OpenFailureReason("/dev/ttyS0", EIO), std::string("/dev/ttyS0: ") + std::strerror(EIO));
}

// A /dev of the test's own: two adapters with stable names, one without, a
// stale by-id link and a port that is no adapter.
TEST_F(RegistryTest, SerialDevicesAreListedByTheirStableNamesWithTheNumbersTheyAreStoredUnder) {
    namespace fs = std::filesystem;
    const fs::path dev = registry_.dir() / "dev";
    fs::create_directories(dev / "serial" / "by-id");
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0", "ttyS0"}) std::ofstream(dev / name) << "";
    fs::create_symlink("../../ttyUSB1", dev / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0");
    fs::create_symlink("../../ttyACM0", dev / "serial" / "by-id" / "usb-Register_CDC-if00");
    fs::create_symlink("../../ttyUSB9", dev / "serial" / "by-id" / "usb-Gone-if00-port0");
    const std::vector<TSerialDevice> list = ListSerialDevices(dev.string());
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Path, (dev / "serial" / "by-id" / "usb-FTDI_FT232R-if00-port0").string());
    EXPECT_EQ(list[0].Device, fs::canonical(dev / "ttyUSB1").string());
    EXPECT_EQ(list[1].Path, (dev / "serial" / "by-id" / "usb-Register_CDC-if00").string());
    EXPECT_EQ(list[2].Path, (dev / "ttyUSB0").string());

    EXPECT_EQ(StoredComNumber(list[0]), 0);
    EXPECT_EQ(FreeComNumber(), 9);
    SetPortDevice(9, list[0].Path);
    SetPortDevice(4, list[1].Device);  // stored by the name it leads to
    EXPECT_EQ(StoredComNumber(list[0]), 9);
    EXPECT_EQ(StoredComNumber(list[1]), 4);
    EXPECT_EQ(FreeComNumber(), 10);
}

TEST_F(TermiosPort, APeerThatStopsReadingOrHangsUpNeverHangsTheCaller) {
    ASSERT_NO_THROW(port.Open());
    // Nobody reads the master: the output queue fills and writing gives up.
    port.PutString(std::string(1 << 20, 'x'));
    EXPECT_LT(port.TxCount(), 1u << 20);

    // A pseudo-terminal whose master goes away while the port is open.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    SetPortDevice(6, ::ptsname(master));
    TTermiosPort lonely;
    lonely.SetComNumber(6);
    ASSERT_NO_THROW(lonely.Open());
    ::close(master);
    lonely.PutString("after hang-up");
    EXPECT_FALSE(lonely.CharReady());
    lonely.Close();
}

}  // namespace

#include "spooler/protocollog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/debug.h"
#include "common/utilgl.h"
#include "spooler/spoolernotice.h"

namespace tolver {
namespace {

// 0, or the error of the first write that failed.
int WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

TProtocolLog::TProtocolLog(const TSpoolerSetup& setup, ISpoolerView& view)
    : setup_(setup), view_(view), today_([] { return QDate::currentDate(); }) {
    // Every box shown goes into the protocol log too: the commands behind it wait.
    previousMessageLog_ = SetSpoolerMessageLog([this](const std::string& line) { Write(LogTimeStamp() + line + "\r\n"); });
}

TProtocolLog::~TProtocolLog() {
    SetSpoolerMessageLog(std::move(previousMessageLog_));
    CloseFile();
}

std::string TProtocolLog::FileName(const QDate& day) {
    return GetDataPath() + day.toString("dd-MM-yyyy").toStdString() + "_Spooler.log.txt";
}

void TProtocolLog::CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int TProtocolLog::OpenFile() {
    CloseFile();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(name_).parent_path(), ec);
    fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) return errno;
    struct stat st{};
    if (::fstat(fd_, &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    return 0;
}

bool TProtocolLog::FileInPlace() const {
    // Writes to a file whose folder was removed or moved away would succeed unseen.
    struct stat st{};
    return ::stat(name_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

void TProtocolLog::Write(const std::string& Text) {
    if (!setup_.DriverSetup.ProtocolOn) {
        CloseFile();
        return;
    }
    const QDate today = today_();
    if (today != day_ || fd_ < 0 || !FileInPlace()) {
        day_ = today;
        name_ = FileName(today);
        if (const int error = OpenFile()) return Failed(error);
    }
    // A client's text reaches the log inside the driver's; its control characters
    // are shown, not written raw.
    const std::string text = VisibleControls(Text);
    int error = WriteAll(fd_, text);
    // A write that fails goes once more to the file opened afresh.
    if (error && !(error = OpenFile())) error = WriteAll(fd_, text);
    if (error) {
        CloseFile();  // the next text tries the file afresh
        return Failed(error);
    }
    failureShown_ = false;
}

void TProtocolLog::Failed(int error) {
    if (failureShown_) return;
    failureShown_ = true;
    view_.PostMessage("Не удалось записать протокол обмена с кассовым аппаратом в файл\r\n" + name_ + ":\r\n" +
                          std::strerror(error),
                      kTitleError);
}

}  // namespace tolver

#include "spooler/protocollog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/debug.h"
#include "common/utilgl.h"
#include "spooler/spoolermessage.h"

namespace tolver {

TProtocolLog::TProtocolLog(const TSpoolerSetup& setup, ISpoolerView& view)
    : setup_(setup), view_(view), today_([] { return QDate::currentDate(); }) {
    // Every box shown goes into the protocol log too: the commands behind it wait.
    previousMessageLog_ = SetSpoolerMessageLog([this](const std::string& line) { Write(LogTimeStamp() + line + "\r\n"); });
}

TProtocolLog::~TProtocolLog() { SetSpoolerMessageLog(std::move(previousMessageLog_)); }

std::string TProtocolLog::FileName(const QDate& day) {
    return GetDataPath() + day.toString("dd-MM-yyyy").toStdString() + "_Spooler.log.txt";
}

void TProtocolLog::Write(const std::string& Text) {
    if (!setup_.DriverSetup.ProtocolOn) return;
    const std::string name = FileName(today_());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(name).parent_path(), ec);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        std::size_t done = 0;
        while (done < Text.size()) {
            const ssize_t n = ::write(fd, Text.data() + done, Text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0 && !error) error = errno;
    }
    if (!error) {
        failureShown_ = false;
        return;
    }
    if (failureShown_) return;
    failureShown_ = true;
    view_.PostMessage("Не удалось записать протокол обмена с кассовым аппаратом в файл\r\n" + name + ":\r\n" +
                          std::strerror(error),
                      kTitleError);
}

}  // namespace tolver

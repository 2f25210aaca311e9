#pragma once
// The protocol log: one file a day in the program's writable folder,
// "dd-mm-yyyy_Spooler.log.txt", to which the driver's log and info texts are appended
// exactly as sent, while the setup has ProtocolOn. Every message box that the spooler
// shows is noted in it too, time-stamped, before the box waits.

#include <QDate>

#include <functional>
#include <string>

#include "common/cashgl.h"
#include "spooler/spoolerview.h"

namespace tolver {

class TProtocolLog {
public:
    // Takes the message boxes' notices over until destroyed; a write that fails is
    // reported once through the view (from the event loop).
    TProtocolLog(const TSpoolerSetup& setup, ISpoolerView& view);
    ~TProtocolLog();
    TProtocolLog(const TProtocolLog&) = delete;
    TProtocolLog& operator=(const TProtocolLog&) = delete;

    // Appended to the day's file, which stays open while its name still leads to it;
    // an error stays here and never goes back into the driver's event call.
    void Write(const std::string& Text);
    // The file of the given day.
    static std::string FileName(const QDate& day);
    // The date of the file name (today unless replaced).
    void SetToday(std::function<QDate()> today) { today_ = std::move(today); }

private:
    // 0 or the error; the file of name_, its folder made first.
    int OpenFile();
    void CloseFile();
    bool FileInPlace() const;
    // Reports the first of a run of failures.
    void Failed(int error);

    const TSpoolerSetup& setup_;
    ISpoolerView& view_;
    std::function<QDate()> today_;
    bool failureShown_ = false;  // a failed write was reported
    QDate day_;                  // of the file open, or tried last
    std::string name_;
    int fd_ = -1;
    // The open file's identity, which the name must still lead to.
    unsigned long long device_ = 0, inode_ = 0;
    std::function<void(const std::string&)> previousMessageLog_;  // the box notices' sink before ours
};

}  // namespace tolver

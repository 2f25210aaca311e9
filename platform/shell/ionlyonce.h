#pragma once
// The single-instance guard of the tray program. The instance lock is an flock() on
// "<UniqueString>.lock" in a folder only the user can write to (LockFolder), held for the guard's life and released by the system
// when the process ends. The first instance listens on a local socket beside the
// lock; a second start connects to it, which brings the first one forward, and then
// asks its own application to quit. The main window is never shown at start by the
// guard: the tray icon stands in for it.

#include <QObject>
#include <string>

class QLocalServer;

namespace tolver {

class TIOnlyOnce : public QObject {
    Q_OBJECT

public:
    // owner: the main window (brought forward when another start asks), or any
    // object. uniqueString: the lock's name; empty takes the program's file name
    // without its extension.
    explicit TIOnlyOnce(QObject* owner, std::string uniqueString = {});
    ~TIOnlyOnce() override;

    const std::string& UniqueString() const { return uniqueString_; }
    // Where the lock and the socket go: $XDG_RUNTIME_DIR, else "tolver-<uid>" in the
    // temporary folder, else "tolver-<uid>" in the user's cache folder; each only
    // when it is a folder of the user's own that nobody else can write to (a missing
    // one is made so). Empty when there is none.
    static std::string LockFolder();
    // True when another instance holds the lock: it has been asked to come forward
    // and this application to quit (once its event loop runs).
    bool AnotherInstance() const { return another_; }

signals:
    // Another start asked this instance to come forward; the owner window, when it
    // is one, has been restored from minimised and raised already.
    void activated();

private:
    void Activate();

    std::string uniqueString_;
    int lockFd_ = -1;
    bool another_ = false;
    QLocalServer* server_ = nullptr;
};

}  // namespace tolver

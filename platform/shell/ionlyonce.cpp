#include "platform/shell/ionlyonce.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace tolver {
namespace {

constexpr int kConnectTimeoutMs = 3000;

// $XDG_RUNTIME_DIR, else a folder of this user's own in the temporary folder.
QString RuntimeDir() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) return runtime;
    const QString dir = QDir::tempPath() + "/tolver-" + QString::number(::getuid());
    ::mkdir(QFile::encodeName(dir).constData(), 0700);
    return dir;
}

// The name as a file name: no folder separators.
QString FileNameOf(const std::string& name) {
    QString s = QString::fromStdString(name);
    s.replace('/', '_');
    return s;
}

}  // namespace

TIOnlyOnce::TIOnlyOnce(QObject* owner, std::string uniqueString) : QObject(owner), uniqueString_(std::move(uniqueString)) {
    if (uniqueString_.empty())
        uniqueString_ = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    const QString base = RuntimeDir() + "/" + FileNameOf(uniqueString_);
    const QString socketPath = base + ".sock";

    lockFd_ = ::open(QFile::encodeName(base + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) {
        // The first instance: listen for later starts. A socket left by a process that
        // died is removed first; holding the lock, no other instance can be using it.
        server_ = new QLocalServer(this);
        QLocalServer::removeServer(socketPath);
        if (server_->listen(socketPath)) {
            connect(server_, &QLocalServer::newConnection, this, [this] {
                while (QLocalSocket* s = server_->nextPendingConnection()) s->deleteLater();
                Activate();
            });
        }
        return;
    }
    if (lockFd_ < 0) return;  // no lock can be made here: run unguarded rather than not at all
    another_ = true;
    ::close(lockFd_);
    lockFd_ = -1;
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(kConnectTimeoutMs)) socket.disconnectFromServer();
    if (QCoreApplication::instance())
        QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
}

TIOnlyOnce::~TIOnlyOnce() {
    if (server_) server_->close();
    if (lockFd_ >= 0) ::close(lockFd_);
}

void TIOnlyOnce::Activate() {
    if (auto* window = qobject_cast<QWidget*>(parent())) {
        if (window->isMinimized()) window->showNormal();
        window->raise();
        window->activateWindow();
    }
    emit activated();
}

}  // namespace tolver

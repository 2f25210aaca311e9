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

// A folder only this user can write to: not a link, owned by the user, and writable
// by neither group nor others. Anything else could be another local user's, made to
// hold the lock and keep the program from starting.
bool PrivateFolder(const QString& dir) {
    struct stat st{};
    if (::lstat(QFile::encodeName(dir).constData(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// dir, made private when it does not exist yet; empty when it is not private.
QString MakePrivate(const QString& dir) {
    ::mkdir(QFile::encodeName(dir).constData(), 0700);
    return PrivateFolder(dir) ? dir : QString();
}

// The name as a file name: no folder separators.
QString FileNameOf(const std::string& name) {
    QString s = QString::fromStdString(name);
    s.replace('/', '_');
    return s;
}

}  // namespace

std::string TIOnlyOnce::LockFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && PrivateFolder(runtime)) return runtime.toStdString();
    const QString uid = QString::number(::getuid());
    QString dir = MakePrivate(QDir::tempPath() + "/tolver-" + uid);
    if (dir.isEmpty()) {
        // The shared temporary folder is taken: the user's own cache folder.
        QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
        if (cache.isEmpty()) cache = QDir::homePath() + "/.cache";
        QDir().mkpath(cache);
        dir = MakePrivate(cache + "/tolver-" + uid);
    }
    return dir.toStdString();
}

TIOnlyOnce::TIOnlyOnce(QObject* owner, std::string uniqueString) : QObject(owner), uniqueString_(std::move(uniqueString)) {
    if (uniqueString_.empty())
        uniqueString_ = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    const std::string folder = LockFolder();
    if (folder.empty()) return;  // no private folder anywhere: run unguarded rather than not at all
    const QString base = QString::fromStdString(folder) + "/" + FileNameOf(uniqueString_);
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

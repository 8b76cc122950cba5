#include "ui/qt/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace quorvane::ui {

namespace {

constexpr char kShowRequest[] = "show\n";
constexpr int kConnectWaitMs = 200;

QString inFolder(const QString& folder, const QString& name) {
    return QDir(folder).filePath(name);
}

}  // namespace

QString SingleInstance::defaultFolder() {
    // $XDG_RUNTIME_DIR, or a folder of the user's own that Qt makes with mode 0700.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

SingleInstance::SingleInstance(const QString& folder)
    : socketPath_(inFolder(folder, QStringLiteral("quorvane-downloader.socket"))),
      lock_(inFolder(folder, QStringLiteral("quorvane-downloader.lock"))) {
    // A lock is never stale by age, only when the program that took it is gone.
    lock_.setStaleLockTime(0);
    if (!lock_.tryLock(0)) return;
    // The lock is ours, so a socket file still there was left by a run that was killed.
    QLocalServer::removeServer(socketPath_);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath_)) {
        // Without a socket nobody can reach this run; it still runs alone.
        qWarning("quorvane-downloader: cannot listen on %s", qPrintable(socketPath_));
    }
    connect(server.get(), &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    server_ = std::move(server);
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();  // removes the socket file
}

bool SingleInstance::askFirstToShow(int waitMs) const {
    const QDeadlineTimer deadline(waitMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(kConnectWaitMs)) {
            socket.write(kShowRequest);
            return socket.waitForBytesWritten(kConnectWaitMs) || socket.bytesToWrite() == 0;
        }
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

// Any request shows the window; a later run sends nothing else, and a stranger cannot get in
// (the socket is the user's own).
void SingleInstance::onConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains('\n')) emit showRequested();
            socket->disconnectFromServer();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

}  // namespace quorvane::ui

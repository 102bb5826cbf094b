#include "ui/qt/RunningInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace tavrel::ui {

RunningInstance::RunningInstance(QObject* parent) : QObject(parent) {}

RunningInstance::~RunningInstance() = default;

QString RunningInstance::runtimeFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

QString RunningInstance::lockPath(const QString& runtimeFolder) { return runtimeFolder + QStringLiteral("/tavrel.lock"); }

QString RunningInstance::socketName(const QString& runtimeFolder) {
    return runtimeFolder + QStringLiteral("/tavrel.socket");
}

bool RunningInstance::listen(const QString& name) {
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            // A connection is the whole request: nothing is read from it.
            socket->disconnectFromServer();
            socket->deleteLater();
            if (onRaise) onRaise();
        }
    });
    return server_->listen(name);
}

bool RunningInstance::askToRaise(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(1000)) return false;
    socket.disconnectFromServer();
    return true;
}

}  // namespace tavrel::ui

#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <unistd.h>

namespace brenwick::app {

namespace {

const QByteArray kRaise = QByteArrayLiteral("raise\n");
constexpr int kConnectMs = 1000;
constexpr int kTries = 3;

} // namespace

CSingleInstance::CSingleInstance(const QString& name, QObject* parent)
    : QObject(parent), m_Path(ServerPathFor(name)) {
    m_Server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_Server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

QString CSingleInstance::ServerPathFor(const QString& name) {
    // The runtime folder is the user's own; without one, the temporary folder with the user id in the name.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
    return folder + QStringLiteral("/%1-%2.instance").arg(name).arg(::getuid());
}

bool CSingleInstance::AskRunningCopy() {
    QLocalSocket socket;
    socket.connectToServer(m_Path);
    if (!socket.waitForConnected(kConnectMs)) {
        return false;
    }
    socket.write(kRaise);
    socket.waitForBytesWritten(kConnectMs);
    socket.disconnectFromServer();
    return true;
}

bool CSingleInstance::Acquire() {
    for (int attempt = 0; attempt < kTries; ++attempt) {
        if (AskRunningCopy()) {
            return false;
        }
        if (m_Server.listen(m_Path)) {
            return true;
        }
        if (m_Server.serverError() == QAbstractSocket::AddressInUseError) {
            // Either a copy that ended without removing its socket, or one that started at the same moment:
            // ask again before taking the name over.
            if (AskRunningCopy()) {
                return false;
            }
            QLocalServer::removeServer(m_Path);
        }
    }
    // No socket to be had: run rather than refuse to start.
    return true;
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_Server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains(kRaise.trimmed())) {
                emit RaiseRequested();
            }
        });
    }
}

} // namespace brenwick::app

#include "app/InstanceChannel.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {
constexpr qint64 kMaxRequest = 64 * 1024;  // a path is far shorter
}

CInstanceChannel::CInstanceChannel(QObject* parent) : QObject(parent) {}

CInstanceChannel::~CInstanceChannel() = default;  // the server closes with its parent

QString CInstanceChannel::ServerName() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/tkv-editor.socket");
    return QDir::tempPath() + QStringLiteral("/tkv-editor-%1.socket").arg(::getuid());
}

bool CInstanceChannel::Forward(const QString& absolutePath, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(absolutePath.toUtf8().toPercentEncoding() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs)) return false;
        answer += socket.readAll();
    }
    return answer.startsWith("OK\n");
}

bool CInstanceChannel::Listen(std::function<void(const QString&)> open) {
    m_open = std::move(open);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceChannel::OnConnection);
    const QString name = ServerName();
    if (m_server->listen(name)) return true;
    // A socket left by an editor that ended without closing it: nobody answers
    // there, so it is taken over. One that answers belongs to a running editor.
    if (m_server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) return false;
        QLocalServer::removeServer(name);
        return m_server->listen(name);
    }
    return false;
}

void CInstanceChannel::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxRequest) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine()) return;
            const QByteArray line = socket->readLine().trimmed();
            socket->write("OK\n");
            socket->flush();
            socket->disconnectFromServer();
            const QString path = QString::fromUtf8(QByteArray::fromPercentEncoding(line));
            if (!path.isEmpty() && m_open)
                QTimer::singleShot(0, this, [this, path] { m_open(path); });
        });
    }
}

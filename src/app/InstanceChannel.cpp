#include "app/InstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "platform/UserPlaces.h"

namespace {
constexpr qint64 kMaxRequest = 64 * 1024;  // a path is far shorter
}  // namespace

CInstanceChannel::CInstanceChannel(QObject* parent) : QObject(parent) {}

CInstanceChannel::~CInstanceChannel() = default;  // the server closes with its parent

QString CInstanceChannel::ServerName() {
    return QString::fromStdString(UserPlaces::InstanceChannelName());
}

bool CInstanceChannel::Forward(const QString& absolutePath, int timeoutMs) {
    const QString name = ServerName();
    if (name.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    if (!UserPlaces::PeerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
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
    m_pServer = new QLocalServer(this);
    m_pServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_pServer, &QLocalServer::newConnection, this, &CInstanceChannel::OnConnection);
    const QString name = ServerName();
    if (name.isEmpty()) return false;
    if (m_pServer->listen(name)) return true;
    // A socket left by an editor that ended without closing it: nobody answers
    // there, so it is taken over. One that answers belongs to a running editor.
    if (m_pServer->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) return false;
        QLocalServer::removeServer(name);
        return m_pServer->listen(name);
    }
    return false;
}

void CInstanceChannel::OnConnection() {
    while (QLocalSocket* socket = m_pServer->nextPendingConnection()) {
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

#include "tlsserver.h"

#include "logging.h"

#include <QHostAddress>
#include <QSslSocket>
#include <QTimer>

#include <memory>

namespace {

void logFailedHandshake(const QString &peer, const QString &reason)
{
    qCWarning(lcTralvo, "Web: %s: the TLS handshake failed (%s); closed", qPrintable(peer),
              qPrintable(reason));
}

QString timeoutText()
{
    return QStringLiteral("not complete within %1 s").arg(TlsServer::handshakeTimeoutMs / 1000);
}

} // namespace

QString peerText(const QAbstractSocket &socket)
{
    const QHostAddress host = socket.peerAddress();
    const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol
                              ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
                              : host.toString();
    return shown + QLatin1Char(':') + QString::number(socket.peerPort());
}

TlsServer::TlsServer(QObject *parent) : QTcpServer(parent) {}

void TlsServer::setConfiguration(const QSslConfiguration &configuration)
{
    m_configuration = configuration;
}

void TlsServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        qCWarning(lcTralvo, "Web: a connection could not be taken: %s",
                  qPrintable(socket->errorString()));
        delete socket;
        return;
    }
    const QString peer = peerText(*socket);
    if (m_handshakes >= maxHandshakes) {
        if (!m_full)
            qCWarning(lcTralvo,
                      "Web: %d TLS handshakes are under way; more connections are closed "
                      "until they end (%s first)",
                      maxHandshakes, qPrintable(peer));
        m_full = true;
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_full = false;
    ++m_handshakes;
    // Counted out however the handshake ends (a server that goes drops this connection first).
    connect(socket, &QObject::destroyed, this, [this] { --m_handshakes; });
    socket->setSslConfiguration(m_configuration);
    auto *timeout = new QTimer(socket);
    timeout->setSingleShot(true);
    // Until the handshake completes, a failure closes the socket; after it, the connection's
    // own handling takes over.
    const auto failed = std::make_shared<QMetaObject::Connection>();
    const auto giveUp = [socket, timeout, failed, peer](const QString &reason) {
        QObject::disconnect(*failed);
        timeout->stop();
        logFailedHandshake(peer, reason);
        socket->abort();
        socket->deleteLater();
    };
    *failed = connect(socket, &QAbstractSocket::errorOccurred, socket,
                      [socket, giveUp] { giveUp(socket->errorString()); });
    connect(timeout, &QTimer::timeout, socket, [giveUp] { giveUp(timeoutText()); });
    connect(socket, &QSslSocket::encrypted, this, [this, socket, timeout, failed] {
        QObject::disconnect(*failed);
        timeout->deleteLater();
        --m_handshakes;
        disconnect(socket, &QObject::destroyed, this, nullptr);
        addPendingConnection(socket);
        Q_EMIT newConnection();
    });
    timeout->start(handshakeTimeoutMs);
    socket->startServerEncryption();
}

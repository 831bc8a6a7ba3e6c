#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>

class QAbstractSocket;

// "127.0.0.1:52144", "[::1]:52144": a connection's peer as the log names it.
QString peerText(const QAbstractSocket &socket);

// A listener for TLS: a connection reaches nextPendingConnection(), as a QSslSocket, only once
// its handshake has completed. One whose handshake fails (plain HTTP, TLS older than 1.2, no
// cipher in common, a client that does not trust the certificate) or takes longer than
// handshakeTimeoutMs is logged with its peer and the reason, and closed. Each connection starts
// its own server-side encryption, as on Qt 5.15; Qt 6.4's QSslServer would do the same, but
// drops a plain-HTTP request without telling why, and tells of a timed-out handshake only once
// the peer is gone.
class TlsServer final : public QTcpServer
{
public:
    explicit TlsServer(QObject *parent = nullptr);

    // Used for the handshakes that start after this.
    void setConfiguration(const QSslConfiguration &configuration);

    static constexpr int handshakeTimeoutMs = 10000;
    // Handshakes under way at once; a connection beyond them is closed at once.
    static constexpr int maxHandshakes = 128;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QSslConfiguration m_configuration;
    int m_handshakes = 0;
    bool m_full = false; // connections are being closed for want of room; logged once
};

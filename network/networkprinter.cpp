#include "networkprinter.h"

#include <stdexcept>
#include <utility>

NetworkPrinter::NetworkPrinter(PrinterAddress address, QObject *parent)
    : PrinterDevice(parent), m_address(std::move(address))
{
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(connectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("no answer within %1 s").arg(connectTimeoutMs / 1000)); });
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        m_connectTimeout.stop();
        Q_EMIT ready();
    });
    connect(&m_socket, &QTcpSocket::bytesWritten, this, &PrinterDevice::wrote);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        const QByteArray bytes = m_socket.readAll();
        if (!bytes.isEmpty())
            Q_EMIT replied(bytes);
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &NetworkPrinter::handleError);
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkPrinter::handleDisconnected);
}

NetworkPrinter::~NetworkPrinter()
{
    // No signal of the socket's reaches a printer half gone.
    disconnect(&m_socket, nullptr, this, nullptr);
}

void NetworkPrinter::open()
{
    m_usable = true;
    if (m_lost && m_bytesWait && m_socket.state() != QAbstractSocket::ConnectedState) {
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            connectToPrinter();
        throw std::runtime_error(m_failure.toStdString());
    }
    m_lost = false;
}

void NetworkPrinter::close()
{
    m_usable = false;
    m_connectTimeout.stop();
    m_socket.abort();
}

void NetworkPrinter::connectToPrinter()
{
    m_connectTimeout.start();
    m_socket.connectToHost(m_address.location, m_address.socketPort);
}

qint64 NetworkPrinter::write(const char *data, qint64 size)
{
    m_bytesWait = true;
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        return m_socket.write(data, size);
    if (m_usable && !m_lost && m_socket.state() == QAbstractSocket::UnconnectedState)
        connectToPrinter();
    return 0;
}

bool NetworkPrinter::waitForProgress(int ms)
{
    switch (m_socket.state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return m_socket.waitForConnected(ms);
    case QAbstractSocket::ConnectedState:
        return m_socket.waitForBytesWritten(ms);
    case QAbstractSocket::ClosingState:
        return m_socket.waitForDisconnected(ms);
    default:
        return false;
    }
}

void NetworkPrinter::jobWritten()
{
    // Its bytes are with the system now, which sends them before it closes the connection.
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.disconnectFromHost();
}

void NetworkPrinter::handleError()
{
    // A printer that closes when nothing of a job is left to it has only ended the connection.
    if (m_socket.error() == QAbstractSocket::RemoteHostClosedError && !m_bytesWait)
        return;
    fail(m_socket.errorString());
}

void NetworkPrinter::fail(const QString &why)
{
    m_connectTimeout.stop();
    const bool connecting = m_socket.state() != QAbstractSocket::ConnectedState &&
                            m_socket.state() != QAbstractSocket::ClosingState;
    const QString reason = connecting ? QStringLiteral("cannot connect to %1: %2").arg(name(), why)
                                      : QStringLiteral("connection lost: %1").arg(why);
    m_socket.abort();
    m_failure = reason;
    if (m_lost)
        return;
    m_lost = true;
    m_usable = false;
    Q_EMIT lost(reason);
}

void NetworkPrinter::handleDisconnected()
{
    // The next job, if one waits, on a connection of its own; not from inside the socket's
    // signal, which a close may raise while the job before is still being accounted.
    QTimer::singleShot(0, this, &PrinterDevice::ready);
}

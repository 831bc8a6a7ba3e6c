#include "printlistener.h"

#include "logging.h"
#include "networkjob.h"

#include <QHostAddress>
#include <QTimer>

#include <stdexcept>
#include <utility>

PrintListener::PrintListener(ListenAddress address, int idleTimeoutMs, qintptr handedOver,
                             QObject *parent)
    : QObject(parent), m_address(std::move(address)), m_idleTimeoutMs(idleTimeoutMs),
      m_handedOver(handedOver)
{
    if (m_handedOver >= 0) {
        // The address is the socket's own, whatever the command line says.
        m_server.setSocketDescriptor(m_handedOver);
        m_address.host = m_server.serverAddress().toString();
        m_address.port = m_server.serverPort();
    }
    // A storm of connections waits in the system's queue until taken.
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
    m_server.setListenBacklogSize(1024);
#endif
    // Qt stops accepting at a failed accept, a client that gave up before it was taken among
    // them; a storm of those must not close the print port. A short pause before going on, in
    // case the failure is the system's (out of descriptors), and a log line when the reason
    // changes.
    connect(&m_server, &QTcpServer::acceptError, this, [this] {
        const QString reason = m_server.errorString();
        if (reason != m_lastAcceptError)
            qCWarning(lcTralvo, "Network: a connection could not be taken: %s", qPrintable(reason));
        m_lastAcceptError = reason;
        QTimer::singleShot(acceptPauseMs, &m_server, &QTcpServer::resumeAccepting);
    });
}

void PrintListener::listen()
{
    if (m_handedOver >= 0) {
        if (!m_server.isListening())
            throw std::runtime_error(QStringLiteral("the socket handed over for %1: %2")
                                         .arg(m_address.text(), m_server.errorString())
                                         .toStdString());
        return;
    }
    QHostAddress host;
    if (!host.setAddress(m_address.host))
        throw std::runtime_error(QStringLiteral("cannot listen on %1: no IP address")
                                     .arg(m_address.text())
                                     .toStdString());
    m_server.close();
    if (!m_server.listen(host, m_address.port))
        throw std::runtime_error(QStringLiteral("cannot listen on %1: %2")
                                     .arg(m_address.text(), m_server.errorString())
                                     .toStdString());
}

void PrintListener::Server::incomingConnection(qintptr descriptor)
{
    Q_EMIT m_listener.jobArrived(
        new NetworkJob(descriptor, m_listener.m_idleTimeoutMs, &m_listener));
}

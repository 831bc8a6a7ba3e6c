#include "printlistener.h"

#include "networkjob.h"

#include <QHostAddress>

#include <stdexcept>
#include <utility>

PrintListener::PrintListener(ListenAddress address, int idleTimeoutMs, QObject *parent)
    : QObject(parent), m_address(std::move(address)), m_idleTimeoutMs(idleTimeoutMs)
{
    // A storm of connections is taken in as it comes; each waits its turn as a job.
    m_server.setMaxPendingConnections(1024);
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
    m_server.setListenBacklogSize(1024);
#endif
}

void PrintListener::listen()
{
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

#pragma once

#include "listenaddress.h"

#include <QObject>
#include <QTcpServer>

class NetworkJob;

// The network print port: listens on an address as a receipt printer does on TCP 9100, and
// makes every accepted connection a job. listen() throws with the reason when the address is
// taken, not allowed or no address of this machine.
class PrintListener : public QObject
{
    Q_OBJECT
public:
    // handedOver: a listening socket a service manager made (socket activation), which is
    // taken instead of making one on the address; -1 for none.
    PrintListener(ListenAddress address, int idleTimeoutMs, qintptr handedOver = -1,
                  QObject *parent = nullptr);

    const ListenAddress &address() const { return m_address; }
    void listen();
    void close() { m_server.close(); }

Q_SIGNALS:
    // A new job, a child of the listener, which goes once it has ended (NetworkJob::end).
    void jobArrived(NetworkJob *job);

private:
    // Takes each accepted connection as a descriptor, before QTcpSocket would own it.
    class Server : public QTcpServer
    {
    public:
        explicit Server(PrintListener &listener) : m_listener(listener) {}

    protected:
        void incomingConnection(qintptr descriptor) override;

    private:
        PrintListener &m_listener;
    };

    static constexpr int acceptPauseMs = 100;

    ListenAddress m_address;
    int m_idleTimeoutMs;
    qintptr m_handedOver;
    QString m_lastAcceptError;
    Server m_server{*this};
};

#pragma once

#include "listenaddress.h"
#include "weborigin.h"

#include <QObject>
#include <QTcpServer>

class StatusBoard;
class WebJob;

// The web door: HTTP/1.1 on an address of the till (127.0.0.1 unless told otherwise) for browser
// POS software, which can reach neither a serial port nor raw TCP. Every request is routed by
// webroutes.h, its Origin judged before anything is acted on; one that prints or opens the drawer
// becomes a WebJob on the path, and its answer waits for the job's outcome or the request's
// timeout. Connections are kept alive, at most maxConnections at once (more are answered 503),
// and one that sends nothing for the idle time, or takes longer than that over one request, is
// closed. listen() throws with the reason when the address is taken, not allowed or no address
// of this machine.
class WebDoor : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        ListenAddress address;
        qintptr handedOver = -1; // a listening socket the service manager made, or -1
        WebOrigins origins;
        int idleTimeoutMs = 30000;
        int printerWidthDots = 512;
        bool hasPrinter = false;
    };

    // board: where the printer's state is read, for the answers that tell it.
    WebDoor(Settings settings, const StatusBoard &board, QObject *parent = nullptr);
    ~WebDoor() override;

    const ListenAddress &address() const { return m_settings.address; }
    void listen();
    // Stops listening and closes every connection.
    void close();

    static constexpr int maxConnections = 64;

Q_SIGNALS:
    // A request to carry out, a child of its connection: its path is the receiver's to make,
    // before it begins.
    void jobArrived(WebJob *job);

private:
    class Connection;
    void takeConnections();

    Settings m_settings;
    const StatusBoard &m_board;
    QTcpServer m_server;
    int m_connections = 0;
    bool m_full = false; // connections are being refused; logged once
};

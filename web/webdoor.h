#pragma once

#include "listenaddress.h"
#include "tillcertificate.h"
#include "weborigin.h"

#include <QObject>
#include <QTcpServer>

#include <memory>
#include <optional>

class StatusBoard;
class TlsServer;
class WebJob;

// The web door: HTTP/1.1 on an address of the till (127.0.0.1 unless told otherwise) for browser
// POS software, which can reach neither a serial port nor raw TCP. Every request is routed by
// webroutes.h, its Origin judged before anything is acted on; one that prints or opens the drawer
// becomes a WebJob on the path, and its answer waits for the job's outcome or the request's
// timeout. It listens for plain HTTP, for HTTPS (TLS 1.2 or newer), or for both, each request
// served alike once a connection's handshake, if it has one, has completed. Connections are kept
// alive, at most maxConnections at once (more are answered 503), and one that sends nothing for the
// idle time, or takes longer than that over one request, is closed. listen() throws with the reason
// when an address is taken, not allowed or no address of this machine, or when the certificate for
// HTTPS cannot be had.
class WebDoor : public QObject
{
    Q_OBJECT
public:
    struct Listener
    {
        ListenAddress address;
        qintptr handedOver = -1; // a listening socket the service manager made, or -1
    };
    struct Settings
    {
        std::optional<Listener> plain;     // HTTP
        std::optional<Listener> encrypted; // HTTPS
        // What HTTPS shows; both empty: the till's own certificate, made when first needed.
        CertificateFiles certificate;
        WebOrigins origins;
        int idleTimeoutMs = 30000;
        int printerWidthDots = 512;
        bool hasPrinter = false;
    };

    // board: where the printer's state is read, for the answers that tell it.
    WebDoor(Settings settings, const StatusBoard &board, QObject *parent = nullptr);
    ~WebDoor() override;

    // "127.0.0.1:8069": where it listens for HTTP, or for HTTPS; empty for none.
    QString addressText(bool encrypted) const;
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
    void prepare(QTcpServer &server, Listener &listener);
    void listenOn(QTcpServer &server, const Listener &listener);
    void takeConnections(QTcpServer &server);

    Settings m_settings;
    const StatusBoard &m_board;
    std::unique_ptr<QTcpServer> m_plain;
    std::unique_ptr<TlsServer> m_encrypted;
    int m_connections = 0;
    bool m_full = false; // connections are being refused; logged once
};

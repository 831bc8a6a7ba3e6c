#include "webdoor.h"

#include "httprequestreader.h"
#include "logging.h"
#include "statusboard.h"
#include "statustext.h"
#include "tlsserver.h"
#include "webjob.h"
#include "webroutes.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <stdexcept>
#include <utility>

namespace {

// What a connection reads ahead of the request it is answering: TCP holds the client beyond.
constexpr qint64 readAheadBytes = qint64{64} * 1024;

} // namespace

// One client's connection: its requests in order, one at a time, each answered before the next
// is read.
class WebDoor::Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, WebDoor &door);
    ~Connection() override;

private:
    void readMore();
    void serveNext();
    void serve(const HttpRequest &request);
    void startJob(const WebJobOrder &order, bool keepAlive);
    void answerJob(bool timedOut);
    void respond(const HttpResponse &response, bool keepAlive);
    void closeFor(const QString &why);

    QTcpSocket *m_socket;
    WebDoor &m_door;
    QString m_peer;
    HttpRequestReader m_reader;
    QTimer m_idle;       // nothing came for the idle time
    QTimer m_slow;       // one request took longer than that
    QTimer m_jobTimeout; // the request's own timeout
    QPointer<WebJob> m_job;
    bool m_jobKeepAlive = false;
    bool m_busy = false;    // a request is being answered
    bool m_closing = false; // the last answer is on its way
};

WebDoor::Connection::Connection(QTcpSocket *socket, WebDoor &door)
    : QObject(&door), m_socket(socket), m_door(door), m_peer(peerText(*socket))
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(readAheadBytes);
    for (QTimer *timer : {&m_idle, &m_slow, &m_jobTimeout})
        timer->setSingleShot(true);
    m_idle.setInterval(door.m_settings.idleTimeoutMs);
    m_slow.setInterval(door.m_settings.idleTimeoutMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        if (!m_busy)
            closeFor(m_reader.midRequest() ? QStringLiteral("sent nothing for %1 s in the "
                                                            "middle of a request")
                                                 .arg(m_idle.interval() / 1000)
                                           : QString());
    });
    connect(&m_slow, &QTimer::timeout, this, [this] {
        closeFor(
            QStringLiteral("took more than %1 s over one request").arg(m_slow.interval() / 1000));
    });
    connect(&m_jobTimeout, &QTimer::timeout, this, [this] { answerJob(true); });
    connect(m_socket, &QTcpSocket::readyRead, this, &Connection::readMore);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_reader.midRequest() && !m_closing)
            qCWarning(lcTralvo,
                      "Web: %s closed the connection in the middle of a request; "
                      "nothing of it was carried out",
                      qPrintable(m_peer));
        deleteLater();
    });
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_closing && m_socket->bytesToWrite() == 0)
            m_socket->disconnectFromHost();
    });
    ++m_door.m_connections;
    m_idle.start();
    readMore();
}

WebDoor::Connection::~Connection()
{
    --m_door.m_connections;
}

void WebDoor::Connection::readMore()
{
    if (m_busy || m_closing)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (!bytes.isEmpty()) {
        m_idle.start();
        m_reader.feed(bytes);
    }
    serveNext();
}

void WebDoor::Connection::serveNext()
{
    while (!m_busy && !m_closing && m_reader.hasRequest())
        serve(m_reader.takeRequest());
    if (m_busy || m_closing)
        return;
    if (m_reader.error() != HttpRequestError::None) {
        qCWarning(lcTralvo, "Web: %s: %s (%d)", qPrintable(m_peer),
                  qPrintable(m_reader.errorText()), httpStatusCode(m_reader.error()));
        respond(answerReadError(m_reader.error(), m_reader.errorText()), false);
        return;
    }
    if (m_reader.finished()) {
        closeFor(QString());
        return;
    }
    if (!m_reader.midRequest())
        m_slow.stop();
    else if (!m_slow.isActive())
        m_slow.start();
    // Only now, with every earlier request answered, so that the interim answer comes in order.
    if (m_reader.takeContinue())
        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
}

void WebDoor::Connection::serve(const HttpRequest &request)
{
    m_slow.stop();
    const bool online = m_door.m_board.text(Field::PrinterState) == StatusText::openSuccess();
    const WebDoorState state{m_door.m_settings.origins, m_door.m_settings.hasPrinter, online,
                             m_door.m_settings.printerWidthDots};
    const Routed routed = routeWebRequest(request, state);
    if (!routed.logLine.isEmpty())
        qCWarning(lcTralvo, "Web: %s: %s", qPrintable(m_peer), qPrintable(routed.logLine));
    if (routed.job)
        startJob(*routed.job, request.keepAlive);
    else if (routed.response)
        respond(*routed.response, request.keepAlive);
}

void WebDoor::Connection::startJob(const WebJobOrder &order, bool keepAlive)
{
    m_busy = true;
    m_jobKeepAlive = keepAlive;
    auto *job = new WebJob(order, m_peer, this);
    m_job = job;
    connect(job, &WebJob::completed, this, [this, job] {
        if (job == m_job)
            answerJob(false);
        job->deleteLater();
    });
    m_jobTimeout.start(order.timeoutMs);
    Q_EMIT m_door.jobArrived(job);
    job->begin();
}

void WebDoor::Connection::answerJob(bool timedOut)
{
    const WebJob *job = m_job.data();
    if (!job)
        return;
    m_jobTimeout.stop();
    JobOutcome outcome = job->outcome();
    outcome.timedOut = timedOut && !outcome.written;
    if (outcome.timedOut)
        qCWarning(lcTralvo, "Web: %s: the printer was not handed the job within %d ms",
                  qPrintable(m_peer), job->order().timeoutMs);
    const bool online = m_door.m_board.text(Field::PrinterState) == StatusText::openSuccess();
    const HttpResponse response = ::answerJob(job->order(), outcome, online);
    m_job = nullptr;
    m_busy = false;
    respond(response, m_jobKeepAlive);
    // The next request, if one came meanwhile.
    QTimer::singleShot(0, this, &Connection::readMore);
}

void WebDoor::Connection::respond(const HttpResponse &response, bool keepAlive)
{
    m_socket->write(response.serialise(keepAlive));
    if (!keepAlive) {
        m_closing = true;
        m_idle.stop();
        m_slow.stop();
    }
}

void WebDoor::Connection::closeFor(const QString &why)
{
    if (!why.isEmpty())
        qCWarning(lcTralvo, "Web: %s %s; closed", qPrintable(m_peer), qPrintable(why));
    m_closing = true;
    m_socket->disconnectFromHost();
}

WebDoor::WebDoor(Settings settings, const StatusBoard &board, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_board(board)
{
    if (m_settings.plain) {
        m_plain = std::make_unique<QTcpServer>();
        prepare(*m_plain, *m_settings.plain);
    }
    if (m_settings.encrypted) {
        m_encrypted = std::make_unique<TlsServer>();
        prepare(*m_encrypted, *m_settings.encrypted);
    }
}

void WebDoor::prepare(QTcpServer &server, Listener &listener)
{
    if (listener.handedOver >= 0) {
        server.setSocketDescriptor(listener.handedOver);
        listener.address.host = server.serverAddress().toString();
        listener.address.port = server.serverPort();
    }
    // A storm of connections waits in the system's queue until taken.
#if QT_VERSION >= QT_VERSION_CHECK(6, 3, 0)
    server.setListenBacklogSize(1024);
#endif
    connect(&server, &QTcpServer::newConnection, this,
            [this, &server] { takeConnections(server); });
    connect(&server, &QTcpServer::acceptError, this, [&server] {
        qCWarning(lcTralvo, "Web: a connection could not be taken: %s",
                  qPrintable(server.errorString()));
        QTimer::singleShot(100, &server, &QTcpServer::resumeAccepting);
    });
}

WebDoor::~WebDoor()
{
    // Connections go first: they count themselves out of the door.
    const auto connections = findChildren<Connection *>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(connections);
}

QString WebDoor::addressText(bool encrypted) const
{
    const std::optional<Listener> &listener = encrypted ? m_settings.encrypted : m_settings.plain;
    return listener ? listener->address.text() : QString();
}

void WebDoor::listen()
{
    // HTTP first: a certificate that cannot be had keeps only HTTPS shut.
    if (m_plain)
        listenOn(*m_plain, *m_settings.plain);
    if (m_encrypted) {
        // Read again at every start, so that a certificate put right is taken without a restart.
        const CertificateFiles files = m_settings.certificate.certificate.isEmpty()
                                           ? TillCertificate::ensure()
                                           : m_settings.certificate;
        m_encrypted->setConfiguration(serverTlsConfiguration(files));
        listenOn(*m_encrypted, *m_settings.encrypted);
    }
}

void WebDoor::listenOn(QTcpServer &server, const Listener &listener)
{
    if (listener.handedOver >= 0) {
        if (!server.isListening())
            throw std::runtime_error(QStringLiteral("the socket handed over for %1: %2")
                                         .arg(listener.address.text(), server.errorString())
                                         .toStdString());
        return;
    }
    QHostAddress host;
    if (!host.setAddress(listener.address.host))
        throw std::runtime_error(QStringLiteral("cannot listen on %1: no IP address")
                                     .arg(listener.address.text())
                                     .toStdString());
    // Started again after the other listener failed: this one goes on as it was.
    if (server.isListening())
        return;
    if (!server.listen(host, listener.address.port))
        throw std::runtime_error(QStringLiteral("cannot listen on %1: %2")
                                     .arg(listener.address.text(), server.errorString())
                                     .toStdString());
}

void WebDoor::close()
{
    for (QTcpServer *server : {m_plain.get(), static_cast<QTcpServer *>(m_encrypted.get())}) {
        if (server)
            server->close();
    }
    // No request is carried out after this: the connections go, their jobs with them.
    const auto connections = findChildren<Connection *>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(connections);
}

void WebDoor::takeConnections(QTcpServer &server)
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        // A handshake that completes after close() brings no request in.
        if (!server.isListening()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (m_connections < maxConnections) {
            m_full = false;
            new Connection(socket, *this);
            continue;
        }
        if (!m_full)
            qCWarning(lcTralvo,
                      "Web: %d connections are open; more are answered 503 until one "
                      "closes",
                      maxConnections);
        m_full = true;
        const HttpResponse busy{503, {{"Retry-After", "1"}}, "too many connections\n"};
        socket->write(busy.serialise(false));
        connect(socket, &QTcpSocket::bytesWritten, socket, &QTcpSocket::disconnectFromHost);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

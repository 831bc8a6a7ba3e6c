#include "networkjob.h"

#include "httpopening.h"
#include "logging.h"

#include <QHostAddress>
#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN
using Socket = SOCKET;
int lastError()
{
    return WSAGetLastError();
}
bool wouldBlock(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}
qint64 receive(Socket s, char *data, qint64 size)
{
    return ::recv(s, data, static_cast<int>(size), 0);
}
qint64 transmit(Socket s, const char *data, qint64 size)
{
    return ::send(s, data, static_cast<int>(size), 0);
}
void makeNonBlocking(Socket s)
{
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}
void closeDescriptor(Socket s)
{
    ::closesocket(s);
}
#else
using Socket = int;
int lastError()
{
    return errno;
}
bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}
qint64 receive(Socket s, char *data, qint64 size)
{
    return ::recv(s, data, static_cast<size_t>(size), 0);
}
qint64 transmit(Socket s, const char *data, qint64 size)
{
    // A client gone must not end the program with SIGPIPE.
    return ::send(s, data, static_cast<size_t>(size), MSG_NOSIGNAL);
}
void makeNonBlocking(Socket s)
{
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
}
void closeDescriptor(Socket s)
{
    ::close(s);
}
#endif

Socket socketOf(qintptr fd)
{
    return static_cast<Socket>(fd);
}

QString peerOf(Socket s)
{
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    if (::getpeername(s, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return QStringLiteral("a client");
    const QHostAddress host(reinterpret_cast<const sockaddr *>(&address));
    quint16 port = 0;
    if (address.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
    else if (address.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port);
    const QString shown = host.protocol() == QAbstractSocket::IPv6Protocol
                              ? QLatin1Char('[') + host.toString() + QLatin1Char(']')
                              : host.toString();
    return shown + QLatin1Char(':') + QString::number(port);
}

} // namespace

NetworkJob::NetworkJob(qintptr descriptor, int idleTimeoutMs, QObject *parent)
    : ByteSource(parent), m_fd(descriptor), m_peer(peerOf(socketOf(descriptor)))
{
    makeNonBlocking(socketOf(m_fd));
    m_readable = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, &NetworkJob::readMore);
    m_writable = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_writable, &QSocketNotifier::activated, this, &NetworkJob::writeMore);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleTimeoutMs);
    connect(&m_idle, &QTimer::timeout, this, &NetworkJob::idleTimedOut);
    m_idle.start();
}

NetworkJob::~NetworkJob()
{
    closeSocket();
}

void NetworkJob::closeSocket()
{
    if (m_fd < 0)
        return;
    delete m_readable;
    m_readable = nullptr;
    delete m_writable;
    m_writable = nullptr;
    closeDescriptor(socketOf(m_fd));
    m_fd = -1;
}

void NetworkJob::readMore()
{
    if (m_fd < 0 || m_ended)
        return;
    const qint64 room = readAhead - unread();
    if (room <= 0) {
        // Held back until the receiver reads: TCP then holds the client.
        m_readable->setEnabled(false);
        return;
    }
    if (m_inPos > 0) {
        m_in.remove(0, static_cast<int>(m_inPos));
        m_inPos = 0;
    }
    const auto before = m_in.size();
    m_in.resize(before + static_cast<int>(room));
    const qint64 n = receive(socketOf(m_fd), m_in.data() + before, room);
    const int error = lastError();
    m_in.resize(before + static_cast<int>(std::max<qint64>(n, 0)));
    if (n > 0) {
        m_idle.start();
        if (m_opening != Opening::Passed)
            checkOpening(false);
        if (m_opening == Opening::Passed)
            raiseReceived();
    } else if (n == 0) {
        // The client shut its sending side: the job's end, once all of it has been read.
        m_ended = true;
        m_readable->setEnabled(false);
        if (m_opening != Opening::Passed)
            checkOpening(true);
        if (m_opening == Opening::Passed && available() > 0)
            raiseReceived();
        checkEnd();
    } else if (!wouldBlock(error)) {
        fail(QStringLiteral("%1: %2").arg(m_peer, qt_error_string(error)));
    }
}

void NetworkJob::checkOpening(bool ended)
{
    if (m_opening == Opening::Checking) {
        switch (HttpOpening::classify(m_in)) {
        case HttpOpening::Verdict::RawJob:
            m_opening = Opening::Passed;
            return;
        case HttpOpening::Verdict::RequestLine:
            m_opening = Opening::Refusing;
            break;
        case HttpOpening::Verdict::Undecided:
            // A few bytes that could still open a request line are a job of their own once the
            // client has ended; an opening that runs on as one to the read-ahead bound is none.
            if (ended)
                m_opening = Opening::Passed;
            else if (unread() >= readAhead)
                refuse();
            return;
        }
    }
    // The header lines, for the Origin the log names, as far as they come.
    if (ended || unread() >= readAhead || HttpOpening::headerComplete(m_in))
        refuse();
}

void NetworkJob::refuse()
{
    qCWarning(lcTralvo,
              "Network: %s sent an HTTP request (%s), not a print job: refused, nothing printed",
              qPrintable(m_peer), HttpOpening::describe(m_in).constData());
    m_opening = Opening::Refusing;
    m_ended = true;
    m_in.clear();
    m_inPos = 0;
    m_out.clear();
    closeSocket();
    checkEnd();
}

QByteArray NetworkJob::read(qint64 maxBytes)
{
    const qint64 n = std::min(maxBytes, available());
    QByteArray bytes = m_in.mid(static_cast<int>(m_inPos), static_cast<int>(n));
    m_inPos += n;
    if (m_inPos == m_in.size()) {
        m_in.clear();
        m_inPos = 0;
    }
    if (m_readable && !m_ended)
        m_readable->setEnabled(true);
    if (m_ended && available() == 0)
        QTimer::singleShot(0, this, &NetworkJob::checkEnd);
    return bytes;
}

void NetworkJob::reply(const QByteArray &bytes)
{
    if (m_fd < 0)
        return;
    m_out += bytes;
    writeMore();
}

void NetworkJob::writeMore()
{
    while (m_fd >= 0 && !m_out.isEmpty()) {
        const qint64 n = transmit(socketOf(m_fd), m_out.constData(), m_out.size());
        if (n > 0) {
            m_out.remove(0, static_cast<int>(n));
            continue;
        }
        if (n < 0 && wouldBlock(lastError())) {
            m_writable->setEnabled(true);
            return;
        }
        // The client has gone: what it would have got goes nowhere.
        m_out.clear();
    }
    if (m_writable)
        m_writable->setEnabled(false);
    if (m_ending)
        deleteLater();
}

void NetworkJob::end()
{
    m_ending = true;
    m_idle.stop();
    if (m_out.isEmpty() || m_fd < 0) {
        deleteLater();
        return;
    }
    // A client that never takes what is written back does not keep the job for ever.
    QTimer::singleShot(lingerMs, this, &QObject::deleteLater);
}

void NetworkJob::checkEnd()
{
    if (!m_ended || m_finished || available() > 0)
        return;
    m_finished = true;
    m_idle.stop();
    Q_EMIT finished();
}

void NetworkJob::idleTimedOut()
{
    if (m_opening == Opening::Refusing) {
        refuse();
        return;
    }
    // A few bytes that could still open a request line, and no more for so long: a job after all.
    if (m_opening == Opening::Checking && unread() > 0) {
        m_opening = Opening::Passed;
        raiseReceived();
    }
    // Bytes waiting unread mean the job waits for the printer, not that the client is idle.
    if (available() > 0) {
        m_idle.start();
        return;
    }
    qCWarning(lcTralvo, "Network: %s sent nothing for %d s; closed", qPrintable(m_peer),
              m_idle.interval() / 1000);
    m_ended = true;
    m_out.clear();
    closeSocket();
    checkEnd();
}

void NetworkJob::fail(const QString &reason)
{
    m_ended = true;
    m_out.clear();
    closeSocket();
    Q_EMIT lost(reason);
    checkEnd();
}

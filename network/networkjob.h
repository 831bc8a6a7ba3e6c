#pragma once

#include "bytesource.h"

#include <QTimer>

class QSocketNotifier;

// One accepted connection of the print port: one job, as a source of POS bytes. Its receiver
// reads it; what goes back (a printer's replies, Tralvo's own status answers) is written to it.
// At most readAhead bytes are read ahead of the receiver, so a job that waits for the printer is
// held back by TCP rather than by Tralvo's memory.
//
// The job ends when the client shuts its sending side (or resets, or sends nothing for the idle
// time while nothing of it waits unread): finished() once its last byte has been read. The
// connection itself stays open for what still goes back until end(). It works on the socket
// itself rather than through QTcpSocket, which closes a connection as soon as its peer has shut
// its sending side and so would drop those replies.
//
// Nothing of a job is available to its receiver until its opening shows that it is no HTTP request
// (see httpopening.h): a job that opens with a request line is refused, closed with a log line, and
// ends having given nothing.
class NetworkJob : public ByteSource
{
    Q_OBJECT
public:
    NetworkJob(qintptr descriptor, int idleTimeoutMs, QObject *parent = nullptr);
    ~NetworkJob() override;

    // "127.0.0.1:51234", for the log.
    QString peer() const { return m_peer; }

    qint64 available() const override { return m_opening == Opening::Passed ? unread() : 0; }
    QByteArray read(qint64 maxBytes) override;
    // Bytes back to the client; dropped once it has gone.
    void reply(const QByteArray &bytes);
    // The job is done with: the connection closes once what was written to it has left (within
    // lingerMs), and the job goes with it.
    void end();

    static constexpr qint64 readAhead = qint64{16} * 1024;
    static constexpr int lingerMs = 5000;

Q_SIGNALS:
    // All the job's bytes have been read and the client sends no more: the job is over.
    void finished();

private:
    enum class Opening { Checking, Passed, Refusing };

    qint64 unread() const { return m_in.size() - m_inPos; }
    void readMore();
    // Looks at the opening once more bytes have come; ended: the client sends no more.
    void checkOpening(bool ended);
    void refuse();
    void writeMore();
    void checkEnd();
    void idleTimedOut();
    void fail(const QString &reason);
    void closeSocket();

    qintptr m_fd;
    QString m_peer;
    QSocketNotifier *m_readable = nullptr;
    QSocketNotifier *m_writable = nullptr;
    QByteArray m_in;
    qint64 m_inPos = 0;
    QByteArray m_out;
    QTimer m_idle;
    bool m_ended = false;    // the client sends no more
    bool m_finished = false; // finished() was emitted
    bool m_ending = false;   // end() was called
    Opening m_opening = Opening::Checking;
};

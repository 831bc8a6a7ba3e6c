#pragma once

#include <QByteArray>
#include <QObject>

// Where the POS's bytes go on to once the receiver has looked at them (the receipt printer),
// holding what it has not passed on yet within a bound.
class Onward : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // What send() takes now; a query, it changes nothing.
    virtual qint64 room() const = 0;
    // Takes at most room() bytes and returns how many it took.
    virtual qint64 send(const QByteArray &bytes) = 0;
    // The sender has bytes and room() was 0: roomAvailable() follows when it may go on (a gate
    // joins the wait for the printer's turn).
    virtual void waitForRoom() = 0;
    // The bytes sent so far are one job: jobWritten() follows once its last byte has gone on (at
    // once when nothing is left).
    virtual void endJob() = 0;

Q_SIGNALS:
    // Bytes the far end sent back (a printer's status replies), for the source that sent to it.
    void replied(const QByteArray &bytes);
    // A sender that stopped for want of room may go on.
    void roomAvailable();
    // The last byte of a job ended with endJob() has gone on, one signal for each endJob(), in
    // their order.
    void jobWritten();
};

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

    virtual qint64 room() const = 0; // what send() takes now; a query, changes nothing
    virtual qint64 send(const QByteArray &bytes) = 0; // takes at most room(), returns how many
    virtual void
    waitForRoom() = 0;         // the sender has bytes and room() was 0: roomAvailable() follows
                               // when it may go on (a gate joins the wait for the printer's turn)
    virtual void endJob() = 0; // the bytes sent so far are one job; jobWritten() follows once
                               // its last byte has gone on (at once when nothing is left)

Q_SIGNALS:
    // Bytes the far end sent back (a printer's status replies), for the source that sent to it.
    void replied(const QByteArray &bytes);
    // A sender that waited for room may go on.
    void roomAvailable();
    // The job ended by endJob() has gone on, to its last byte.
    void jobWritten();
};

#pragma once

#include <QByteArray>
#include <QObject>

#include <functional>

// Where the POS's bytes go on to once the receiver has looked at them (the receipt printer),
// holding what it has not passed on yet within a bound.
class Onward : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // How many more bytes send() takes now.
    virtual qint64 room() const = 0;
    // Takes at most room() bytes and returns how many it took.
    virtual qint64 send(const QByteArray &bytes) = 0;
    // The bytes sent so far are one job: whenWritten (if any) runs once its last byte has gone
    // on, here at once.
    virtual void endJob(const std::function<void()> &whenWritten = {})
    {
        if (whenWritten)
            whenWritten();
    }

Q_SIGNALS:
    // Bytes the far end sent back (a printer's status replies), for the source that sent to it.
    void replied(const QByteArray &bytes);
    // room() has grown back (to half the bound or more) after running short: a sender that
    // stopped for want of room may go on.
    void roomAvailable();
};

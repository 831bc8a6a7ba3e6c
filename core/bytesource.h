#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// Where the POS's bytes come from (the Device port): what its receiver reads. It knows its
// transport and nothing of kicks or printers. Reads throw, with the reason, when they fail.
class ByteSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Bytes waiting to be read.
    virtual qint64 available() const = 0;
    // Removes and returns up to maxBytes waiting bytes, in order.
    virtual QByteArray read(qint64 maxBytes) = 0;

Q_SIGNALS:
    // Bytes wait. Raised through raiseReceived(), so never inside a handler of it: the one guard
    // against a receiver's drain starting inside another.
    void received();
    // The open source broke (a device pulled, a peer gone) and is closed now.
    void lost(const QString &reason);

protected:
    // Raises received(), but never from inside its own handler, which may let the event loop run
    // and would otherwise go one level deeper for every chunk of a busy source: bytes that come
    // meanwhile are raised for from the event loop once the handler has returned.
    void raiseReceived();
    // Whether bytes wait that received() should be raised for.
    virtual bool receivedDue() const { return available() > 0; }

private:
    bool m_inHandler = false;
    bool m_receivedPending = false;
};

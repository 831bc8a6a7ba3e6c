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
    // Bytes wait. Never raised again while a handler of it is still running.
    void received();
    // The open source broke (a device pulled, a peer gone) and is closed now.
    void lost(const QString &reason);
};

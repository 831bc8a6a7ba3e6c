#pragma once

#include "bytesource.h"
#include "printer.h"

#include <QByteArray>
#include <QString>

#include <stdexcept>

// A failed property read or write: no such port, port busy, value refused, port not open.
class CommError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A serial port driven through properties, in the manner of the classic Windows comm control.
// Properties written while the port is closed are kept and applied when it opens. Every failing
// read or write throws CommError; a port lost while open is reported through lost().
class CommControl : public ByteSource
{
    Q_OBJECT
public:
    // The size type of QByteArray: int in Qt 5, qsizetype in Qt 6.
    using ByteCount = decltype(QByteArray().size());

    using ByteSource::ByteSource;

    virtual void setCommPort(qint16 port) = 0;
    // "baud,parity,data,stop[,flow]" (see LineSettings).
    virtual void setSettings(const QString &settings) = 0;
    virtual void setPortOpen(bool open) = 0;
    // Sends the bytes and waits, within a bound, until they have left.
    virtual void setOutput(const QByteArray &data) = 0;
    // Sends the bytes (a printer's replies) without waiting: what the port has not taken yet is
    // held, up to replyBound, and goes out as the port takes it. What would pass the bound is
    // dropped, and the CommError says how much; the rest is kept.
    virtual void writeReply(const QByteArray &bytes) = 0;
    static constexpr qint64 replyBound = Printer::defaultCapacity;

    virtual bool portOpen() const = 0;
};

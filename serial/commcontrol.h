#pragma once

#include <QByteArray>
#include <QObject>
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
// read or write throws CommError; the control never reports anything on its own.
class CommControl : public QObject
{
    Q_OBJECT
public:
    enum Event : qint16 { NoEvent = 0, comEvSend = 1, comEvReceive = 2 };
    enum Handshake : qint32 { comNone = 0, comXOnXoff = 1, comRTS = 2, comRTSXOnXOff = 3 };
    enum InputModeValue : qint32 { comInputModeText = 0, comInputModeBinary = 1 };

    // The size type of QByteArray: int in Qt 5, qsizetype in Qt 6.
    using ByteCount = decltype(QByteArray().size());

    using QObject::QObject;

    virtual void setCommPort(qint16 port) = 0;
    virtual void setSettings(const QString &settings) = 0;
    // Accepted, no effect: no send notification is ever raised.
    virtual void setSThreshold(qint16 threshold) = 0;
    virtual void setRThreshold(qint16 threshold) = 0;
    virtual void setRTSEnable(bool enable) = 0;
    virtual void setHandshaking(qint32 handshaking) = 0;
    virtual void setInBufferSize(qint16 size) = 0;
    virtual void setInputLen(qint16 length) = 0;
    // Accepted, no effect: input() always yields bytes, whatever the mode.
    virtual void setInputMode(qint32 mode) = 0;
    virtual void setPortOpen(bool open) = 0;
    virtual void setOutput(const QByteArray &data) = 0;

    virtual bool portOpen() const = 0;
    virtual qint16 commEvent() const = 0;
    virtual qint16 inBufferCount() const = 0;
    // Removes and returns up to InputLen waiting bytes (all of them when InputLen is 0).
    virtual QByteArray input() = 0;

Q_SIGNALS:
    // The communication event; commEvent() tells why it was raised.
    void onComm();
};

#pragma once

#include "commcontrol.h"
#include "linesettings.h"

#include <QSerialPort>

// The comm control over QSerialPort.
//
// Every port is set up alike, so these are fixed rather than properties: a receive event as soon
// as one byte waits (the receiver reads as much as its mode takes), RTS raised (a POS that
// watches CTS sends only then), and QSerialPort reading up to readChunk ahead.
//
// Received bytes are moved from QSerialPort's buffer into our own only when ours is empty, so a
// flood is taken in large steps while memory stays bounded by the two buffers. A receive event is
// never raised while its handler is still running: bytes that arrive meanwhile raise a fresh event
// once it has returned. A port that breaks at run time (a device pulled, a pseudo-terminal whose
// peer is gone) is closed at once instead of erroring in a loop, and reported through lost().
class QtCommControl : public CommControl
{
    Q_OBJECT
public:
    explicit QtCommControl(QObject *parent = nullptr);

    void setCommPort(qint16 port) override;
    void setSettings(const QString &settings) override;
    void setPortOpen(bool open) override;
    void setOutput(const QByteArray &data) override;
    void writeReply(const QByteArray &bytes) override;

    bool portOpen() const override;
    qint64 available() const override;
    QByteArray read(qint64 maxBytes) override;

    // How long a write may take to leave our process before it counts as failed.
    static constexpr int writeTimeoutMs = 1000;
    // What QSerialPort reads ahead of us at most.
    static constexpr qint64 readChunk = qint64{16} * 1024;

protected:
    bool receivedDue() const override;

private:
    void requireOpen() const;
    void requireClosed() const;
    void applySettings(const LineSettings &settings);
    void raiseRts();
    qint64 waitingCount() const;
    void pullFromPort();
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);
    void resetBuffers();

    QSerialPort m_port;
    qint16 m_commPort = 1;
    LineSettings m_settings;

    QString m_lostReason;
    QByteArray m_waiting;
    ByteCount m_readPos = 0;
};

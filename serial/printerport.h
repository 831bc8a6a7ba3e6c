#pragma once

#include "printeraddress.h"
#include "printerdevice.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>

// The receipt printer's port: a terminal (a serial port) or, on Linux, a character device that is
// none (/dev/usb/lp0) or a named pipe; anything else, a regular file or a folder, is refused.
// Bytes the printer sends back are handed on as they come.
class PrinterPort : public PrinterDevice
{
    Q_OBJECT
public:
    explicit PrinterPort(PrinterAddress address, QObject *parent = nullptr);
    ~PrinterPort() override;

    const PrinterAddress &address() const { return m_address; }

    QString name() const override { return m_address.port; }
    void open() override;
    void close() override;
    bool isOpen() const override { return m_device && m_device->isOpen(); }
    bool answersStatus() const override { return true; }

    qint64 write(const char *data, qint64 size) override;
    qint64 pending() const override;
    bool keepsJobsApart() const override { return false; }
    void jobWritten() override {}
    void drained() override {}
    bool waitForProgress(int ms) override;

private:
    void handleBytesWritten();
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);
    void openCharacterDevice();
    void lose(const QString &reason);

    PrinterAddress m_address;
    QSerialPort m_port;
    // A printer class device that is no terminal (/dev/usb/lp0), which QSerialPort cannot open.
    std::unique_ptr<QIODevice> m_characterDevice;
    QIODevice *m_device = nullptr; // the one of the two that is in use
};

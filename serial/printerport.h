#pragma once

#include "printer.h"
#include "printeraddress.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>

// The receipt printer's port: a terminal (a serial port) or, on Linux, a character device that is
// none (/dev/usb/lp0) or a named pipe; anything else, a regular file or a folder, is refused.
// Bytes the printer sends back are handed on as they come.
class PrinterPort : public Printer
{
    Q_OBJECT
public:
    explicit PrinterPort(PrinterAddress address, qint64 capacity = defaultCapacity,
                         QObject *parent = nullptr);
    ~PrinterPort() override;

    const PrinterAddress &address() const { return m_address; }

    QString name() const override { return m_address.port; }
    void open() override;
    void close() override;
    bool isOpen() const override { return m_device && m_device->isOpen(); }

protected:
    qint64 writeToDevice(const char *data, qint64 size) override;
    qint64 devicePending() const override;
    bool waitForDevice(int ms) override;

private:
    void handleBytesWritten();
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);
    void openCharacterDevice();

    PrinterAddress m_address;
    QSerialPort m_port;
    // A printer class device that is no terminal (/dev/usb/lp0), which QSerialPort cannot open.
    std::unique_ptr<QIODevice> m_characterDevice;
    QIODevice *m_device = nullptr; // the one of the two that is in use
};

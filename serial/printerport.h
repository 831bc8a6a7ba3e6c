#pragma once

#include "onward.h"
#include "printeraddress.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>

// The receipt printer's port, for passing the POS's bytes through: a terminal (a serial port) or,
// on Linux, a character device that is none (/dev/usb/lp0) or a named pipe; anything else, a
// regular file or a folder, is refused. What is sent is queued here until it has been written to
// the port, up to the capacity; whatever the port has not taken when it is lost stays queued and
// goes out once it is open again. Bytes the printer sends back are handed on as they come.
// Failures are reported as a reason, never thrown into the event loop: open() throws CommError,
// a port lost at run time is closed and signalled.
class PrinterPort : public Onward
{
    Q_OBJECT
public:
    static constexpr qint64 defaultCapacity = qint64{1024} * 1024;

    explicit PrinterPort(PrinterAddress address, qint64 capacity = defaultCapacity,
                         QObject *parent = nullptr);
    ~PrinterPort() override;

    const PrinterAddress &address() const { return m_address; }

    // Opens the port with its settings (closing it first if open); throws CommError with the
    // reason. Queued bytes start going out at once.
    void open();
    void close();
    // Waits up to timeoutMs for the open port to take what is queued; returns what is left.
    qint64 flush(int timeoutMs);
    bool isOpen() const { return m_device && m_device->isOpen(); }

    // Bytes queued and not yet written to the port.
    qint64 queued() const { return m_queue.size() - m_head; }
    // How many more bytes send() takes.
    qint64 room() const override { return m_capacity - queued(); }

    // Queues bytes for the printer. Takes at most room() bytes and returns how many it took.
    qint64 send(const QByteArray &bytes) override;

Q_SIGNALS:
    // The open port broke (a device pulled, a peer gone); it is closed now.
    void lost(const QString &reason);

private:
    void writeMore();
    void handleBytesWritten();
    void continueWriting();
    void handleReadyRead();
    void handleError(QSerialPort::SerialPortError error);
    void openCharacterDevice();
    void loseDevice(const QString &reason);

    PrinterAddress m_address;
    qint64 m_capacity;
    QSerialPort m_port;
    // A printer class device that is no terminal (/dev/usb/lp0), which QSerialPort cannot open.
    std::unique_ptr<QIODevice> m_characterDevice;
    QIODevice *m_device = nullptr; // the one of the two that is in use
    // Bytes not yet written: m_queue from m_head on. Of those, m_handed were given to the port
    // and wait in its own buffer.
    QByteArray m_queue;
    qint64 m_head = 0;
    qint64 m_handed = 0;
    bool m_roomShort = false;  // room() was below half the capacity
    bool m_continuing = false; // continueWriting() is on its way
};

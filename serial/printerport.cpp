#include "printerport.h"

#include "commcontrol.h"
#ifdef Q_OS_UNIX
#include "characterdevice.h"

#include <QFile>
#include <sys/stat.h>
#endif
#include "serialline.h"

#include <cerrno>
#include <utility>

PrinterPort::PrinterPort(PrinterAddress address, QObject *parent)
    : PrinterDevice(parent), m_address(std::move(address))
{
    connect(&m_port, &QSerialPort::bytesWritten, this, &PrinterPort::handleBytesWritten);
    connect(&m_port, &QSerialPort::readyRead, this, &PrinterPort::handleReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &PrinterPort::handleError);
}

PrinterPort::~PrinterPort() = default;

void PrinterPort::open()
{
    close();
#ifdef Q_OS_UNIX
    // A regular file or a folder would take every job and print none of it. A named pipe is
    // let through: it feeds a program that stands in for a printer.
    struct stat info = {};
    if (::stat(QFile::encodeName(m_address.location).constData(), &info) == 0 &&
        !S_ISCHR(info.st_mode) && !S_ISFIFO(info.st_mode))
        throw CommError(QStringLiteral("cannot open %1: neither a terminal nor a character device")
                            .arg(m_address.location)
                            .toStdString());
    if (CharacterDevice::isCharacterDevice(m_address.location)) {
        openCharacterDevice();
        return;
    }
#endif
    m_port.setPortName(m_address.location);
    if (!m_port.open(QIODevice::ReadWrite))
        throw CommError(QStringLiteral("cannot open %1: %2")
                            .arg(m_address.location, m_port.errorString())
                            .toStdString());
    if (!applyLineSettings(m_port, m_address.settings)) {
        const QString reason = m_port.errorString();
        m_port.close();
        throw CommError(QStringLiteral("settings refused by %1: %2")
                            .arg(m_address.location, reason)
                            .toStdString());
    }
    m_port.clearError();
    m_device = &m_port;
}

void PrinterPort::openCharacterDevice()
{
#ifdef Q_OS_UNIX
    auto device = std::make_unique<CharacterDevice>(m_address.location);
    connect(device.get(), &QIODevice::bytesWritten, this, &PrinterPort::handleBytesWritten);
    connect(device.get(), &QIODevice::readyRead, this, &PrinterPort::handleReadyRead);
    connect(device.get(), &CharacterDevice::failed, this,
            [this](const QString &reason) { lose(QStringLiteral("port lost: ") + reason); });
    if (!device->open(QIODevice::ReadWrite))
        throw CommError(QStringLiteral("cannot open %1: %2")
                            .arg(m_address.location, device->errorString())
                            .toStdString());
    m_characterDevice = std::move(device);
    m_device = m_characterDevice.get();
#endif
}

void PrinterPort::close()
{
    if (m_device && m_device->isOpen())
        m_device->close();
    m_device = nullptr;
}

bool PrinterPort::waitForProgress(int ms)
{
    return isOpen() && m_device->waitForBytesWritten(ms);
}

qint64 PrinterPort::pending() const
{
    return m_device ? m_device->bytesToWrite() : 0;
}

qint64 PrinterPort::write(const char *data, qint64 size)
{
    if (!isOpen())
        return 0;
    const qint64 written = m_device->write(data, size);
    // Out now rather than at the next pass of the event loop: a small write is a status request
    // the POS waits for. QSerialPort writes only what the line takes without blocking.
    if (written > 0 && m_device == &m_port)
        m_port.flush();
    return written;
}

void PrinterPort::handleBytesWritten()
{
    if (m_device)
        Q_EMIT wrote();
}

void PrinterPort::handleReadyRead()
{
    const QByteArray bytes = m_device ? m_device->readAll() : QByteArray();
    if (!bytes.isEmpty())
        Q_EMIT replied(bytes);
}

void PrinterPort::handleError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
#ifdef Q_OS_UNIX
    // A full line answers a write with EAGAIN, which QSerialPort reports as a failure; its bytes
    // stay in QSerialPort's buffer and go out when the line takes more. Only a port that has
    // gone away is lost.
    if (m_port.errorString() == qt_error_string(EAGAIN)) {
        m_port.clearError();
        return;
    }
#endif
    if (!m_port.isOpen())
        return;
    lose(QStringLiteral("port lost: %1").arg(m_port.errorString()));
}

void PrinterPort::lose(const QString &reason)
{
    close();
    Q_EMIT lost(reason);
}

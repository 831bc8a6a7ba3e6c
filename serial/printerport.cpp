#include "printerport.h"

#include "commcontrol.h"
#ifdef Q_OS_UNIX
#include "characterdevice.h"

#include <QFile>
#include <sys/stat.h>
#endif
#include "serialline.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// What is handed to QSerialPort at a time: enough to keep the line busy between two passes of
// the event loop, little enough that a port lost at run time loses at most this much of what
// it was not yet sure of.
constexpr qint64 handOver = qint64{16} * 1024;

} // namespace

PrinterPort::PrinterPort(PrinterAddress address, qint64 capacity, QObject *parent)
    : Onward(parent), m_address(std::move(address)), m_capacity(capacity)
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
        writeMore();
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
    writeMore();
}

void PrinterPort::openCharacterDevice()
{
#ifdef Q_OS_UNIX
    auto device = std::make_unique<CharacterDevice>(m_address.location);
    connect(device.get(), &QIODevice::bytesWritten, this, &PrinterPort::handleBytesWritten);
    connect(device.get(), &QIODevice::readyRead, this, &PrinterPort::handleReadyRead);
    connect(device.get(), &CharacterDevice::failed, this,
            [this](const QString &reason) { loseDevice(QStringLiteral("port lost: ") + reason); });
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
    // What the port held unwritten goes out again at the next open.
    m_handed = 0;
}

qint64 PrinterPort::flush(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (isOpen() && queued() > 0 && !deadline.hasExpired()) {
        writeMore();
        if (!m_device->waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    return queued();
}

qint64 PrinterPort::send(const QByteArray &bytes)
{
    const qint64 taken = std::min<qint64>(bytes.size(), room());
    if (taken <= 0)
        return 0;
    if (m_head > 0 && m_head >= m_queue.size() / 2) {
        // Written bytes are dropped from the front in large steps, not one chunk at a time.
        m_queue.remove(0, static_cast<CommControl::ByteCount>(m_head));
        m_head = 0;
    }
    m_queue.append(bytes.constData(), static_cast<CommControl::ByteCount>(taken));
    m_roomShort = room() < m_capacity / 2;
    writeMore();
    return taken;
}

void PrinterPort::writeMore()
{
    if (!isOpen())
        return;
    const qint64 unhanded = queued() - m_handed;
    const qint64 now = std::min(unhanded, handOver - m_handed);
    if (now <= 0)
        return;
    const qint64 written =
        m_device->write(m_queue.constData() + m_head + m_handed, static_cast<qint64>(now));
    if (written <= 0)
        return;
    m_handed += written;
    // Out now rather than at the next pass of the event loop: a small write is a status request
    // the POS waits for. QSerialPort writes only what the line takes without blocking.
    if (m_device == &m_port)
        m_port.flush();
}

void PrinterPort::handleBytesWritten()
{
    if (!m_device)
        return;
    // What the port still holds, rather than the count the signal gives: QSerialPort's count
    // leaves out what is written while the signal is being handled.
    const qint64 done = m_handed - std::min(m_handed, m_device->bytesToWrite());
    m_handed -= done;
    m_head += done;
    if (m_head == m_queue.size()) {
        m_queue.clear();
        m_head = 0;
    }
    // Not from inside the port's own signal: QSerialPort may write at once what it is given
    // there and never signal it, and the sender that roomAvailable() wakes writes too.
    if (!m_continuing) {
        m_continuing = true;
        QTimer::singleShot(0, this, &PrinterPort::continueWriting);
    }
}

void PrinterPort::continueWriting()
{
    m_continuing = false;
    const bool wasShort = m_roomShort;
    writeMore();
    m_roomShort = room() < m_capacity / 2;
    if (wasShort && !m_roomShort)
        Q_EMIT roomAvailable();
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
    loseDevice(QStringLiteral("port lost: %1").arg(m_port.errorString()));
}

void PrinterPort::loseDevice(const QString &reason)
{
    close();
    Q_EMIT lost(reason);
}

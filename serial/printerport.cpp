#include "printerport.h"

#include "commcontrol.h"
#ifdef Q_OS_UNIX
#include "characterdevice.h"
#endif
#include "portname.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// What is handed to QSerialPort at a time: enough to keep the line busy between two passes of
// the event loop, little enough that a port lost at run time loses at most this much of what
// it was not yet sure of.
constexpr qint64 handOver = qint64{16} * 1024;

std::optional<PrinterAddress::Handshake> toHandshake(const QString &text)
{
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("none"))
        return PrinterAddress::Handshake::None;
    if (name == QLatin1String("rtscts"))
        return PrinterAddress::Handshake::RtsCts;
    if (name == QLatin1String("xonxoff"))
        return PrinterAddress::Handshake::XonXoff;
    return std::nullopt;
}

// "baud,parity,data,stop[,handshake]" into the address; false when it is not that.
bool takeSettings(const QString &text, PrinterAddress &address)
{
    QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() == 5) {
        const auto handshake = toHandshake(fields.takeLast());
        if (!handshake)
            return false;
        address.handshake = *handshake;
    }
    const auto settings = LineSettings::parse(fields.join(QLatin1Char(',')));
    if (!settings)
        return false;
    address.settings = *settings;
    return true;
}

QString systemLocation(const QString &port)
{
    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm]([1-9][0-9]{0,3})$"));
    const QRegularExpressionMatch com = comName.match(port);
    if (com.hasMatch())
        return portLocation(com.captured(1).toInt());
#ifdef Q_OS_WIN
    return QString();
#else
    return port.startsWith(QLatin1Char('/')) ? port : QString();
#endif
}

QSerialPort::FlowControl toQt(PrinterAddress::Handshake handshake)
{
    switch (handshake) {
    case PrinterAddress::Handshake::RtsCts:
        return QSerialPort::HardwareControl;
    case PrinterAddress::Handshake::XonXoff:
        return QSerialPort::SoftwareControl;
    case PrinterAddress::Handshake::None:
        break;
    }
    return QSerialPort::NoFlowControl;
}

} // namespace

std::optional<PrinterAddress> PrinterAddress::parse(const QString &text, QString *error)
{
    PrinterAddress address;
    address.port = text;
    // Settings follow the last colon; a device path may hold colons of its own
    // (/dev/serial/by-path/...-usb-0:2:1.0-port0), so only a tail that reads as settings counts.
    const int colon = static_cast<int>(text.lastIndexOf(QLatin1Char(':')));
    if (colon >= 0 && takeSettings(text.mid(colon + 1), address))
        address.port = text.left(colon);
    else if (colon >= 0 && text.mid(colon + 1).contains(QLatin1Char(','))) {
        if (error)
            *error = QStringLiteral("the printer's settings \"%1\" are not "
                                    "baud,parity,data,stop[,none|rtscts|xonxoff]")
                         .arg(text.mid(colon + 1));
        return std::nullopt;
    }
    address.location = systemLocation(address.port);
    if (address.location.isEmpty()) {
        if (error)
            *error = QStringLiteral("the printer's port \"%1\" is neither COMn nor a device path")
                         .arg(address.port);
        return std::nullopt;
    }
    return address;
}

PrinterPort::PrinterPort(PrinterAddress address, qint64 capacity, QObject *parent)
    : QObject(parent), m_address(std::move(address)), m_capacity(capacity)
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
    const bool ok =
        m_address.settings.applyTo(m_port) && m_port.setFlowControl(toQt(m_address.handshake));
    if (!ok) {
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
        Q_EMIT received(bytes);
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

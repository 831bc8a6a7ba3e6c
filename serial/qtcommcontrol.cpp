#include "qtcommcontrol.h"

#include "portname.h"
#include "serialline.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <array>

namespace {

[[noreturn]] void fail(const QString &what)
{
    throw CommError(what.toStdString());
}

} // namespace

QtCommControl::QtCommControl(QObject *parent) : CommControl(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &QtCommControl::handleReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtCommControl::handleError);
}

void QtCommControl::requireOpen() const
{
    if (!m_port.isOpen())
        fail(m_lostReason.isEmpty() ? QStringLiteral("port not open") : m_lostReason);
}

void QtCommControl::requireClosed() const
{
    if (m_port.isOpen())
        fail(QStringLiteral("port already open"));
}

void QtCommControl::setCommPort(qint16 port)
{
    requireClosed();
    if (port < 1)
        fail(QStringLiteral("invalid port number %1").arg(port));
    m_commPort = port;
}

void QtCommControl::setSettings(const QString &settings)
{
    const auto parsed = LineSettings::parse(settings);
    if (!parsed)
        fail(QStringLiteral("invalid settings \"%1\"").arg(settings));
    if (m_port.isOpen())
        applySettings(*parsed);
    m_settings = *parsed;
}

void QtCommControl::applySettings(const LineSettings &s)
{
    m_port.clearError();
    if (!applyLineSettings(m_port, s))
        fail(QStringLiteral("settings refused: %1").arg(m_port.errorString()));
}

void QtCommControl::raiseRts()
{
    if (m_settings.flowControl == LineSettings::FlowControl::RtsCts)
        return; // the driver owns RTS under hardware flow control
    m_port.clearError();
    if (m_port.setRequestToSend(true))
        return;
    // A pseudo-terminal has no modem lines; it takes the setting as a no-op, like a port whose
    // cable leaves RTS unconnected.
    if (m_port.error() == QSerialPort::UnsupportedOperationError) {
        m_port.clearError();
        return;
    }
    fail(QStringLiteral("RTS refused: %1").arg(m_port.errorString()));
}

void QtCommControl::setPortOpen(bool open)
{
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        resetBuffers();
        return;
    }
    requireClosed();
    m_lostReason.clear();
    m_port.clearError();
    // The log names the path as the user gives it (/dev/ttyS8); QSerialPort's own name drops
    // the folder.
    const QString location = portLocation(m_commPort);
    m_port.setPortName(location);
    m_port.setReadBufferSize(readChunk);
    if (!m_port.open(QIODevice::ReadWrite))
        fail(QStringLiteral("cannot open %1: %2").arg(location, m_port.errorString()));
    try {
        applySettings(m_settings);
        raiseRts();
    } catch (const CommError &) {
        m_port.close();
        throw;
    }
    // A freshly opened port starts empty: whatever was queued before must not act now.
    m_port.clear(QSerialPort::Input);
    resetBuffers();
}

void QtCommControl::setOutput(const QByteArray &data)
{
    requireOpen();
    m_port.clearError();
    if (m_port.write(data) != data.size())
        fail(QStringLiteral("write refused: %1").arg(m_port.errorString()));
    const QDeadlineTimer deadline(writeTimeoutMs);
    while (m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            fail(QStringLiteral("write did not complete: %1").arg(m_port.errorString()));
    }
}

void QtCommControl::writeReply(const QByteArray &bytes)
{
    requireOpen();
    // QSerialPort holds what the line has not taken and writes it as the line takes more.
    const qint64 held = m_port.bytesToWrite();
    const qint64 taken = std::clamp<qint64>(replyBound - held, 0, bytes.size());
    m_port.clearError();
    if (taken > 0 && m_port.write(bytes.constData(), taken) != taken)
        fail(QStringLiteral("write refused: %1").arg(m_port.errorString()));
    // Out now rather than at the next pass of the event loop, as far as the line takes it.
    m_port.flush();
    if (taken < bytes.size())
        fail(QStringLiteral("%1 of %2 bytes dropped: the port has not taken %3 bytes yet")
                 .arg(bytes.size() - taken)
                 .arg(bytes.size())
                 .arg(held + taken));
}

bool QtCommControl::portOpen() const
{
    return m_port.isOpen();
}

qint64 QtCommControl::waitingCount() const
{
    return (m_waiting.size() - m_readPos) + m_port.bytesAvailable();
}

qint64 QtCommControl::available() const
{
    requireOpen();
    return waitingCount();
}

void QtCommControl::pullFromPort()
{
    if (m_readPos < m_waiting.size())
        return;
    // Taking everything QSerialPort holds lets it refill with one large read.
    m_waiting = m_port.readAll();
    m_readPos = 0;
}

QByteArray QtCommControl::read(qint64 maxBytes)
{
    requireOpen();
    pullFromPort();
    const ByteCount left = m_waiting.size() - m_readPos;
    const ByteCount n =
        static_cast<ByteCount>(std::min<qint64>(std::max<qint64>(maxBytes, 0), left));
    if (n == 1) {
        // One-byte reads are the receive handler's whole diet: hand out shared arrays instead
        // of allocating one per byte.
        static const std::array<QByteArray, 256> singles = [] {
            std::array<QByteArray, 256> bytes;
            for (int b = 0; b < 256; ++b)
                bytes[static_cast<std::size_t>(b)] = QByteArray(1, static_cast<char>(b));
            return bytes;
        }();
        return singles[static_cast<unsigned char>(m_waiting.at(m_readPos++))];
    }
    QByteArray out(m_waiting.constData() + m_readPos, n);
    m_readPos += n;
    return out;
}

void QtCommControl::resetBuffers()
{
    m_waiting.clear();
    m_readPos = 0;
}

void QtCommControl::handleReadyRead()
{
    if (receivedDue())
        raiseReceived();
}

bool QtCommControl::receivedDue() const
{
    return m_port.isOpen() && waitingCount() > 0;
}

void QtCommControl::handleError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port.isOpen())
        return;
    // Left open, a broken port reports the same error on every event-loop pass.
    m_lostReason = QStringLiteral("port lost: %1").arg(m_port.errorString());
    m_port.close();
    resetBuffers();
    Q_EMIT lost(m_lostReason);
}

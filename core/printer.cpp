#include "printer.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// What is handed to the device at a time: enough to keep it busy between two passes of the event
// loop, little enough that a device lost at run time loses at most this much of what it was not
// yet sure of.
constexpr qint64 handOver = qint64{16} * 1024;

} // namespace

Printer::Printer(std::unique_ptr<PrinterDevice> device, qint64 capacity, QObject *parent)
    : Onward(parent), m_device(std::move(device)), m_capacity(capacity)
{
    connect(m_device.get(), &PrinterDevice::wrote, this, &Printer::deviceWrote);
    connect(m_device.get(), &PrinterDevice::ready, this, &Printer::writeMore);
    connect(m_device.get(), &PrinterDevice::replied, this, &Onward::replied);
    connect(m_device.get(), &PrinterDevice::lost, this, &Printer::deviceLost);
}

Printer::~Printer()
{
    // No signal of a device on its way out reaches a printer half gone.
    disconnect(m_device.get(), nullptr, this, nullptr);
}

void Printer::open()
{
    if (m_device->isOpen())
        close();
    m_device->open();
    writeMore();
}

void Printer::close()
{
    m_device->close();
    m_handed = 0;
}

qint64 Printer::flush(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (queued() > 0 && !deadline.hasExpired()) {
        writeMore();
        if (!m_device->waitForProgress(static_cast<int>(deadline.remainingTime())))
            break;
    }
    return queued();
}

qint64 Printer::send(const QByteArray &bytes)
{
    const qint64 taken = std::min<qint64>(bytes.size(), room());
    if (taken <= 0)
        return 0;
    m_backlog.append(bytes.constData(), taken);
    m_roomShort = room() < m_capacity / 2;
    writeMore();
    return taken;
}

void Printer::waitForRoom()
{
    // roomAvailable() comes once room() is back to half the capacity, or at once if it is.
    m_roomShort = true;
    if (!m_continuing) {
        m_continuing = true;
        QTimer::singleShot(0, this, &Printer::continueWriting);
    }
}

void Printer::endJob()
{
    m_backlog.endJob();
    passJobEnds();
}

void Printer::writeMore()
{
    qint64 unhanded = m_backlog.size() - m_handed;
    if (m_device->keepsJobsApart())
        unhanded = std::min(unhanded, m_backlog.firstJobLeft() - m_handed);
    const qint64 now = std::min(unhanded, handOver - m_handed);
    if (now <= 0)
        return;
    const qint64 written = m_device->write(m_backlog.at(m_handed), now);
    if (written > 0)
        m_handed += written;
}

void Printer::deviceWrote()
{
    // What the device still holds, rather than a count a signal gives: QSerialPort's count leaves
    // out what is written while the signal is being handled.
    const qint64 done = m_handed - std::min(m_handed, m_device->pending());
    m_handed -= done;
    m_backlog.drop(done);
    if (m_backlog.isEmpty())
        m_device->drained();
    passJobEnds();
    // Not from inside the device's own signal: QSerialPort may write at once what it is given
    // there and never signal it, and the sender that roomAvailable() wakes writes too.
    if (!m_continuing) {
        m_continuing = true;
        QTimer::singleShot(0, this, &Printer::continueWriting);
    }
}

void Printer::deviceLost(const QString &reason)
{
    // What it held unwritten goes out again at the next open.
    m_handed = 0;
    Q_EMIT lost(reason);
}

void Printer::continueWriting()
{
    m_continuing = false;
    const bool wasShort = m_roomShort;
    writeMore();
    m_roomShort = room() < m_capacity / 2;
    if (wasShort && !m_roomShort)
        Q_EMIT roomAvailable();
}

void Printer::passJobEnds()
{
    while (m_backlog.takeWrittenJob()) {
        m_device->jobWritten();
        Q_EMIT jobWritten();
    }
}

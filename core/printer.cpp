#include "printer.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>

namespace {

// What is handed to the device at a time: enough to keep it busy between two passes of the event
// loop, little enough that a device lost at run time loses at most this much of what it was not
// yet sure of.
constexpr qint64 handOver = qint64{16} * 1024;

} // namespace

Printer::Printer(qint64 capacity, QObject *parent) : Onward(parent), m_capacity(capacity) {}

qint64 Printer::flush(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (queued() > 0 && !deadline.hasExpired()) {
        writeMore();
        if (!waitForDevice(static_cast<int>(deadline.remainingTime())))
            break;
    }
    return queued();
}

qint64 Printer::send(const QByteArray &bytes)
{
    const qint64 taken = std::min<qint64>(bytes.size(), room());
    if (taken <= 0)
        return 0;
    if (m_head > 0 && m_head >= m_queue.size() / 2) {
        // Written bytes are dropped from the front in large steps, not one chunk at a time.
        m_queue.remove(0, static_cast<int>(m_head));
        m_head = 0;
    }
    m_queue.append(bytes.constData(), static_cast<int>(taken));
    m_roomShort = room() < m_capacity / 2;
    writeMore();
    return taken;
}

void Printer::endJob()
{
    m_jobEnds.push_back(m_written + queued());
    passJobEnds();
}

bool Printer::jobUnderway() const
{
    const qint64 jobLeft = m_jobEnds.empty() ? queued() : m_jobEnds.front() - m_written;
    return m_handed > 0 || jobLeft > 0;
}

void Printer::writeMore()
{
    qint64 unhanded = queued() - m_handed;
    if (jobsApart() && !m_jobEnds.empty())
        unhanded = std::min(unhanded, m_jobEnds.front() - m_written - m_handed);
    if (unhanded <= 0)
        return;
    if (!deviceReady()) {
        wantDevice();
        return;
    }
    const qint64 now = std::min(unhanded, handOver - m_handed);
    if (now <= 0)
        return;
    const qint64 written = writeToDevice(m_queue.constData() + m_head + m_handed, now);
    if (written > 0)
        m_handed += written;
}

void Printer::deviceWrote()
{
    // What the device still holds, rather than a count a signal gives: QSerialPort's count leaves
    // out what is written while the signal is being handled.
    const qint64 done = m_handed - std::min(m_handed, devicePending());
    m_handed -= done;
    m_head += done;
    m_written += done;
    if (m_head == m_queue.size()) {
        m_queue.clear();
        m_head = 0;
    }
    passJobEnds();
    // Not from inside the device's own signal: QSerialPort may write at once what it is given
    // there and never signal it, and the sender that roomAvailable() wakes writes too.
    if (!m_continuing) {
        m_continuing = true;
        QTimer::singleShot(0, this, &Printer::continueWriting);
    }
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
    while (!m_jobEnds.empty() && m_jobEnds.front() <= m_written) {
        m_jobEnds.pop_front();
        jobEndWritten();
        Q_EMIT jobWritten();
    }
}

void Printer::loseDevice(const QString &reason)
{
    close();
    Q_EMIT lost(reason);
}

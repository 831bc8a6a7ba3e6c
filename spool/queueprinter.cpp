#include "queueprinter.h"

#include "logging.h"

#include <QTimer>

#include <stdexcept>

namespace {

// What one pass of the event loop writes to the spooler at most, so that the window and the
// Device port are served between passes of a long job.
constexpr qint64 writeBudget = qint64{256} * 1024;

} // namespace

QueuePrinter::QueuePrinter(const QString &queueName, qint64 capacity, QObject *parent)
    : Printer(capacity, parent), m_name(QStringLiteral("queue:") + queueName), m_queue(queueName)
{
}

void QueuePrinter::open()
{
    m_queue.check();
    m_usable = true;
    wantDevice();
}

void QueuePrinter::close()
{
    m_usable = false;
    forgetHanded();
    // What has been written is a document of its own; the rest, if any, follows in the next.
    if (m_queue.jobOpen()) {
        try {
            m_queue.endJob();
        } catch (...) {
            qCWarning(lcTralvo, "Printer: %s: %s", qPrintable(m_name), currentFailure().c_str());
        }
    }
}

void QueuePrinter::wantDevice()
{
    if (!m_usable || m_scheduled)
        return;
    m_scheduled = true;
    QTimer::singleShot(0, this, &QueuePrinter::writeNow);
}

bool QueuePrinter::waitForDevice(int /*ms*/)
{
    const qint64 before = queued();
    writeNow();
    return queued() < before;
}

qint64 QueuePrinter::writeToDevice(const char *data, qint64 size)
{
    if (!m_queue.jobOpen())
        m_queue.beginJob();
    m_queue.write(data, size);
    return size;
}

void QueuePrinter::jobEndWritten()
{
    if (m_queue.jobOpen())
        m_queue.endJob();
}

void QueuePrinter::writeNow()
{
    m_scheduled = false;
    if (!m_usable)
        return;
    m_writing = true;
    qint64 budget = writeBudget;
    try {
        while (budget > 0 && queued() > 0) {
            const qint64 before = queued();
            writeMore();
            deviceWrote();
            if (queued() == before)
                break;
            budget -= before - queued();
        }
    } catch (...) {
        m_writing = false;
        fail(currentFailure().c_str());
        return;
    }
    m_writing = false;
    if (queued() > 0 && budget <= 0)
        wantDevice();
}

void QueuePrinter::fail(const char *what)
{
    // Whatever reached the spooler stays a document of its own if it can; nothing of it is
    // written again.
    if (m_queue.jobOpen()) {
        try {
            m_queue.endJob();
        } catch (...) {
            m_queue.abandonJob();
        }
    }
    loseDevice(QString::fromUtf8(what));
}

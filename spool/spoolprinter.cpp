#include "spoolprinter.h"

#include "logging.h"

#include <QTimer>

SpoolPrinter::SpoolPrinter(const QString &queueName, QObject *parent)
    : PrinterDevice(parent), m_name(QStringLiteral("queue:") + queueName), m_queue(queueName)
{
}

void SpoolPrinter::open()
{
    m_queue.check();
    m_usable = true;
}

void SpoolPrinter::close()
{
    m_usable = false;
    m_pending.clear();
    // What has been written is a document of its own; the rest, if any, follows in the next.
    if (m_queue.jobOpen()) {
        try {
            m_queue.endJob();
        } catch (...) {
            qCWarning(lcTralvo, "Printer: %s: %s", qPrintable(m_name), currentFailure().c_str());
        }
    }
}

qint64 SpoolPrinter::write(const char *data, qint64 size)
{
    if (!m_usable)
        return 0;
    m_pending.append(data, static_cast<int>(size));
    if (!m_scheduled) {
        m_scheduled = true;
        QTimer::singleShot(0, this, &SpoolPrinter::writeNow);
    }
    return size;
}

bool SpoolPrinter::waitForProgress(int /*ms*/)
{
    // The spooler's calls block anyway: the write is the progress.
    const bool had = !m_pending.isEmpty();
    writeNow();
    return had && m_pending.isEmpty();
}

void SpoolPrinter::writeNow()
{
    m_scheduled = false;
    if (!m_usable || m_pending.isEmpty())
        return;
    try {
        if (!m_queue.jobOpen())
            m_queue.beginJob();
        m_queue.write(m_pending.constData(), m_pending.size());
    } catch (...) {
        fail(QString::fromStdString(currentFailure()));
        return;
    }
    m_pending.clear();
    Q_EMIT wrote();
}

void SpoolPrinter::jobWritten()
{
    // Called from the printer's accounting, never to throw into it: a spooler that refuses to
    // complete the document is lost like one that refuses its bytes.
    try {
        if (m_queue.jobOpen())
            m_queue.endJob();
    } catch (...) {
        fail(QString::fromStdString(currentFailure()));
    }
}

void SpoolPrinter::fail(const QString &reason)
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
    m_usable = false;
    m_pending.clear();
    Q_EMIT lost(reason);
}

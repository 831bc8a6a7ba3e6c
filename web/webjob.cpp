#include "webjob.h"

#include <QTimer>

#include <utility>

WebJob::WebJob(WebJobOrder order, QString peer, QObject *parent)
    : ByteSource(parent), m_order(std::move(order)), m_peer(std::move(peer)), m_bytes(m_order.bytes)
{
}

QByteArray WebJob::read(qint64 maxBytes)
{
    const qint64 n = std::min(maxBytes, available());
    QByteArray bytes = m_bytes.mid(static_cast<int>(m_read), static_cast<int>(n));
    m_read += n;
    if (available() == 0)
        QTimer::singleShot(0, this, &WebJob::checkEnd);
    return bytes;
}

void WebJob::begin()
{
    raiseReceived();
    checkEnd();
}

void WebJob::checkEnd()
{
    if (m_finished || available() > 0)
        return;
    m_finished = true;
    Q_EMIT finished();
}

void WebJob::noteWritten()
{
    m_outcome.written = true;
    Q_EMIT completed();
}

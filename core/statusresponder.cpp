#include "statusresponder.h"

StatusResponder::StatusResponder(Onward *next, QObject *parent) : Onward(parent), m_next(next)
{
    if (m_next) {
        connect(m_next, &Onward::roomAvailable, this, &Onward::roomAvailable);
        connect(m_next, &Onward::jobWritten, this, &Onward::jobWritten);
    }
}

qint64 StatusResponder::send(const QByteArray &bytes)
{
    const qint64 taken = m_next ? m_next->send(bytes) : bytes.size();
    QByteArray requests;
    m_scanner.feed(bytes.constData(), static_cast<qsizetype>(taken), nullptr, &requests);
    if (!requests.isEmpty())
        Q_EMIT replied(QByteArray(requests.size(), onlineWithPaper));
    return taken;
}

void StatusResponder::waitForRoom()
{
    // With nowhere to pass bytes on, room never runs out.
    if (m_next)
        m_next->waitForRoom();
    else
        Q_EMIT roomAvailable();
}

void StatusResponder::endJob()
{
    if (m_next)
        m_next->endJob();
    else
        Q_EMIT jobWritten();
}

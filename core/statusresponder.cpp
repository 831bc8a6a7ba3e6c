#include "statusresponder.h"

qint64 StatusResponder::send(const QByteArray &bytes)
{
    QByteArray requests;
    m_scanner.feed(bytes.constData(), bytes.size(), nullptr, &requests);
    if (!requests.isEmpty())
        Q_EMIT replied(QByteArray(requests.size(), onlineWithPaper));
    return bytes.size();
}

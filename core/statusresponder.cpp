#include "statusresponder.h"

char StatusResponder::answer(int n)
{
    Q_UNUSED(n)
    return '\x12';
}

qint64 StatusResponder::send(const QByteArray &bytes)
{
    QByteArray requests;
    m_scanner.feed(bytes.constData(), bytes.size(), nullptr, &requests);
    if (!requests.isEmpty()) {
        QByteArray answers;
        for (const char n : std::as_const(requests))
            answers += answer(n);
        Q_EMIT replied(answers);
    }
    return bytes.size();
}

#include "bytesource.h"

#include <QTimer>

void ByteSource::raiseReceived()
{
    if (m_inHandler) {
        m_receivedPending = true;
        return;
    }
    m_inHandler = true;
    Q_EMIT received();
    m_inHandler = false;
    if (m_receivedPending) {
        m_receivedPending = false;
        QTimer::singleShot(0, this, [this] {
            if (receivedDue())
                raiseReceived();
        });
    }
}

#include "portretry.h"

#include "logging.h"
#include "statustext.h"

#include <utility>

PortRetry::PortRetry(const char *role, std::function<void()> openPort, QObject *parent)
    : QObject(parent), m_role(role), m_openPort(std::move(openPort))
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &PortRetry::attempt);
}

void PortRetry::start()
{
    if (m_timer.isActive())
        return;
    qCInfo(lcTralvo, "%s: trying the port again about once a second", m_role);
    m_failure.reset();
    m_timer.start();
}

void PortRetry::attempt()
{
    try {
        m_openPort();
    } catch (...) {
        std::string failure = currentFailure();
        if (m_failure && *m_failure != failure)
            qCWarning(lcTralvo, "%s: %s", m_role, failure.c_str());
        m_failure = std::move(failure);
        return;
    }
    m_timer.stop();
    qCInfo(lcTralvo, "%s: the port is open again", m_role);
    Q_EMIT opened();
}

void PortRetry::openOrRetry(StatusBoard &board, Field stateField)
{
    connect(this, &PortRetry::opened, &board,
            [&board, stateField] { board.setText(stateField, StatusText::openSuccess()); });
    try {
        m_openPort();
        board.setText(stateField, StatusText::openSuccess());
    } catch (...) {
        reportCurrentFailure(board, stateField, StatusText::openFailed());
        start();
    }
}

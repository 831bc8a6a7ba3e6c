#include "listenerintake.h"

#include <utility>

ListenerIntake::ListenerIntake(const char *role, Field stateField, const PathParts &parts,
                               std::function<void()> listen, std::function<void()> close,
                               QObject *parent)
    : QObject(parent), m_parts(parts), m_stateField(stateField), m_close(std::move(close)),
      m_retry(role, std::move(listen), this)
{
}

ListenerIntake::~ListenerIntake() = default;

void ListenerIntake::start()
{
    m_retry.openOrRetry(m_parts.board, m_stateField);
}

void ListenerIntake::stop()
{
    m_stopped = true;
    m_retry.stop();
    m_close();
}

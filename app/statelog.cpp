#include "statelog.h"

#include "logging.h"

StateLog::StateLog(StatusBoard &board, QObject *parent) : QObject(parent), m_board(board)
{
    connect(&m_board, &StatusBoard::textChanged, this, &StateLog::report);
}

void StateLog::report(Field field, const QString &text)
{
    if (!isStateField(field) || text.isEmpty())
        return;
    const QString line = QLatin1String(roleName(field)) + QLatin1String(": ") + text;
    if (m_board.isKeptHidden())
        qCInfo(lcTralvo, "%s", qPrintable(line));
    m_notifier.status(line);
}

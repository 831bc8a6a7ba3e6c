#pragma once

#include "servicenotifier.h"
#include "statusboard.h"

#include <QObject>

// The state fields for whoever cannot see the window: a hidden instance (a service, most often)
// logs every state it would have shown ("tralvo: Device: Open Success"), and a service manager
// gets each as its status line, then ready and stopping.
class StateLog : public QObject
{
    Q_OBJECT
public:
    explicit StateLog(StatusBoard &board, QObject *parent = nullptr);

    // Start-up has run.
    void ready() { m_notifier.ready(); }
    void stopping() { m_notifier.stopping(); }

private:
    void report(Field field, const QString &text);

    StatusBoard &m_board;
    ServiceNotifier m_notifier;
};

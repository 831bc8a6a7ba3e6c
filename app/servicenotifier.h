#pragma once

#include <QObject>
#include <QTimer>

// Speaks to a service manager that started the program as a notify service (systemd's
// Type=notify): ready once start-up has run, a status line for every state, and, when the
// manager asked for a watchdog, a ping from the event loop at half its interval. A drawer
// library call that never returns stops the pings, and the manager restarts the service. Does
// nothing outside such a service, or where the program was built without libsystemd.

class ServiceNotifier : public QObject
{
    Q_OBJECT
public:
    explicit ServiceNotifier(QObject *parent = nullptr);

    void ready();
    void status(const QString &line);
    void stopping();

private:
    QTimer m_watchdog;
};

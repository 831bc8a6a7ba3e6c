#pragma once

#include <QObject>

// Turns SIGTERM, SIGINT and SIGHUP into a queued Qt signal, so that a hidden instance (which has
// no window to close) still shuts down in order. Only one may exist at a time. Does nothing
// where the platform has no such signals.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    SignalWatcher(const SignalWatcher &) = delete;
    SignalWatcher &operator=(const SignalWatcher &) = delete;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readSignal();
};

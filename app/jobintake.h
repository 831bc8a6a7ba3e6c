#pragma once

#include "portretry.h"
#include "sourcepath.h"

#include <QObject>

#include <memory>

class NetworkJob;
class PrintListener;

// The network print port's side: the listener, its retry, and a path of its own for every job
// it takes, which goes with the job.
class JobIntake : public QObject
{
    Q_OBJECT
public:
    JobIntake(std::unique_ptr<PrintListener> listener, const PathParts &parts,
              QObject *parent = nullptr);
    ~JobIntake() override;

    // "127.0.0.1:9100", for the window.
    QString address() const;
    // Listens, or shows "Open Failed" and tries again about once a second.
    void start();
    // No more jobs are taken.
    void stop();

private:
    void takeJob(NetworkJob *job);

    PathParts m_parts;
    // Its jobs, children of it, go before the printer turns they hold.
    std::unique_ptr<PrintListener> m_listener;
    PortRetry m_retry;
    bool m_stopped = false;
};

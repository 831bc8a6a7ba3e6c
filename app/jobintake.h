#pragma once

#include "listenerintake.h"

#include <memory>

class NetworkJob;
class PrintListener;

// The network print port's side: the listener, and a path of its own for every job it takes,
// which goes with the job.
class JobIntake : public ListenerIntake
{
    Q_OBJECT
public:
    JobIntake(std::unique_ptr<PrintListener> listener, const PathParts &parts,
              QObject *parent = nullptr);
    ~JobIntake() override;

    // "127.0.0.1:9100", for the window.
    QString address() const;

private:
    void takeJob(NetworkJob *job);

    // Its jobs, children of it, go before the printer turns they hold.
    std::unique_ptr<PrintListener> m_listener;
};

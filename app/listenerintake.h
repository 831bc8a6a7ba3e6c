#pragma once

#include "portretry.h"
#include "sourcepath.h"

#include <QObject>

#include <functional>

// What the print port's side and the web door's share: a listener opened through a retry, a
// stop after which no job that still comes on an open connection is taken (takes()), and the
// parts each job's path is built from.
class ListenerIntake : public QObject
{
    Q_OBJECT
public:
    ~ListenerIntake() override;

    // Listens, or shows "Open Failed" and tries again about once a second.
    void start();
    // No more jobs are taken.
    void stop();

protected:
    // listen throws with the reason when the listener cannot be opened.
    ListenerIntake(const char *role, Field stateField, const PathParts &parts,
                   std::function<void()> listen, std::function<void()> close,
                   QObject *parent = nullptr);

    // Whether a job that has come is taken: false once stopped.
    bool takes() const { return !m_stopped; }
    const PathParts &parts() const { return m_parts; }
    Field stateField() const { return m_stateField; }

private:
    PathParts m_parts;
    Field m_stateField;
    std::function<void()> m_close;
    PortRetry m_retry;
    bool m_stopped = false;
};

#pragma once

#include "portretry.h"
#include "sourcepath.h"

#include <QObject>

#include <memory>

class WebDoor;
class WebJob;

// The web door's side: the door, its retry, and a path of its own for every request that prints
// or opens the drawer. A request for the drawer alone never waits for the printer.
class WebIntake : public QObject
{
    Q_OBJECT
public:
    WebIntake(std::unique_ptr<WebDoor> door, const PathParts &parts, QObject *parent = nullptr);
    ~WebIntake() override;

    QString address() const;
    // Listens, or shows "Open Failed" and tries again about once a second.
    void start();
    void stop();

private:
    void takeJob(WebJob *job);

    PathParts m_parts;
    std::unique_ptr<WebDoor> m_door;
    PortRetry m_retry;
};

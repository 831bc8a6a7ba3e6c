#pragma once

#include "listenerintake.h"

#include <memory>

class WebDoor;
class WebJob;

// The web door's side: the door, and a path of its own for every request that prints or opens
// the drawer. A request for the drawer alone never waits for the printer.
class WebIntake : public ListenerIntake
{
    Q_OBJECT
public:
    WebIntake(std::unique_ptr<WebDoor> door, const PathParts &parts, QObject *parent = nullptr);
    ~WebIntake() override;

    // Where the door listens for HTTP, or for HTTPS; empty for none.
    QString address(bool encrypted) const;

private:
    void takeJob(WebJob *job);

    std::unique_ptr<WebDoor> m_door;
};

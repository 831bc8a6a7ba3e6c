#include "webintake.h"

#include "webdoor.h"
#include "webjob.h"

WebIntake::WebIntake(std::unique_ptr<WebDoor> door, const PathParts &parts, QObject *parent)
    : ListenerIntake(
          "Web", Field::WebState, parts, [this] { m_door->listen(); }, [this] { m_door->close(); },
          parent),
      m_door(std::move(door))
{
    connect(m_door.get(), &WebDoor::jobArrived, this, &WebIntake::takeJob);
}

WebIntake::~WebIntake() = default;

QString WebIntake::address(bool encrypted) const
{
    return m_door->addressText(encrypted);
}

void WebIntake::takeJob(WebJob *job)
{
    // Stopped: no path, so nothing is done, and its connection answers it at its timeout.
    if (!takes())
        return;
    PathParts webParts = parts();
    if (!job->order().prints)
        webParts.turns = nullptr;
    auto *path = new SourcePath(*job, SourcePath::Kind::Request, stateField(), webParts, job);
    connect(job, &WebJob::finished, path, &SourcePath::endJob);
    connect(path, &SourcePath::jobWritten, job, &WebJob::noteWritten);
    connect(&path->receiver(), &Receiver::pulsed, job, &WebJob::notePulse);
}

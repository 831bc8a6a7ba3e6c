#include "webintake.h"

#include "webdoor.h"
#include "webjob.h"

WebIntake::WebIntake(std::unique_ptr<WebDoor> door, const PathParts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_door(std::move(door)),
      m_retry(
          "Web", [this] { m_door->listen(); }, this)
{
    connect(m_door.get(), &WebDoor::jobArrived, this, &WebIntake::takeJob);
}

WebIntake::~WebIntake() = default;

QString WebIntake::address() const
{
    return m_door->address().text();
}

void WebIntake::start()
{
    m_retry.openOrRetry(m_parts.board, Field::WebState);
}

void WebIntake::stop()
{
    m_retry.stop();
    m_door->close();
}

void WebIntake::takeJob(WebJob *job)
{
    PathParts parts = m_parts;
    if (!job->order().prints)
        parts.turns = nullptr;
    auto *path = new SourcePath(*job, SourcePath::Kind::Request, Field::WebState, parts, job);
    connect(job, &WebJob::finished, path, &SourcePath::endJob);
    connect(path, &SourcePath::jobWritten, job, &WebJob::noteWritten);
    connect(&path->receiver(), &Receiver::pulsed, job, &WebJob::notePulse);
}

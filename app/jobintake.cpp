#include "jobintake.h"

#include "networkjob.h"
#include "printlistener.h"

JobIntake::JobIntake(std::unique_ptr<PrintListener> listener, const PathParts &parts,
                     QObject *parent)
    : ListenerIntake(
          "Network", Field::NetworkState, parts, [this] { m_listener->listen(); },
          [this] { m_listener->close(); }, parent),
      m_listener(std::move(listener))
{
    connect(m_listener.get(), &PrintListener::jobArrived, this, &JobIntake::takeJob);
}

JobIntake::~JobIntake() = default;

QString JobIntake::address() const
{
    return m_listener->address().text();
}

// The client hears the printer's replies until the job has been written, and then the
// connection closes: a print system's socket backend calls the job done at that close.
void JobIntake::takeJob(NetworkJob *job)
{
    if (!takes()) {
        job->deleteLater();
        return;
    }
    auto *path = new SourcePath(*job, SourcePath::Kind::Job, stateField(), parts(), job);
    connect(path, &SourcePath::replied, job, &NetworkJob::reply);
    connect(job, &NetworkJob::finished, path, &SourcePath::endJob);
    connect(path, &SourcePath::jobWritten, job, &NetworkJob::end);
}

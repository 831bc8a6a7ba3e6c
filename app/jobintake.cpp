#include "jobintake.h"

#include "networkjob.h"
#include "printlistener.h"

JobIntake::JobIntake(std::unique_ptr<PrintListener> listener, const PathParts &parts,
                     QObject *parent)
    : QObject(parent), m_parts(parts), m_listener(std::move(listener)),
      m_retry(
          "Network", [this] { m_listener->listen(); }, this)
{
    connect(m_listener.get(), &PrintListener::jobArrived, this, &JobIntake::takeJob);
}

JobIntake::~JobIntake() = default;

QString JobIntake::address() const
{
    return m_listener->address().text();
}

void JobIntake::start()
{
    m_retry.openOrRetry(m_parts.board, Field::NetworkState);
}

void JobIntake::stop()
{
    m_stopped = true;
    m_retry.stop();
    m_listener->close();
}

// The client hears the printer's replies until the job has been written, and then the
// connection closes: a print system's socket backend calls the job done at that close.
void JobIntake::takeJob(NetworkJob *job)
{
    if (m_stopped) {
        job->deleteLater();
        return;
    }
    auto *path = new SourcePath(*job, SourcePath::Kind::Job, Field::NetworkState, m_parts, job);
    connect(path, &SourcePath::replied, job, &NetworkJob::reply);
    connect(job, &NetworkJob::finished, path, &SourcePath::endJob);
    connect(path, &SourcePath::jobWritten, job, &NetworkJob::end);
}

#include "printqueue.h"

#include <stdexcept>
#include <utility>

// A build without a print system's library: a queue is named, and refused with that reason.
struct PrintQueue::Binding
{
};

PrintQueue::PrintQueue(QString name) : m_name(std::move(name)) {}

PrintQueue::~PrintQueue() = default;

void PrintQueue::check()
{
    throw std::runtime_error("this build of Tralvo has no print queues (built without libcups)");
}

bool PrintQueue::jobOpen() const
{
    return false;
}

void PrintQueue::beginJob()
{
    check();
}

void PrintQueue::write(const char * /*data*/, qint64 /*size*/) {}

void PrintQueue::endJob() {}

void PrintQueue::abandonJob() {}

QStringList PrintQueue::list()
{
    return {};
}

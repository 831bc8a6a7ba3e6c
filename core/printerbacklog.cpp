#include "printerbacklog.h"

qint64 PrinterBacklog::firstJobLeft() const
{
    return m_jobEnds.empty() ? size() : m_jobEnds.front() - m_written;
}

void PrinterBacklog::append(const char *data, qint64 size)
{
    if (m_head > 0 && m_head >= m_bytes.size() / 2) {
        // Written bytes are dropped from the front in large steps, not one chunk at a time.
        m_bytes.remove(0, static_cast<int>(m_head));
        m_head = 0;
    }
    m_bytes.append(data, static_cast<int>(size));
}

void PrinterBacklog::drop(qint64 size)
{
    m_head += size;
    m_written += size;
    if (m_head == m_bytes.size()) {
        m_bytes.clear();
        m_head = 0;
    }
}

void PrinterBacklog::endJob()
{
    m_jobEnds.push_back(m_written + size());
}

bool PrinterBacklog::takeWrittenJob()
{
    if (m_jobEnds.empty() || m_jobEnds.front() > m_written)
        return false;
    m_jobEnds.pop_front();
    return true;
}

#pragma once

#include <QByteArray>

#include <deque>

// The printer's bytes not yet written, in order, and where the jobs among them end. A plain
// queue: what is written is dropped from the front, and a job whose last byte has gone is
// taken off with takeWrittenJob().
class PrinterBacklog
{
public:
    qint64 size() const { return m_bytes.size() - m_head; }
    bool isEmpty() const { return size() == 0; }
    // The bytes from offset on (offset < size()).
    const char *at(qint64 offset) const { return m_bytes.constData() + m_head + offset; }
    // Of the bytes not yet written, those up to the end of the first job (all while no job has
    // ended).
    qint64 firstJobLeft() const;

    void append(const char *data, qint64 size);
    // The first `size` bytes have been written.
    void drop(qint64 size);
    // A job ends after the last byte appended so far.
    void endJob();
    // Whether a job's last byte has been written; that job end is then taken off.
    bool takeWrittenJob();

private:
    QByteArray m_bytes; // from m_head on
    qint64 m_head = 0;
    qint64 m_written = 0;         // bytes ever written, to place the job ends
    std::deque<qint64> m_jobEnds; // in bytes ever appended
};

#pragma once

#include "commcontrol.h"

#include <QStringList>

#include <functional>
#include <set>

// A scripted comm control: it records every property written, holds the bytes it is given
// (dropping them when it opens, as the real control does), raises events on request, and fails
// any property it is told to.
class FakeCommControl : public CommControl
{
    Q_OBJECT
public:
    enum class Property {
        CommPort,
        Settings,
        PortOpen,
        Output,
        Reply,
        Available,
        Read,
    };

    using CommControl::CommControl;

    // Every later read or write of the property throws CommError, until clearFailures().
    void failAt(Property property) { m_failing.insert(property); }
    void clearFailures() { m_failing.clear(); }

    // Bytes that wait in the port as if they had been received; opening the port drops them.
    void hold(const QByteArray &bytes) { m_waiting += bytes; }
    QByteArray waiting() const { return m_waiting; }

    // Raises the receive event.
    void raise() { Q_EMIT received(); }
    // The port breaks: it is closed and says why.
    void lose(const QString &reason);

    // Successful writes as "Name=value", in order.
    QStringList log() const { return m_log; }
    QByteArray written() const { return m_written; }
    int reads() const { return m_reads; }
    // The largest read asked for.
    qint64 largestRead() const { return m_largestRead; }

    // Called after every read(); lets a test act in the middle of a drain.
    std::function<void()> afterRead;

    void setCommPort(qint16 port) override;
    void setSettings(const QString &settings) override;
    void setPortOpen(bool open) override;
    void setOutput(const QByteArray &data) override;
    // Held in written(), as if the port never took any of it, within replyBound.
    void writeReply(const QByteArray &bytes) override;

    bool portOpen() const override;
    qint64 available() const override;
    QByteArray read(qint64 maxBytes) override;

private:
    void check(Property property) const;
    void record(const char *name, const QString &value);

    std::set<Property> m_failing;
    QStringList m_log;
    QByteArray m_waiting;
    QByteArray m_written;
    bool m_open = false;
    int m_reads = 0;
    qint64 m_largestRead = 0;
};

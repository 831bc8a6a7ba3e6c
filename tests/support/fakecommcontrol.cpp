#include "fakecommcontrol.h"

#include <algorithm>

void FakeCommControl::check(Property property) const
{
    if (m_failing.count(property) != 0)
        throw CommError("scripted failure");
}

void FakeCommControl::record(const char *name, const QString &value)
{
    m_log << QLatin1String(name) + QLatin1Char('=') + value;
}

void FakeCommControl::lose(const QString &reason)
{
    m_open = false;
    m_waiting.clear();
    Q_EMIT lost(reason);
}

void FakeCommControl::setCommPort(qint16 port)
{
    check(Property::CommPort);
    record("CommPort", QString::number(port));
}

void FakeCommControl::setSettings(const QString &settings)
{
    check(Property::Settings);
    record("Settings", settings);
}

void FakeCommControl::setPortOpen(bool open)
{
    check(Property::PortOpen);
    if (open && m_open)
        throw CommError("port already open");
    // As the real control: a port starts empty when it opens.
    if (open)
        m_waiting.clear();
    m_open = open;
    record("PortOpen", open ? QStringLiteral("true") : QStringLiteral("false"));
}

void FakeCommControl::setOutput(const QByteArray &data)
{
    check(Property::Output);
    if (!m_open)
        throw CommError("port not open");
    m_written += data;
    record("Output", QString::fromLatin1(data.toHex()));
}

void FakeCommControl::writeReply(const QByteArray &bytes)
{
    check(Property::Reply);
    if (!m_open)
        throw CommError("port not open");
    const auto taken =
        static_cast<ByteCount>(std::clamp<qint64>(replyBound - m_written.size(), 0, bytes.size()));
    m_written += bytes.left(taken);
    record("Reply", QString::fromLatin1(bytes.left(taken).toHex()));
    if (taken < bytes.size())
        throw CommError("reply dropped past the bound");
}

bool FakeCommControl::portOpen() const
{
    return m_open;
}

qint64 FakeCommControl::available() const
{
    check(Property::Available);
    if (!m_open)
        throw CommError("port not open");
    return m_waiting.size();
}

QByteArray FakeCommControl::read(qint64 maxBytes)
{
    check(Property::Read);
    if (!m_open)
        throw CommError("port not open");
    m_largestRead = std::max(m_largestRead, maxBytes);
    const auto n = static_cast<ByteCount>(std::min<qint64>(maxBytes, m_waiting.size()));
    QByteArray out = m_waiting.left(n);
    m_waiting.remove(0, n);
    ++m_reads;
    if (afterRead)
        afterRead();
    return out;
}

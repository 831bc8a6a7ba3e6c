#include "fakecommcontrol.h"

#include <algorithm>
#include <limits>

void FakeCommControl::check(Property property) const
{
    if (m_failing.count(property) != 0)
        throw CommError("scripted failure");
}

void FakeCommControl::record(const char *name, const QString &value)
{
    m_log << QLatin1String(name) + QLatin1Char('=') + value;
}

void FakeCommControl::raise(qint16 event)
{
    m_commEvent = event;
    Q_EMIT onComm();
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

void FakeCommControl::setSThreshold(qint16 threshold)
{
    check(Property::SThreshold);
    record("SThreshold", QString::number(threshold));
}

void FakeCommControl::setRThreshold(qint16 threshold)
{
    check(Property::RThreshold);
    record("RThreshold", QString::number(threshold));
}

void FakeCommControl::setRTSEnable(bool enable)
{
    check(Property::RTSEnable);
    record("RTSEnable", enable ? QStringLiteral("true") : QStringLiteral("false"));
}

void FakeCommControl::setHandshaking(qint32 handshaking)
{
    check(Property::Handshaking);
    record("Handshaking", QString::number(handshaking));
}

void FakeCommControl::setInBufferSize(qint16 size)
{
    check(Property::InBufferSize);
    record("InBufferSize", QString::number(size));
}

void FakeCommControl::setInputLen(qint16 length)
{
    check(Property::InputLen);
    m_inputLen = length;
    record("InputLen", QString::number(length));
}

void FakeCommControl::setInputMode(qint32 mode)
{
    check(Property::InputMode);
    record("InputMode", QString::number(mode));
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

bool FakeCommControl::portOpen() const
{
    return m_open;
}

qint16 FakeCommControl::commEvent() const
{
    check(Property::CommEvent);
    return m_commEvent;
}

qint16 FakeCommControl::inBufferCount() const
{
    check(Property::InBufferCount);
    if (!m_open)
        throw CommError("port not open");
    return static_cast<qint16>(
        std::min<qsizetype>(m_waiting.size(), std::numeric_limits<qint16>::max()));
}

QByteArray FakeCommControl::input()
{
    check(Property::Input);
    if (!m_open)
        throw CommError("port not open");
    const ByteCount n =
        m_inputLen > 0 ? std::min<ByteCount>(m_inputLen, m_waiting.size()) : m_waiting.size();
    QByteArray out = m_waiting.left(n);
    m_waiting.remove(0, n);
    ++m_inputReads;
    if (afterInput)
        afterInput();
    return out;
}

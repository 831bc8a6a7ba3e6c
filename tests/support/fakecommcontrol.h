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
        SThreshold,
        RThreshold,
        RTSEnable,
        Handshaking,
        InBufferSize,
        InputLen,
        InputMode,
        PortOpen,
        Output,
        CommEvent,
        InBufferCount,
        Input,
    };

    using CommControl::CommControl;

    // Every later read or write of the property throws CommError, until clearFailures().
    void failAt(Property property) { m_failing.insert(property); }
    void clearFailures() { m_failing.clear(); }

    // Bytes that wait in the port as if they had been received; opening the port drops them.
    void hold(const QByteArray &bytes) { m_waiting += bytes; }
    QByteArray waiting() const { return m_waiting; }

    // Raises the communication event with the given CommEvent value.
    void raise(qint16 event = comEvReceive);

    // Successful writes as "Name=value", in order.
    QStringList log() const { return m_log; }
    QByteArray written() const { return m_written; }
    int inputReads() const { return m_inputReads; }

    // Called after every input() read; lets a test act in the middle of a drain.
    std::function<void()> afterInput;

    void setCommPort(qint16 port) override;
    void setSettings(const QString &settings) override;
    void setSThreshold(qint16 threshold) override;
    void setRThreshold(qint16 threshold) override;
    void setRTSEnable(bool enable) override;
    void setHandshaking(qint32 handshaking) override;
    void setInBufferSize(qint16 size) override;
    void setInputLen(qint16 length) override;
    void setInputMode(qint32 mode) override;
    void setPortOpen(bool open) override;
    void setOutput(const QByteArray &data) override;

    bool portOpen() const override;
    qint16 commEvent() const override;
    qint16 inBufferCount() const override;
    QByteArray input() override;

private:
    void check(Property property) const;
    void record(const char *name, const QString &value);

    std::set<Property> m_failing;
    QStringList m_log;
    QByteArray m_waiting;
    QByteArray m_written;
    qint16 m_inputLen = 0;
    qint16 m_commEvent = NoEvent;
    bool m_open = false;
    int m_inputReads = 0;
};

#pragma once

#include "portretry.h"
#include "sourcepath.h"

#include <QObject>

class CommControl;

// The Device port's side: the port, its retry, and the path of its bytes. A port that could not
// be opened at start, or was lost, is set up again about once a second until it opens; the
// printer's replies are written back to it without holding up the event loop.
class DeviceLine : public QObject
{
    Q_OBJECT
public:
    DeviceLine(CommControl &port, const PathParts &parts, QObject *parent = nullptr);

    // After start-up: a port that failed to open is tried again.
    void startRetry() { m_retry.start(); }
    // No pulse after this: later events go unheard, and a drain still running finds its port
    // closed at its next read.
    void stop();

private:
    void portLost();
    void portOpened();
    void writeReply(const QByteArray &bytes);

    CommControl &m_port;
    StatusBoard &m_board;
    SourcePath m_path;
    PortRetry m_retry;
    bool m_stopped = false;
};

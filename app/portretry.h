#pragma once

#include "statusboard.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

// Sets a port up again about once a second until it opens, for a port that could not be opened
// or was lost. Nothing runs while the port is open. The log gets one line when the retries begin,
// a line only when the reason for failing changes (never one a second), and one when the port is
// open again; the first failure's reason is the caller's to log, or openOrRetry()'s.
class PortRetry : public QObject
{
    Q_OBJECT
public:
    // openPort throws with the reason when the port cannot be set up.
    PortRetry(const char *role, std::function<void()> openPort, QObject *parent = nullptr);

    void start();
    void stop() { m_timer.stop(); }
    // Opens the port now: "Open Success" in stateField, or "Open Failed" with the reason in the
    // log and the retries started. A port the retry opens later shows "Open Success" too.
    void openOrRetry(StatusBoard &board, Field stateField);

    static constexpr int intervalMs = 1000;

Q_SIGNALS:
    void opened();

private:
    void attempt();

    const char *m_role;
    std::function<void()> m_openPort;
    QTimer m_timer;
    // The reason the last attempt failed; empty before the first one.
    std::optional<std::string> m_failure;
};

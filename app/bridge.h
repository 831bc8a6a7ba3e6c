#pragma once

#include "receivehandler.h"
#include "startoptions.h"
#include "statusview.h"

#include <QObject>
#include <QTimer>

#include <optional>
#include <string>

class CommControl;
class DrawerLibrary;
class StatusWindow;

// Joins the window, the two ports and the drawer library: start-up on load, the receive handler
// on the Device port's events, the test request on Request, and shutdown when the window goes.
// A Device port that could not be opened, or was lost, is set up again about once a second
// until it opens.
class Bridge : public QObject
{
    Q_OBJECT
public:
    Bridge(StatusWindow &window, CommControl &devicePort, CommControl &testPort,
           DrawerLibrary &library, QObject *parent = nullptr);

    void load(const QString &argumentText);
    // Shutdown; runs once, however the program is ended.
    void unload();
    // Ends the program from outside (a signal): shutdown, then the event loop stops.
    void quit();

    bool isUnloaded() const { return m_unloaded; }

    // How often a missing or lost Device port is set up again.
    static constexpr int retryIntervalMs = 1000;

Q_SIGNALS:
    // A state field got a text, as "Device: Open Success" or "Test: Open Failed".
    void stateChanged(const QString &line);

private:
    void drainInput();
    void reportState(Field field, const QString &text);
    void sendTestRequest();
    void startRetrying();
    void retryDevicePort();

    StatusWindow &m_window;
    CommControl &m_devicePort;
    CommControl &m_testPort;
    DrawerLibrary &m_library;
    StartOptions m_options;
    EventPump m_pump;
    QTimer m_retry;
    // The reason the last retry failed; empty before the first retry.
    std::optional<std::string> m_retryFailure;
    bool m_unloaded = false;
};

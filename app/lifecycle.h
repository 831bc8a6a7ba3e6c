#pragma once

#include "portretry.h"
#include "startoptions.h"

#include <QObject>

class CommControl;
class DeviceLine;
class JobIntake;
class Printer;
class StateLog;
class StatusBoard;
class StatusWindow;
class WebIntake;

// A run's start and end: start-up on load (the Device port, then the printer and the print port
// and the web door with their retries), and the one shutdown that every way of ending reaches: the
// window closed, SIGTERM, the session's end, the end of the event loop.
class Lifecycle : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        StatusBoard &board;
        StatusWindow &window;
        CommControl &devicePort;
        CommControl &testPort;
        StartOptions &options;
        DeviceLine &deviceLine;
        StateLog &stateLog;
        Printer *printer;  // none: no pass-through
        JobIntake *intake; // none: no print port
        WebIntake *web;    // none: no web door
    };

    explicit Lifecycle(const Parts &parts, QObject *parent = nullptr);

    void load(const QString &argumentText);
    // Shutdown; runs once, however the program is ended.
    void unload();
    // Ends the program from outside (a signal): shutdown, then the event loop stops.
    void quit();

    bool isUnloaded() const { return m_unloaded; }

private:
    void startPrinterLine();
    void printerLost(const QString &reason);
    void flushPrinter();

    Parts m_parts;
    PortRetry m_printerRetry;
    bool m_unloaded = false;
};

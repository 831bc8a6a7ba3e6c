#pragma once

#include "startoptions.h"
#include "statusview.h"

#include <QObject>

class CommControl;
class DrawerLibrary;
class Start;

// Joins the window, the two ports and the drawer library: start-up on load, the receive handler
// on the Device port's events, the test request on Request, and shutdown when the window goes.
class Tralvo : public QObject
{
    Q_OBJECT
public:
    Tralvo(Start &window, CommControl &mscomm1, CommControl &mscomm2, DrawerLibrary &library,
           QObject *parent = nullptr);

    void load(const QString &argumentText);
    // Shutdown; runs once, however the program is ended.
    void unload();
    // Ends the program from outside (a signal): shutdown, then the event loop stops.
    void quit();

    bool isUnloaded() const { return m_unloaded; }

private:
    void drainInput();
    void reportState(Field field, const QString &text) const;
    void sendTestRequest();

    Start &m_window;
    CommControl &m_mscomm1;
    CommControl &m_mscomm2;
    DrawerLibrary &m_library;
    StartOptions m_options;
    bool m_unloaded = false;
};

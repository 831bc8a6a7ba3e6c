#pragma once

#include "deviceline.h"
#include "kickdrawer.h"
#include "lifecycle.h"
#include "printer.h"
#include "printlistener.h"
#include "runconfig.h"
#include "startoptions.h"
#include "statelog.h"
#include "webdoor.h"

#include <QObject>

#include <memory>

class CommControl;
class DrawerLibrary;
class JobIntake;
class WebIntake;
class PrinterTurns;
class StatusBoard;
class StatusWindow;

// The program, put together once from a run's configuration and the objects made for it: the
// Device line, the print port's and the web door's intakes and the printer's turns, the
// lifecycle, the state log,
// and the test request on Request. Nothing is rebuilt after construction.
class Wiring : public QObject
{
    Q_OBJECT
public:
    struct Devices
    {
        StatusWindow &window;
        CommControl &devicePort;
        CommControl &testPort;
        DrawerLibrary &library;
        std::unique_ptr<Printer> printer;        // none: no pass-through
        std::unique_ptr<PrintListener> listener; // none: no print port
        std::unique_ptr<WebDoor> webDoor;        // none: no web door
    };

    Wiring(const RunConfig &run, StatusBoard &board, Devices devices, QObject *parent = nullptr);
    ~Wiring() override;

    Lifecycle &lifecycle() { return m_lifecycle; }
    StateLog &stateLog() { return m_stateLog; }

private:
    PathParts pathParts(StatusBoard &board);

    const RunConfig m_run;
    StartOptions m_options;
    LibraryDrawer m_drawer;
    std::unique_ptr<Printer> m_printer;
    std::unique_ptr<PrinterTurns> m_turns;
    StateLog m_stateLog;
    DeviceLine m_deviceLine;
    // Its jobs go before the printer turns they hold.
    std::unique_ptr<JobIntake> m_intake;
    std::unique_ptr<WebIntake> m_web;
    Lifecycle m_lifecycle;
};

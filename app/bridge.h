#pragma once

#include "kickdrawer.h"
#include "matchmode.h"
#include "portretry.h"
#include "receiver.h"
#include "startoptions.h"
#include "statusboard.h"

#include <QObject>

#include <functional>
#include <memory>

class CommControl;
class DrawerLibrary;
class NetworkJob;
class PrinterGate;
class Printer;
class PrinterTurns;
class PrintListener;
class StatusResponder;
class StatusWindow;

// Joins the window, the ports and the drawer library: start-up on load, the Device port's
// receiver, the test request on Request, and shutdown when the window goes. A Device port that
// could not be opened, or was lost, is set up again about once a second until it opens. In the
// printer line the receiver hands the Device port's bytes on to the printer, and the printer's
// replies come back to the Device port.
class Bridge : public QObject
{
    Q_OBJECT
public:
    Bridge(StatusBoard &board, StatusWindow &window, CommControl &devicePort, CommControl &testPort,
           DrawerLibrary &library, QObject *parent = nullptr);
    ~Bridge() override;

    // Before load(): how kicks are found, the printer the bytes pass on to, and the network
    // print port (none: null).
    void setPrinterLine(MatchMode mode, Printer *printer, PrintListener *listener = nullptr);

    void load(const QString &argumentText);
    // Shutdown; runs once, however the program is ended.
    void unload();
    // Ends the program from outside (a signal): shutdown, then the event loop stops.
    void quit();

    bool isUnloaded() const { return m_unloaded; }

    // How long shutdown waits for the printer to take what is still queued for it.
    static constexpr int printerFlushMs = 2000;
    // How long the Device port's input must pause for its job at the printer to end, so that a
    // network job may have the printer, and a network printer's connection closes.
    static constexpr int devicePauseMs = 1000;

Q_SIGNALS:
    // A state field got a text, as "Device: Open Success" or "Test: Open Failed".
    void stateChanged(const QString &line);

private:
    void reportState(Field field, const QString &text);
    void sendTestRequest();
    void devicePortOpened();
    void devicePortLost();
    void printerLost(const QString &reason);
    void passReplyBack(const QByteArray &bytes);
    // Opens with open(); a failure shows "Open Failed" and starts the retry.
    void openWithRetry(Field stateField, PortRetry &retry, const std::function<void()> &open);
    void takeJob(NetworkJob *job);

    StatusBoard &m_board;
    StatusWindow &m_window;
    CommControl &m_devicePort;
    CommControl &m_testPort;
    DrawerLibrary &m_library;
    StartOptions m_options;
    LibraryDrawer m_drawer{m_options, m_library, m_board};
    MatchMode m_match = MatchMode::Start;
    Printer *m_printer = nullptr;
    PrintListener *m_listener = nullptr;
    // With a printer, the sources take turns at it, a job at a time.
    std::unique_ptr<PrinterTurns> m_turns;
    std::unique_ptr<PrinterGate> m_deviceGate;
    // A printer that cannot answer status requests (a print queue): Tralvo answers them.
    std::unique_ptr<StatusResponder> m_deviceResponder;
    std::unique_ptr<Receiver> m_receiver;
    PortRetry m_deviceRetry;
    PortRetry m_printerRetry;
    PortRetry m_listenRetry;
    bool m_unloaded = false;
};

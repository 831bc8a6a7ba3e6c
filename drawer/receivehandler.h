#pragma once

#include <QByteArray>

#include <functional>

class CommControl;
class DrawerLibrary;
class StatusView;
struct StartOptions;

// What the receive handler needs of the window's event loop.
struct EventPump
{
    // Processes all pending window events once.
    std::function<void()> processEvents;
    // Runs the window until ready() holds or timeoutMs has passed, sleeping between events.
    std::function<void(const std::function<bool()> &ready, int timeoutMs)> waitUntil;

    // The application's own event loop; tests give a pump of their own.
    static EventPump applicationLoop();
};

// How long a drain that has taken only the opening of a drawer command (ESC) waits for the next
// byte: a USB adapter's 16 ms latency timer, or two characters at 9600 baud, fit well within it.
constexpr int commandOpeningWaitMs = 20;

// True when a byte waits on the Device port. A transport cuts a command wherever its chunk ends
// (a USB adapter's latency timer, a UART's FIFO timeout), so a text whose opening is only a
// command's opening (ESC) is given up to commandOpeningWaitMs for its next byte; any other text
// is decided at once.
bool moreToCome(CommControl &devicePort, const QByteArray &opening, const EventPump &pump);

// The Device port's communication event: drains the waiting bytes one at a time, letting the
// window run between bytes, and pulses the drawer when they begin with a drawer command. A drain
// that has taken only a command's opening waits up to commandOpeningWaitMs for the rest before
// it decides. The outcome goes to the Device state field; a failing step gives "Receive Failed",
// and its reason goes to the log.
void DrainInput(CommControl &devicePort, StatusView &view, const StartOptions &options,
                DrawerLibrary &library, const EventPump &pump);

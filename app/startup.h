#pragma once

#include "startoptions.h"

class CommControl;
class StatusBoard;

// How start-up ended.
enum class StartOutcome {
    Opened,        // the Device port is open
    PortFailed,    // the port could not be set up or opened: it may yet appear or come free
    OptionsFailed, // the command line is unusable: nothing about it can change
};

// The window's Load: reads the options, hides the window if asked, writes the fixed port and
// baud fields, and opens the Device port. Any failing step leaves "Open Failed" in the Device
// state field and its reason in the log; steps already done stay done.
StartOutcome StartUp(const QString &argumentText, StartOptions &options, StatusBoard &board,
                     CommControl &devicePort);

// The window's Unload: closes whichever port is open. A failure ends it silently.
void ShutDown(CommControl &devicePort, CommControl &testPort);

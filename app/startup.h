#pragma once

#include "startoptions.h"

class CommControl;
class StatusView;

// The window's Load: reads the options, hides the window if asked, writes the fixed port and
// baud fields, and opens the Device port. Any failing step leaves "Open Failed" in the Device
// state field; steps already done stay done.
void StartUp(const QString &argumentText, StartOptions &options, StatusView &view,
             CommControl &mscomm1);

// The window's Unload: closes whichever port is open. A failure ends it silently.
void ShutDown(CommControl &mscomm1, CommControl &mscomm2);

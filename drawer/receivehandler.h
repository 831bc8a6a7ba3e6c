#pragma once

#include <functional>

class CommControl;
class DrawerLibrary;
class StatusView;
struct StartOptions;

// Processes all pending window events once.
using EventPump = std::function<void()>;

// The Device port's communication event: drains the waiting bytes one at a time, letting the
// window run between bytes, and pulses the drawer when they begin with a drawer command. The
// outcome goes to the Device state field; a failing step gives "Receive Failed".
void DrainInput(CommControl &mscomm1, StatusView &view, const StartOptions &options,
                DrawerLibrary &library, const EventPump &processEvents);

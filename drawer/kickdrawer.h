#pragma once

#include "drawerlibrary.h"

class StatusBoard;
enum class Field;
struct StartOptions;

// Pulses the drawer once with the profile that ProfileField selects (0: profile 0, any other
// number: profile 1) and returns the library's result. Throws when ProfileField is no number or
// the library cannot be bound.
qint32 KickDrawer(const StartOptions &options, DrawerLibrary &library);

// KickDrawer, then the outcome in the state field of the source that asked: "Receive Success"
// for 0, else "Receive Failed" with the result in the log; true for 0. Throws as KickDrawer does.
bool kickAndShow(const StartOptions &options, DrawerLibrary &library, StatusBoard &board,
                 Field stateField);

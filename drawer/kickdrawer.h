#pragma once

#include "drawer.h"
#include "drawerlibrary.h"

class StatusBoard;
struct StartOptions;

// The profiles KickDrawer hands the library.
const GpioProfile &gpioProfile0();
const GpioProfile &gpioProfile1();

// Pulses the drawer once with the profile that ProfileField selects (0: profile 0, any other
// number: profile 1) and returns the library's result. Throws when ProfileField is no number or
// the library cannot be bound.
qint32 KickDrawer(const StartOptions &options, DrawerLibrary &library);

// KickDrawer, then the outcome in the state field of the source that asked: "Receive Success"
// for 0, else "Receive Failed" with the result in the log; true for 0. Throws as KickDrawer does.
bool kickAndShow(const StartOptions &options, DrawerLibrary &library, StatusBoard &board,
                 Field stateField);

// The drawer the library pulses, as the receivers use it.
class LibraryDrawer : public Drawer
{
public:
    LibraryDrawer(const StartOptions &options, DrawerLibrary &library, StatusBoard &board)
        : m_options(options), m_library(library), m_board(board)
    {
    }
    bool kickAndShow(Field stateField) override
    {
        return ::kickAndShow(m_options, m_library, m_board, stateField);
    }

private:
    const StartOptions &m_options;
    DrawerLibrary &m_library;
    StatusBoard &m_board;
};

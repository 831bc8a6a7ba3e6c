#pragma once

#include <QString>

// The system location of serial port number n: "COMn" on Windows; on other systems
// "$TRALVO_COMDIR/comn" when that folder is set, else /dev/ttyS(n-1).
QString portLocation(int portNumber);

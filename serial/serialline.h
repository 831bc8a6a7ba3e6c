#pragma once

#include "linesettings.h"

class QSerialPort;

// Sets the port's baud rate, data bits, parity, stop bits and flow control; false when it
// refuses one (its errorString() says why). The one place line settings meet QSerialPort.
bool applyLineSettings(QSerialPort &port, const LineSettings &settings);

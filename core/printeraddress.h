#pragma once

#include "linesettings.h"

#include <QString>

#include <optional>

// Where the receipt printer is and how its line is set: "PORT[:SETTINGS]", PORT being COMn (on
// Linux also a device path such as /dev/ttyUSB0 or /dev/usb/lp0) and SETTINGS the line's
// "baud,parity,data,stop[,flow]". Without SETTINGS the line is 9600,N,8,1 with no flow control.
struct PrinterAddress
{
    QString port;     // as given, for the window and the log
    QString location; // what the system opens
    LineSettings settings;

    // nullopt, with the reason in *error, for anything it cannot take.
    static std::optional<PrinterAddress> parse(const QString &text, QString *error = nullptr);
};

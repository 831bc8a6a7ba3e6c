#pragma once

#include "linesettings.h"

#include <QString>

#include <optional>

// Where the receipt printer is: "PORT[:SETTINGS]", PORT being COMn (on Linux also a device path
// such as /dev/ttyUSB0 or /dev/usb/lp0) and SETTINGS the line's "baud,parity,data,stop[,flow]"
// (without SETTINGS, 9600,N,8,1 with no flow control); or a network printer,
// "socket://HOST[:PORT]", HOST a name, an IPv4 address or an IPv6 one in brackets, PORT 9100
// unless given; or the system's print queue, "queue:NAME", NAME as the system names it.
struct PrinterAddress
{
    enum class Kind { Line, Socket, Queue };
    static constexpr quint16 defaultSocketPort = 9100;

    Kind kind = Kind::Line;
    QString port;     // as given, for the window and the log
    QString location; // what the system opens: a device, the network printer's host, the queue
    quint16 socketPort = defaultSocketPort;
    LineSettings settings;

    // nullopt, with the reason in *error, for anything it cannot take.
    static std::optional<PrinterAddress> parse(const QString &text, QString *error = nullptr);
};

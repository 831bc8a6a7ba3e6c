#pragma once

#include <QString>

#include <optional>

class QSerialPort;

// The "baud,parity,data,stop" text of a serial control, e.g. "9600,N,8,1".
struct LineSettings
{
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    qint32 baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    static std::optional<LineSettings> parse(const QString &text);

    // Sets the port's baud rate, data bits, parity and stop bits; false when it refuses one.
    bool applyTo(QSerialPort &port) const;
};

#pragma once

#include <QString>

#include <optional>

// How a serial line is set: the "baud,parity,data,stop[,flow]" text, e.g. "9600,N,8,1" or
// "19200,N,8,1,rtscts", flow being none (the default), rtscts or xonxoff.
struct LineSettings
{
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };
    enum class FlowControl { None, RtsCts, XonXoff };

    qint32 baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    FlowControl flowControl = FlowControl::None;

    static std::optional<LineSettings> parse(const QString &text);
};

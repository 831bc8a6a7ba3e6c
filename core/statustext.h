#pragma once

#include <QString>

// The texts a state field shows (the Device, Test, Printer and Network groups alike).
namespace StatusText {
inline QString openSuccess()
{
    return QStringLiteral("Open Success");
}
inline QString openFailed()
{
    return QStringLiteral("Open Failed");
}
inline QString receiveSuccess()
{
    return QStringLiteral("Receive Success");
}
inline QString receiveFailed()
{
    return QStringLiteral("Receive Failed");
}
} // namespace StatusText

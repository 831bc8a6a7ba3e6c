#pragma once

#include <QString>

// The texts of the two state fields.
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

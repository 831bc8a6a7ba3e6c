#pragma once

#include <QByteArray>

#include <array>
#include <stdexcept>

// The drawer library could not be loaded, or lacks its function.
class DrawerError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The four texts handed to the drawer library, in order.
using GpioProfile = std::array<QByteArray, 4>;

// The drawer library's one function.
class DrawerLibrary
{
public:
    virtual ~DrawerLibrary() = default;
    // Pulses the drawer; returns the library's result (0 is success). Throws DrawerError when
    // the library cannot be bound.
    virtual qint32 cashBoxNormalGpio(const GpioProfile &profile) = 0;

protected:
    DrawerLibrary() = default;
    DrawerLibrary(const DrawerLibrary &) = default;
    DrawerLibrary &operator=(const DrawerLibrary &) = default;
};

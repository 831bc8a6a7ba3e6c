#pragma once

#include "drawerlibrary.h"

#include <QList>

// A drawer library that remembers its calls and answers with a set result, or fails to bind.
class CountingLibrary : public DrawerLibrary
{
public:
    qint32 cashBoxNormalGpio(const GpioProfile &profile) override
    {
        if (!available)
            throw DrawerError("not there");
        calls << profile;
        return result;
    }
    QList<GpioProfile> calls;
    qint32 result = 0;
    bool available = true;
};

#include "display.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

bool selectPlatformWithHeadlessFallback(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strncmp(arg, "-platform", 9) == 0 || std::strncmp(arg, "--platform", 10) == 0)
            return false;
    }
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    // Qt tries the platforms of a ';'-separated list in turn.
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY")
                                   ? QByteArrayLiteral("offscreen")
                                   : QByteArrayLiteral("xcb;offscreen"));
    return true;
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return false;
#endif
}

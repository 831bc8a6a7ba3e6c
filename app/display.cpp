#include "display.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstring>

bool selectPlatformWithHeadlessFallback(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return false;
    // Qt takes "-platform name" (or "--platform name") as two arguments; other options that
    // merely begin alike, such as -platformtheme, leave the choice to us.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
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

namespace {

QtMessageHandler previousHandler = nullptr;

void dropRuntimeFolderWarning(QtMsgType type, const QMessageLogContext &context,
                              const QString &message)
{
    if (type == QtWarningMsg &&
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

QuietRuntimeFolderWarning::QuietRuntimeFolderWarning()
{
    previousHandler = qInstallMessageHandler(dropRuntimeFolderWarning);
}

QuietRuntimeFolderWarning::~QuietRuntimeFolderWarning()
{
    qInstallMessageHandler(previousHandler);
}

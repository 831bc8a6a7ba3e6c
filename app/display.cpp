#include "display.h"

#include "statusboard.h"
#include "statuswindow.h"

#include <QApplication>
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstring>

void prepareApplication()
{
#ifdef Q_OS_LINUX
    // The receive handler runs the event loop once for every byte it drains; Qt's own Unix
    // dispatcher makes that pass with a good deal less work than the GLib one, which nothing
    // here needs. An explicit QT_NO_GLIB setting still wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", QByteArrayLiteral("1"));
#endif
#if defined(Q_OS_WIN) && QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 scales with the display by itself. Qt 5 must be told, or at 125 % and 150 % the
    // fixed-size window keeps its pixels while Windows' fonts grow, and texts are clipped. (On
    // X11, Qt 5 would scale by the monitor's physical density instead, by odd factors.)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
}

bool showUnlessHidden(StatusWindow &window, const StatusBoard &board, bool noDisplay)
{
    if (board.isKeptHidden()) {
#ifdef Q_OS_WIN
        window.winId();
#endif
        return true;
    }
    if (noDisplay) {
        std::fprintf(stderr, "tralvo: no display to show the window on; run it hidden with "
                             "\"1,<profile>\" or start a display server\n");
        return false;
    }
    window.show();
    return true;
}

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

#include "cashboxlibrary.h"
#include "display.h"
#include "qtcommcontrol.h"
#include "servicenotifier.h"
#include "signalwatcher.h"
#include "start.h"
#include "tralvo.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>

namespace {

// The program runs elevated: no library may come from the current folder. Looked up at run time
// because older SDK headers leave SetDefaultDllDirectories out.
void hardenLibrarySearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        if (auto set = reinterpret_cast<SetDefaultDllDirectoriesFn>(
                reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories"))))
            set(0x00001000 /* LOAD_LIBRARY_SEARCH_DEFAULT_DIRS */);
    }
    SetDllDirectoryW(L"");
}

} // namespace
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    hardenLibrarySearch();
#endif
#ifdef Q_OS_LINUX
    // The receive handler runs the event loop once for every byte it drains; Qt's own Unix
    // dispatcher makes that pass with a good deal less work than the GLib one, which nothing
    // here needs. An explicit QT_NO_GLIB setting still wins.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", QByteArrayLiteral("1"));
#endif
    const bool platformChosen = selectPlatformWithHeadlessFallback(argc, argv);
    QApplication application(argc, argv);
    const bool noDisplay =
        platformChosen && QGuiApplication::platformName() == QLatin1String("offscreen");

    // Qt has taken its own options out by now; the rest, joined, is the argument text.
    const QString argumentText = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));

    Start window;
    QtCommControl mscomm1;
    QtCommControl mscomm2;
    CashBoxLibrary cashBox(CashBoxLibrary::defaultFolders());
    Tralvo tralvo(window, mscomm1, mscomm2, cashBox);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &tralvo, &Tralvo::quit);
    ServiceNotifier serviceNotifier;
    QObject::connect(&tralvo, &Tralvo::stateChanged, &serviceNotifier, &ServiceNotifier::status);
    QObject::connect(&window, &Start::unloading, &serviceNotifier, &ServiceNotifier::stopping);

    tralvo.load(argumentText);
    if (!window.isInvisible()) {
        if (noDisplay) {
            std::fprintf(stderr, "tralvo: no display to show the window on; run it hidden with "
                                 "\"1,<profile>\" or start a display server\n");
            tralvo.unload();
            return 2;
        }
        window.show();
    }
    serviceNotifier.ready();
    return QApplication::exec();
}

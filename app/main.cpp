#include "cashboxlibrary.h"
#include "display.h"
#include "qtcommcontrol.h"
#include "signalwatcher.h"
#include "start.h"
#include "tralvo.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    // The program runs elevated: no library may come from the current folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    SetDllDirectoryW(L"");
#endif
    const bool noDisplay = selectHeadlessPlatformIfNoDisplay(argc, argv);
    QApplication application(argc, argv);

    // Qt has taken its own options out by now; the rest, joined, is the argument text.
    const QString argumentText = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));

    Start window;
    QtCommControl mscomm1;
    QtCommControl mscomm2;
    CashBoxLibrary cashBox(CashBoxLibrary::defaultFolders());
    Tralvo tralvo(window, mscomm1, mscomm2, cashBox);
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &tralvo, &Tralvo::quit);

    tralvo.load(argumentText);
    if (!window.isInvisible()) {
        if (noDisplay) {
            std::fprintf(stderr, "tralvo: no display to show the window on (DISPLAY is not set); "
                                 "run it hidden with \"1,<profile>\" or start a display server\n");
            tralvo.unload();
            return 2;
        }
        window.show();
    }
    return QApplication::exec();
}

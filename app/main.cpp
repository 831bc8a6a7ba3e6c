#include "activatedsocket.h"
#include "cashboxlibrary.h"
#include "commandline.h"
#include "display.h"
#include "factory.h"
#include "messagelog.h"
#include "qtcommcontrol.h"
#include "sessionend.h"
#include "signalwatcher.h"
#include "statuswindow.h"
#include "usermessage.h"
#include "wiring.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    CashBoxLibrary::restrictSystemSearch();
    prepareApplication();
    const bool platformChosen = selectPlatformWithHeadlessFallback(argc, argv);
    const QuietRuntimeFolderWarning quietRuntimeFolder;
    QApplication application(argc, argv);
#ifdef Q_OS_WIN
    // A GUI program on Windows has no standard error: the log goes to a file as well.
    const MessageLog messageLog(MessageLog::defaultPath());
#endif
    // Qt has taken its own options out by now.
    const CommandLine commandLine =
        CommandLine::parse(QCoreApplication::arguments().mid(1), QStringLiteral(TRALVO_VERSION),
                           takeActivatedSockets());
    if (commandLine.action != CommandLine::Action::Run)
        return answerCommandLine(commandLine);

    StatusBoard board;
    StatusWindow window(board);
    QtCommControl devicePort;
    QtCommControl testPort;
    CashBoxLibrary cashBox(CashBoxLibrary::defaultFolders());
    Wiring wiring(commandLine.run, board,
                  {window, devicePort, testPort, cashBox, makePrinter(commandLine.run),
                   makePrintListener(commandLine.run), makeWebDoor(commandLine.run, board)});
    Lifecycle &lifecycle = wiring.lifecycle();
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &lifecycle,
                     &Lifecycle::quit);
    // Closed from outside (Windows' taskkill closes even a hidden window), the program ends.
    QObject::connect(&window, &StatusWindow::unloading, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    SessionEndFilter sessionEnd([&lifecycle] { lifecycle.unload(); });
    application.installNativeEventFilter(&sessionEnd);

    lifecycle.load(commandLine.run.argumentText);
    const bool noDisplay =
        platformChosen && QGuiApplication::platformName() == QLatin1String("offscreen");
    if (!showUnlessHidden(window, board, noDisplay)) {
        lifecycle.unload();
        return 2;
    }
    wiring.stateLog().ready();
    const int status = QApplication::exec();
    lifecycle.unload();
    return status;
}

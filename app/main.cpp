#include "bridge.h"
#include "cashboxlibrary.h"
#include "commandline.h"
#include "display.h"
#include "logging.h"
#include "messagelog.h"
#include "networkprinter.h"
#include "printer.h"
#include "printerport.h"
#include "printlistener.h"
#include "printqueue.h"
#include "qtcommcontrol.h"
#include "servicenotifier.h"
#include "sessionend.h"
#include "signalwatcher.h"
#include "spoolprinter.h"
#include "statuswindow.h"
#include "usermessage.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    CashBoxLibrary::restrictSystemSearch();
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
    const bool platformChosen = selectPlatformWithHeadlessFallback(argc, argv);
    const QuietRuntimeFolderWarning quietRuntimeFolder;
    QApplication application(argc, argv);
#ifdef Q_OS_WIN
    // A GUI program on Windows has no standard error: the log goes to a file as well.
    const auto messageLog = std::make_unique<MessageLog>(MessageLog::defaultPath());
#endif
    const bool noDisplay =
        platformChosen && QGuiApplication::platformName() == QLatin1String("offscreen");

    // Qt has taken its own options out by now; the named options come next, and the rest,
    // joined, is the argument text.
    const CommandLine commandLine =
        CommandLine::parse(QCoreApplication::arguments().mid(1), QStringLiteral(TRALVO_VERSION));
    switch (commandLine.action) {
    case CommandLine::Action::ShowHelp:
    case CommandLine::Action::ShowVersion:
        showUserMessage(commandLine.message, false);
        return 0;
    case CommandLine::Action::ListPrinters: {
        const QStringList printers = PrintQueue::list();
        showUserMessage(printers.isEmpty() ? QStringLiteral("tralvo: the system has no printers")
                                           : printers.join(QLatin1Char('\n')),
                        false);
        return 0;
    }
    case CommandLine::Action::Refuse:
        // Into the log too, where a hidden instance's reasons are looked for.
        qCWarning(lcTralvo, "%s", qPrintable(commandLine.message));
#ifdef Q_OS_WIN
        showUserMessage(commandLine.message, true);
#endif
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    std::unique_ptr<PrinterDevice> printerDevice;
    if (commandLine.printer) {
        switch (commandLine.printer->kind) {
        case PrinterAddress::Kind::Socket:
            printerDevice = std::make_unique<NetworkPrinter>(*commandLine.printer);
            break;
        case PrinterAddress::Kind::Queue:
            printerDevice = std::make_unique<SpoolPrinter>(commandLine.printer->location);
            break;
        case PrinterAddress::Kind::Line:
            printerDevice = std::make_unique<PrinterPort>(*commandLine.printer);
            break;
        }
    }
    std::unique_ptr<Printer> printer;
    if (printerDevice)
        printer = std::make_unique<Printer>(std::move(printerDevice));

    StatusBoard board;
    StatusWindow window(board);
    QtCommControl devicePort;
    QtCommControl testPort;
    CashBoxLibrary cashBox(CashBoxLibrary::defaultFolders());
    Bridge bridge(board, window, devicePort, testPort, cashBox);
    // Its jobs go before the bridge and the printer turns they hold.
    std::unique_ptr<PrintListener> listener;
    const qintptr handedOver = takeActivatedListenSocket();
    if (commandLine.listen || handedOver >= 0)
        listener =
            std::make_unique<PrintListener>(commandLine.listen.value_or(ListenAddress{}),
                                            commandLine.idleTimeoutSeconds * 1000, handedOver);
    // A socket handed over is a print port as --listen makes one, with the same default mode.
    const MatchMode match =
        handedOver >= 0 && !commandLine.matchGiven ? MatchMode::EscPos : commandLine.match;
    bridge.setPrinterLine(match, printer.get(), listener.get());
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &bridge, &Bridge::quit);
    ServiceNotifier serviceNotifier;
    QObject::connect(&bridge, &Bridge::stateChanged, &serviceNotifier, &ServiceNotifier::status);
    QObject::connect(&window, &StatusWindow::unloading, &serviceNotifier,
                     &ServiceNotifier::stopping);

    // Closed from outside (Windows' taskkill closes even a hidden window), the program ends.
    QObject::connect(&window, &StatusWindow::unloading, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    SessionEndFilter sessionEnd([&bridge] { bridge.unload(); });
    application.installNativeEventFilter(&sessionEnd);

    bridge.load(commandLine.argumentText);
    if (!board.isKeptHidden()) {
        if (noDisplay) {
            std::fprintf(stderr, "tralvo: no display to show the window on; run it hidden with "
                                 "\"1,<profile>\" or start a display server\n");
            bridge.unload();
            return 2;
        }
        window.show();
    }
#ifdef Q_OS_WIN
    else {
        // Hidden, it still needs a native window: that is what Windows asks to close (taskkill,
        // log-off), so that the shutdown runs.
        window.winId();
    }
#endif
    serviceNotifier.ready();
    const int status = QApplication::exec();
    bridge.unload();
    return status;
}

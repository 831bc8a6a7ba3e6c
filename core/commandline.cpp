#include "commandline.h"

#include <QCommandLineParser>

#include <algorithm>
#include <iterator>

namespace {

const QString matchName = QStringLiteral("match");
const QString printerName = QStringLiteral("printer");
const QString listenName = QStringLiteral("listen");
const QString idleTimeoutName = QStringLiteral("idle-timeout");

bool isNamedOption(const QString &argument)
{
    return argument.size() > 2 && argument.startsWith(QLatin1String("--"));
}

// A named option that takes a value, written without "=": its value is the next argument.
bool takesNextArgument(const QString &argument)
{
    const QString names[] = {matchName, printerName, listenName, idleTimeoutName};
    return std::any_of(std::begin(names), std::end(names), [&argument](const QString &name) {
        return argument == QLatin1String("--") + name;
    });
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments, const QString &version)
{
    CommandLine line;
    QStringList named{QStringLiteral("tralvo")};
    QStringList rest;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!isNamedOption(argument)) {
            rest << argument;
            continue;
        }
        named << argument;
        if (takesNextArgument(argument) && i + 1 < arguments.size())
            named << arguments[++i];
    }
    line.argumentText = rest.join(QLatin1Char(' '));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens a GPIO cash drawer when the POS sends its drawer kick to the Device port (COM9).\n"
        "\n"
        "hide,profile  hide 1: no window; profile 0 or 1: the drawer's pin profile (default "
        "0,0)"));
    const QCommandLineOption help(QStringList{QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption showVersion(QStringList{QStringLiteral("version")},
                                         QStringLiteral("Show the version and exit."));
    const QCommandLineOption match(
        matchName,
        QStringLiteral("Which drawer kicks open the drawer: start (a received text that begins "
                       "with ESC p; the default), escpos (an ESC/POS kick anywhere in the "
                       "stream, print jobs included), star (Star Line Mode drawer commands), any "
                       "(every received text, whatever it holds)."),
        QStringLiteral("mode"));
    const QCommandLineOption printer(
        printerName,
        QStringLiteral("Pass every byte on to the receipt printer at PORT, and its replies back; "
                       "PORT is COMn or a device path (a terminal or a character device), "
                       "SETTINGS baud,parity,data,stop[,none|rtscts|xonxoff] (default "
                       "9600,N,8,1,none); or a network printer, socket://HOST[:PORT] (default "
                       "port 9100), connected for each job; or the system's print queue, "
                       "queue:NAME (see --list-printers), a raw document for each job. Implies "
                       "--match=escpos."),
        QStringLiteral("PORT[:SETTINGS]"));
    const QCommandLineOption listen(
        listenName,
        QStringLiteral("Listen as a network receipt printer (raw, as on TCP 9100) on ADDRESS:PORT; "
                       "ADDRESS is 127.0.0.1 unless given ([::1]:9100 for IPv6, 0.0.0.0 for "
                       "every network). Every connection is one job. Implies --match=escpos."),
        QStringLiteral("[ADDRESS:]PORT"));
    const QCommandLineOption idleTimeout(
        idleTimeoutName,
        QStringLiteral("Close a network job that sends nothing for SECONDS (default 30)."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption listPrinters(
        QStringList{QStringLiteral("list-printers")},
        QStringLiteral("List the system's printers (name, port or device, state) and exit."));
    parser.addOptions({help, showVersion, listPrinters, match, printer, listen, idleTimeout});
    parser.addPositionalArgument(QStringLiteral("hide,profile"),
                                 QStringLiteral("Whether to hide the window, and the profile."));

    const auto refuse = [&line](const QString &why) {
        line.action = Action::Refuse;
        line.message = why + QLatin1String(why.endsWith(QLatin1Char('.')) ? " " : ". ") +
                       QLatin1String("See tralvo --help.");
        return line;
    };
    if (!parser.parse(named))
        return refuse(parser.errorText());
    if (parser.isSet(help)) {
        line.action = Action::ShowHelp;
        // The usage line names the program as the user calls it, not by its full path.
        const QString text = parser.helpText();
        line.message = QLatin1String("Usage: tralvo [options] hide,profile") +
                       text.mid(text.indexOf(QLatin1Char('\n')));
        return line;
    }
    if (parser.isSet(listPrinters)) {
        line.action = Action::ListPrinters;
        return line;
    }
    if (parser.isSet(showVersion)) {
        line.action = Action::ShowVersion;
        line.message = QLatin1String("tralvo ") + version;
        return line;
    }
    if (parser.isSet(printer)) {
        if (parser.value(printer).isEmpty())
            return refuse(QStringLiteral("--printer needs a port"));
        QString why;
        line.printer = PrinterAddress::parse(parser.value(printer), &why);
        if (!line.printer)
            return refuse(why);
    }
    if (parser.isSet(listen)) {
        QString why;
        line.listen = ListenAddress::parse(parser.value(listen), &why);
        if (!line.listen)
            return refuse(why);
    }
    if (parser.isSet(idleTimeout)) {
        bool ok = false;
        line.idleTimeoutSeconds = parser.value(idleTimeout).toInt(&ok);
        if (!ok || line.idleTimeoutSeconds < 1 || line.idleTimeoutSeconds > 86400)
            return refuse(QStringLiteral("--idle-timeout takes seconds from 1 to 86400, not \"%1\"")
                              .arg(parser.value(idleTimeout)));
    }
    if (parser.isSet(match)) {
        const auto mode = matchModeFromName(parser.value(match));
        if (!mode) {
            QStringList names = matchModeNames();
            const QString last = names.takeLast();
            return refuse(QStringLiteral("--match takes %1 or %2, not \"%3\"")
                              .arg(names.join(QLatin1String(", ")), last, parser.value(match)));
        }
        line.match = *mode;
        line.matchGiven = true;
    } else if (line.printer || line.listen) {
        line.match = MatchMode::EscPos;
    }
    return line;
}

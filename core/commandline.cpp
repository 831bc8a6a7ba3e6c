#include "commandline.h"

#include <QCommandLineParser>

namespace {

const QString matchName = QStringLiteral("match");
const QString printerName = QStringLiteral("printer");

bool isNamedOption(const QString &argument)
{
    return argument.size() > 2 && argument.startsWith(QLatin1String("--"));
}

// A named option that takes a value, written without "=": its value is the next argument.
bool takesNextArgument(const QString &argument)
{
    return argument == QLatin1String("--") + matchName ||
           argument == QLatin1String("--") + printerName;
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
                       "9600,N,8,1,none). Implies --match=escpos."),
        QStringLiteral("PORT[:SETTINGS]"));
    parser.addOptions({help, showVersion, match, printer});
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
    if (parser.isSet(match)) {
        const auto mode = matchModeFromName(parser.value(match));
        if (!mode) {
            QStringList names = matchModeNames();
            const QString last = names.takeLast();
            return refuse(QStringLiteral("--match takes %1 or %2, not \"%3\"")
                              .arg(names.join(QLatin1String(", ")), last, parser.value(match)));
        }
        line.match = *mode;
    } else if (line.printer) {
        line.match = MatchMode::EscPos;
    }
    return line;
}

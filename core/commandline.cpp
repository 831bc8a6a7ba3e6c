#include "commandline.h"

#include <QCommandLineParser>

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

// The named options, with their help texts.
struct Options
{
    QCommandLineOption help{QStringList{QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{QStringList{QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};
    QCommandLineOption listPrinters{
        QStringList{QStringLiteral("list-printers")},
        QStringLiteral("List the system's printers (name, port or device, state) and exit.")};
    QCommandLineOption match{
        QStringLiteral("match"),
        QStringLiteral("Which drawer kicks open the drawer: %1.").arg(matchModeSummaries()),
        QStringLiteral("mode")};
    QCommandLineOption printer{
        QStringLiteral("printer"),
        QStringLiteral("Pass every byte on to the receipt printer at PORT, and its replies back; "
                       "PORT is COMn or a device path (a terminal or a character device), "
                       "SETTINGS baud,parity,data,stop[,none|rtscts|xonxoff] (default "
                       "9600,N,8,1,none); or a network printer, socket://HOST[:PORT] (default "
                       "port 9100), connected for each job; or the system's print queue, "
                       "queue:NAME (see --list-printers), a raw document for each job. Implies "
                       "--match=escpos."),
        QStringLiteral("PORT[:SETTINGS]")};
    QCommandLineOption listen{
        QStringLiteral("listen"),
        QStringLiteral("Listen as a network receipt printer (raw, as on TCP 9100) on ADDRESS:PORT; "
                       "ADDRESS is 127.0.0.1 unless given ([::1]:9100 for IPv6, 0.0.0.0 for "
                       "every network). Every connection is one job. Implies --match=escpos."),
        QStringLiteral("[ADDRESS:]PORT")};
    QCommandLineOption idleTimeout{
        QStringLiteral("idle-timeout"),
        QStringLiteral("Close a network job or web connection that sends nothing for SECONDS "
                       "(default 30)."),
        QStringLiteral("SECONDS")};
    QCommandLineOption http{
        QStringLiteral("http"),
        QStringLiteral("Answer browser POS software over HTTP on ADDRESS:PORT (127.0.0.1 unless "
                       "given) as an Epson ePOS-Print printer (/cgi-bin/epos/service.cgi) and as "
                       "Odoo's hardware proxy (/hw_proxy/...). Implies --match=escpos."),
        QStringLiteral("[ADDRESS:]PORT")};
    QCommandLineOption httpOrigin{
        QStringLiteral("http-origin"),
        QStringLiteral("The web origins (https://shop.example.com) whose pages may call the web "
                       "door, besides the till's own; others are refused."),
        QStringLiteral("ORIGIN[,ORIGIN...]")};
    QCommandLineOption https{
        QStringLiteral("https"),
        QStringLiteral(
            "The same web door over TLS (1.2 or newer) on ADDRESS:PORT (127.0.0.1 unless "
            "given), for POS pages served over https. Implies --match=escpos."),
        QStringLiteral("[ADDRESS:]PORT")};
    QCommandLineOption httpsCertificate{
        QStringLiteral("https-certificate"),
        QStringLiteral("The certificate (PEM, any chain after it) and its key (PEM) that --https "
                       "shows; without it, the till's own, made the first time it is needed."),
        QStringLiteral("CERT,KEY")};
    QCommandLineOption httpsCertificatePath{
        QStringList{QStringLiteral("https-certificate-path")},
        QStringLiteral("Print where the till's own certificate is, for an administrator to trust, "
                       "making it if there is none yet, and exit.")};
    QCommandLineOption printerWidth{
        QStringLiteral("printer-width"),
        QStringLiteral("The receipt printer's width in dots, for receipts sent as images "
                       "(default 512)."),
        QStringLiteral("DOTS")};

    QList<QCommandLineOption> all() const
    {
        return {help,
                version,
                listPrinters,
                match,
                printer,
                listen,
                http,
                httpOrigin,
                https,
                httpsCertificate,
                httpsCertificatePath,
                idleTimeout,
                printerWidth};
    }
    // A named option that takes a value, written without "=": its value is the next argument.
    bool takesNextArgument(const QString &argument) const
    {
        const QCommandLineOption withValue[] = {match,       printer,    listen, idleTimeout,
                                                http,        httpOrigin, https,  httpsCertificate,
                                                printerWidth};
        return std::any_of(std::begin(withValue), std::end(withValue),
                           [&argument](const QCommandLineOption &option) {
                               return argument == QLatin1String("--") + option.names().first();
                           });
    }
};

bool isNamedOption(const QString &argument)
{
    return argument.size() > 2 && argument.startsWith(QLatin1String("--"));
}

QString refusal(const QString &why)
{
    return why + QLatin1String(why.endsWith(QLatin1Char('.')) ? " " : ". ") +
           QLatin1String("See tralvo --help.");
}

// A whole number from low to high, or the reason it is none.
std::optional<QString> readWhole(const QCommandLineParser &parser, const QCommandLineOption &option,
                                 int low, int high, const char *unit, int &value)
{
    if (!parser.isSet(option))
        return std::nullopt;
    bool ok = false;
    const int given = parser.value(option).toInt(&ok);
    if (!ok || given < low || given > high)
        return QStringLiteral("--%1 takes %2 from %3 to %4, not \"%5\"")
            .arg(option.names().first(), QLatin1String(unit), QString::number(low),
                 QString::number(high), parser.value(option));
    value = given;
    return std::nullopt;
}

// The web door's options.
std::optional<QString> readWebDoor(const QCommandLineParser &parser, const Options &options,
                                   RunConfig &run)
{
    QString why;
    if (parser.isSet(options.http)) {
        run.http = ListenAddress::parse(parser.value(options.http), &why);
        if (!run.http)
            return QStringLiteral("--http: ") + why;
    } else if (run.httpSocket >= 0) {
        run.http = ListenAddress{}; // the socket's own address replaces it
    }
    QStringList origins;
    for (const QString &given : parser.values(options.httpOrigin)) {
        for (const QString &origin : given.split(QLatin1Char(','))) {
            const std::optional<QString> serialised = WebOrigins::serialise(origin.trimmed(), &why);
            if (!serialised)
                return QStringLiteral("--http-origin: ") + why;
            origins << *serialised;
        }
    }
    run.httpOrigins = WebOrigins(origins);
    if (parser.isSet(options.https)) {
        run.https = ListenAddress::parse(parser.value(options.https), &why);
        if (!run.https)
            return QStringLiteral("--https: ") + why;
    } else if (run.httpsSocket >= 0) {
        run.https = ListenAddress{};
    }
    if (run.http && run.https && run.http->host == run.https->host &&
        run.http->port == run.https->port && run.httpSocket < 0 && run.httpsSocket < 0)
        return QStringLiteral("--http and --https cannot share %1").arg(run.http->text());
    if (parser.isSet(options.httpsCertificate)) {
        const QStringList files = parser.value(options.httpsCertificate).split(QLatin1Char(','));
        if (files.size() != 2 || files[0].trimmed().isEmpty() || files[1].trimmed().isEmpty())
            return QStringLiteral("--https-certificate takes CERT.pem,KEY.pem, not \"%1\"")
                .arg(parser.value(options.httpsCertificate));
        if (!run.https)
            return QStringLiteral("--https-certificate is for --https, which is not given");
        run.httpsCertificateFile = files[0].trimmed();
        run.httpsKeyFile = files[1].trimmed();
    }
    return readWhole(parser, options.printerWidth, 8, 4096, "dots", run.printerWidthDots);
}

// Reads the values of a run's options into run; the reason when one is not a value it takes.
std::optional<QString> readRun(const QCommandLineParser &parser, const Options &options,
                               RunConfig &run)
{
    QString why;
    if (parser.isSet(options.printer)) {
        if (parser.value(options.printer).isEmpty())
            return QStringLiteral("--printer needs a port");
        run.printer = PrinterAddress::parse(parser.value(options.printer), &why);
        if (!run.printer)
            return why;
    }
    if (parser.isSet(options.listen)) {
        run.listen = ListenAddress::parse(parser.value(options.listen), &why);
        if (!run.listen)
            return why;
    } else if (run.listenSocket >= 0) {
        run.listen = ListenAddress{};
    }
    int idleSeconds = run.idleTimeoutMs / 1000;
    if (auto refused = readWhole(parser, options.idleTimeout, 1, 86400, "seconds", idleSeconds))
        return refused;
    run.idleTimeoutMs = idleSeconds * 1000;
    if (auto refused = readWebDoor(parser, options, run))
        return refused;
    run.match = run.defaultMatch();
    if (parser.isSet(options.match)) {
        const auto mode = matchModeFromName(parser.value(options.match));
        if (!mode) {
            QStringList names = matchModeNames();
            const QString last = names.takeLast();
            return QStringLiteral("--match takes %1 or %2, not \"%3\"")
                .arg(names.join(QLatin1String(", ")), last, parser.value(options.match));
        }
        run.match = *mode;
    }
    return std::nullopt;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments, const QString &version,
                               HandedOverSockets handedOver)
{
    const Options options;
    CommandLine line;
    line.run.listenSocket = handedOver.printPort;
    line.run.httpSocket = handedOver.webDoor;
    line.run.httpsSocket = handedOver.webDoorTls;
    QStringList named{QStringLiteral("tralvo")};
    QStringList rest;
    for (int i = 0; i < arguments.size(); ++i) {
        const bool isNamed = isNamedOption(arguments[i]);
        (isNamed ? named : rest) << arguments[i];
        if (isNamed && options.takesNextArgument(arguments[i]) && i + 1 < arguments.size())
            named << arguments[++i];
    }
    line.run.argumentText = rest.join(QLatin1Char(' '));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens a GPIO cash drawer when the POS sends its drawer kick to the Device port (COM9).\n"
        "\n"
        "hide,profile  hide 1: no window; profile 0 or 1: the drawer's pin profile (default "
        "0,0)"));
    parser.addOptions(options.all());
    parser.addPositionalArgument(QStringLiteral("hide,profile"),
                                 QStringLiteral("Whether to hide the window, and the profile."));
    std::optional<QString> refused;
    if (!parser.parse(named)) {
        refused = parser.errorText();
    } else if (parser.isSet(options.help)) {
        line.action = Action::ShowHelp;
        // The usage line names the program as the user calls it, not by its full path.
        const QString text = parser.helpText();
        line.message = QLatin1String("Usage: tralvo [options] hide,profile") +
                       text.mid(text.indexOf(QLatin1Char('\n')));
    } else if (parser.isSet(options.listPrinters)) {
        line.action = Action::ListPrinters;
    } else if (parser.isSet(options.httpsCertificatePath)) {
        line.action = Action::ShowCertificatePath;
    } else if (parser.isSet(options.version)) {
        line.action = Action::ShowVersion;
        line.message = QLatin1String("tralvo ") + version;
    } else {
        refused = readRun(parser, options, line.run);
    }
    if (refused) {
        line.action = Action::Refuse;
        line.message = refusal(*refused);
    }
    return line;
}

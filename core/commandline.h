#pragma once

#include "listenaddress.h"
#include "matchmode.h"
#include "printeraddress.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line after Qt has taken its own options out: the named options, and the rest,
// which joined with blanks is the "hide,profile" argument text, read as it always was.
struct CommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, ListPrinters, Refuse };

    Action action = Action::Run;
    QString argumentText;
    MatchMode match = MatchMode::Start;
    bool matchGiven = false;               // --match was given, rather than implied
    std::optional<PrinterAddress> printer; // none: no pass-through
    std::optional<ListenAddress> listen;   // none: no network print port
    int idleTimeoutSeconds = 30;           // a network job that sends nothing this long ends
    // ShowHelp, ShowVersion: the text to show; Refuse: why, with a pointer to --help.
    QString message;

    // Named options are the arguments that begin with "--" ("--match=escpos", or "--match escpos"
    // as two arguments); any other argument, "-1,0" included, belongs to the argument text.
    // --printer or --listen without --match selects escpos. An unknown option, or a value that is
    // not one (a printer address that cannot be, too), gives Refuse.
    static CommandLine parse(const QStringList &arguments, const QString &version);
};

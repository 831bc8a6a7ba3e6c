#pragma once

#include "handedoversockets.h"
#include "runconfig.h"

#include <QString>
#include <QStringList>

// The command line after Qt has taken its own options out: what to do, and for a run its whole
// configuration.
struct CommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, ListPrinters, ShowCertificatePath, Refuse };

    Action action = Action::Run;
    // ShowHelp, ShowVersion: the text to show; Refuse: why, with a pointer to --help.
    QString message;
    RunConfig run;

    // Named options are the arguments that begin with "--" ("--match=escpos", or "--match escpos"
    // as two arguments); any other argument, "-1,0" included, belongs to the argument text, which
    // is the rest joined with blanks. handedOver: the sockets the service manager made, a print
    // port's as --listen makes one, a web door's as --http and --https do. An unknown option, or a
    // value that is not one (a printer address that cannot be, too), gives Refuse.
    static CommandLine parse(const QStringList &arguments, const QString &version,
                             HandedOverSockets handedOver = {});
};

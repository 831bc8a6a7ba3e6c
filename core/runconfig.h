#pragma once

#include "listenaddress.h"
#include "matchmode.h"
#include "printeraddress.h"
#include "weborigin.h"

#include <QString>

#include <optional>

// Everything one run needs, made once from the command line (CommandLine::parse) and read by
// the wiring as it is built; nothing is reconfigured after that.
struct RunConfig
{
    // The "hide,profile" text, read at start-up as it always was.
    QString argumentText;
    MatchMode match = MatchMode::Start;
    std::optional<PrinterAddress> printer; // none: no pass-through
    std::optional<ListenAddress> listen;   // none: no network print port
    // A listening socket the service manager made for the print port (socket activation), taken
    // instead of listening on listen's address; -1 for none.
    qintptr listenSocket = -1;
    // The web door: HTTP for browser POS software (none: no web door), the web origins that may
    // call it besides the till's own pages, and the printer's width in dots, for receipts sent
    // as images.
    std::optional<ListenAddress> http;
    // A listening socket the service manager made for the web door, taken instead of listening
    // on http's address; -1 for none.
    qintptr httpSocket = -1;
    WebOrigins httpOrigins;
    // The same door over TLS (none: no https), and the socket the service manager made for it.
    std::optional<ListenAddress> https;
    qintptr httpsSocket = -1;
    // The certificate (PEM, the chain after it) and key that https shows; both empty: the till's
    // own, made the first time it is needed.
    QString httpsCertificateFile;
    QString httpsKeyFile;
    int printerWidthDots = 512;
    // A network job or web connection that sends nothing this long ends.
    int idleTimeoutMs = 30 * 1000;

    // How long shutdown waits for the printer to take what is still queued for it.
    static constexpr int printerFlushMs = 2000;
    // How long the Device port's input must pause for its job at the printer to end, so that a
    // network job may have the printer, and a network printer's connection closes.
    static constexpr int devicePauseMs = 1000;

    // The mode when --match is not given: a printer, a print port or the web door (HTTP or
    // HTTPS) carries whole print jobs, whose kicks come after the receipt.
    MatchMode defaultMatch() const
    {
        const bool handedOver = listenSocket >= 0 || httpSocket >= 0 || httpsSocket >= 0;
        return printer || listen || http || https || handedOver ? MatchMode::EscPos
                                                                : MatchMode::Start;
    }
};

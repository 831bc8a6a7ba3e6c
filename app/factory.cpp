#include "factory.h"

#include "networkprinter.h"
#include "printerport.h"
#include "printlistener.h"
#include "spoolprinter.h"

namespace {

std::unique_ptr<PrinterDevice> makePrinterDevice(const PrinterAddress &address)
{
    switch (address.kind) {
    case PrinterAddress::Kind::Socket:
        return std::make_unique<NetworkPrinter>(address);
    case PrinterAddress::Kind::Queue:
        return std::make_unique<SpoolPrinter>(address.location);
    case PrinterAddress::Kind::Line:
        break;
    }
    return std::make_unique<PrinterPort>(address);
}

} // namespace

std::unique_ptr<Printer> makePrinter(const RunConfig &run)
{
    if (!run.printer)
        return nullptr;
    return std::make_unique<Printer>(makePrinterDevice(*run.printer));
}

std::unique_ptr<PrintListener> makePrintListener(const RunConfig &run)
{
    if (!run.listen)
        return nullptr;
    return std::make_unique<PrintListener>(*run.listen, run.idleTimeoutMs, run.listenSocket);
}

std::unique_ptr<WebDoor> makeWebDoor(const RunConfig &run, const StatusBoard &board)
{
    if (!run.http && !run.https)
        return nullptr;
    WebDoor::Settings settings;
    if (run.http)
        settings.plain = WebDoor::Listener{*run.http, run.httpSocket};
    if (run.https)
        settings.encrypted = WebDoor::Listener{*run.https, run.httpsSocket};
    settings.certificate = {run.httpsCertificateFile, run.httpsKeyFile};
    settings.origins = run.httpOrigins;
    settings.idleTimeoutMs = run.idleTimeoutMs;
    settings.printerWidthDots = run.printerWidthDots;
    settings.hasPrinter = run.printer.has_value();
    return std::make_unique<WebDoor>(std::move(settings), board);
}

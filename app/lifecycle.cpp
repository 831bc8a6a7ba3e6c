#include "lifecycle.h"

#include "decimal.h"
#include "deviceline.h"
#include "jobintake.h"
#include "logging.h"
#include "printer.h"
#include "runconfig.h"
#include "startup.h"
#include "statelog.h"
#include "statustext.h"
#include "statuswindow.h"
#include "webintake.h"

#include <QCoreApplication>

Lifecycle::Lifecycle(const Parts &parts, QObject *parent)
    : QObject(parent), m_parts(parts), m_printerRetry(
                                           "Printer", [this] { m_parts.printer->open(); }, this)
{
    if (m_parts.printer)
        connect(m_parts.printer, &Printer::lost, this, &Lifecycle::printerLost);
    connect(&m_parts.window, &StatusWindow::unloading, this, &Lifecycle::unload);
}

void Lifecycle::load(const QString &argumentText)
{
    const StartOutcome outcome =
        StartUp(argumentText, m_parts.options, m_parts.board, m_parts.devicePort);
    if (outcome == StartOutcome::OptionsFailed)
        return;
    if (outcome == StartOutcome::PortFailed)
        m_parts.deviceLine.startRetry();
    // Known now, shown only at the first drawer command: say so while someone may be looking.
    if (!toDecimal(m_parts.options.profileField))
        qCWarning(lcTralvo,
                  "the profile field is not a number: \"%s\"; every drawer command will fail",
                  qPrintable(m_parts.options.profileField));
    startPrinterLine();
}

void Lifecycle::startPrinterLine()
{
    if (Printer *printer = m_parts.printer) {
        m_parts.board.setText(Field::PrinterPort, printer->name());
        m_parts.window.addPrinterGroup();
        m_printerRetry.openOrRetry(m_parts.board, Field::PrinterState);
    }
    if (JobIntake *intake = m_parts.intake) {
        m_parts.board.setText(Field::NetworkAddress, intake->address());
        m_parts.window.addNetworkGroup();
        intake->start();
    }
    if (WebIntake *web = m_parts.web) {
        const QString plain = web->address(false);
        const QString secure = web->address(true);
        m_parts.board.setText(Field::WebAddress, plain);
        m_parts.board.setText(Field::WebSecureAddress, secure);
        m_parts.window.addWebGroup(!plain.isEmpty(), !secure.isEmpty());
        web->start();
    }
}

void Lifecycle::printerLost(const QString &reason)
{
    qCWarning(lcTralvo, "Printer: %s; %lld bytes wait for it", qPrintable(reason),
              static_cast<long long>(m_parts.printer->queued()));
    m_parts.board.setText(Field::PrinterState, StatusText::openFailed());
    if (!m_unloaded)
        m_printerRetry.start();
}

void Lifecycle::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_parts.stateLog.stopping();
    m_printerRetry.stop();
    if (m_parts.intake)
        m_parts.intake->stop();
    if (m_parts.web)
        m_parts.web->stop();
    m_parts.deviceLine.stop();
    ShutDown(m_parts.devicePort, m_parts.testPort);
    flushPrinter();
    if (m_parts.board.isKeptHidden())
        qCInfo(lcTralvo, "shut down");
}

void Lifecycle::flushPrinter()
{
    Printer *printer = m_parts.printer;
    if (!printer)
        return;
    const qint64 dropped = printer->flush(RunConfig::printerFlushMs);
    if (dropped > 0)
        qCWarning(lcTralvo, "Printer: %lld bytes it had not taken are dropped at shutdown",
                  static_cast<long long>(dropped));
    printer->close();
}

void Lifecycle::quit()
{
    unload();
    m_parts.window.close();
    QCoreApplication::quit();
}

#include "bridge.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "networkjob.h"
#include "printer.h"
#include "printerturns.h"
#include "printlistener.h"
#include "startup.h"
#include "statusresponder.h"
#include "statustext.h"
#include "statuswindow.h"
#include "testrequest.h"

#include <QCoreApplication>

Bridge::Bridge(StatusBoard &board, StatusWindow &window, CommControl &devicePort,
               CommControl &testPort, DrawerLibrary &library, QObject *parent)
    : QObject(parent), m_board(board), m_window(window), m_devicePort(devicePort),
      m_testPort(testPort), m_library(library),
      m_deviceRetry(
          "Device",
          [this] { ConfigurePort(m_devicePort, m_board, Field::DevicePort, Field::DeviceBaud); },
          this),
      m_printerRetry(
          "Printer", [this] { m_printer->open(); }, this),
      m_listenRetry(
          "Network", [this] { m_listener->listen(); }, this)
{
    setPrinterLine(MatchMode::Start, nullptr);
    connect(&m_deviceRetry, &PortRetry::opened, this, &Bridge::devicePortOpened);
    connect(&m_printerRetry, &PortRetry::opened, this,
            [this] { m_board.setText(Field::PrinterState, StatusText::openSuccess()); });
    connect(&m_listenRetry, &PortRetry::opened, this,
            [this] { m_board.setText(Field::NetworkState, StatusText::openSuccess()); });
    connect(&m_window, &StatusWindow::requestClicked, this, &Bridge::sendTestRequest);
    connect(&m_window, &StatusWindow::unloading, this, &Bridge::unload);
    connect(&m_board, &StatusBoard::textChanged, this, &Bridge::reportState);
}

Bridge::~Bridge() = default;

void Bridge::setPrinterLine(MatchMode mode, Printer *printer, PrintListener *listener)
{
    m_match = mode;
    if (m_printer)
        disconnect(m_printer, nullptr, this, nullptr);
    if (m_listener)
        disconnect(m_listener, nullptr, this, nullptr);
    m_printer = printer;
    m_listener = listener;
    // The receiver hears of a lost port before the retry starts, as its log lines tell it.
    disconnect(&m_devicePort, &CommControl::lost, this, &Bridge::devicePortLost);
    m_receiver.reset();
    m_deviceResponder.reset();
    m_deviceGate.reset();
    m_turns.reset();
    // The Device port's bytes are a job at the printer until its input pauses, so that a network
    // job may come between and a network printer knows when to close the connection.
    Onward *deviceOnward = printer;
    if (printer) {
        m_turns = std::make_unique<PrinterTurns>(*printer);
        m_deviceGate = std::make_unique<PrinterGate>(*m_turns, devicePauseMs);
        deviceOnward = m_deviceGate.get();
        if (!printer->answersStatus()) {
            m_deviceResponder = std::make_unique<StatusResponder>(deviceOnward);
            deviceOnward = m_deviceResponder.get();
        }
    }
    m_receiver =
        std::make_unique<Receiver>(m_devicePort, Field::DeviceState, m_board, m_options, m_library,
                                   EventPump::applicationLoop(), mode, deviceOnward);
    connect(&m_devicePort, &CommControl::lost, this, &Bridge::devicePortLost);
    if (deviceOnward)
        connect(deviceOnward, &Onward::replied, this, &Bridge::passReplyBack);
    if (printer)
        connect(printer, &Printer::lost, this, &Bridge::printerLost);
    if (listener)
        connect(listener, &PrintListener::jobArrived, this, &Bridge::takeJob);
}

void Bridge::reportState(Field field, const QString &text)
{
    if (!isStateField(field) || text.isEmpty())
        return;
    const QString line = QLatin1String(roleName(field)) + QLatin1String(": ") + text;
    // A hidden instance (a service, most often) has nobody looking at its window; its states go
    // to the log, which the service manager keeps.
    if (m_board.isKeptHidden())
        qCInfo(lcTralvo, "%s", qPrintable(line));
    Q_EMIT stateChanged(line);
}

void Bridge::load(const QString &argumentText)
{
    const StartOutcome outcome = StartUp(argumentText, m_options, m_board, m_devicePort);
    if (outcome == StartOutcome::PortFailed)
        m_deviceRetry.start();
    // Known now, shown only at the first drawer command: say so while someone may be looking.
    if (outcome != StartOutcome::OptionsFailed && !toDecimal(m_options.profileField))
        qCWarning(lcTralvo,
                  "the profile field is not a number: \"%s\"; every drawer command "
                  "will fail",
                  qPrintable(m_options.profileField));
    if (m_printer && outcome != StartOutcome::OptionsFailed) {
        m_board.setText(Field::PrinterPort, m_printer->name());
        m_window.addPrinterGroup();
        openWithRetry(Field::PrinterState, m_printerRetry, [this] { m_printer->open(); });
    }
    if (m_listener && outcome != StartOutcome::OptionsFailed) {
        m_board.setText(Field::NetworkAddress, m_listener->address().text());
        m_window.addNetworkGroup();
        openWithRetry(Field::NetworkState, m_listenRetry, [this] { m_listener->listen(); });
    }
}

void Bridge::openWithRetry(Field stateField, PortRetry &retry, const std::function<void()> &open)
{
    try {
        open();
        m_board.setText(stateField, StatusText::openSuccess());
    } catch (...) {
        reportCurrentFailure(m_board, stateField, StatusText::openFailed());
        retry.start();
    }
}

// A network job is one more source: a receiver of its own, and the printer when its turn comes,
// or Tralvo's own status answers where no printer is given.
void Bridge::takeJob(NetworkJob *job)
{
    if (m_unloaded) {
        job->deleteLater();
        return;
    }
    Onward *onward = nullptr;
    if (m_turns)
        onward = new PrinterGate(*m_turns, 0, job);
    if (!m_printer || !m_printer->answersStatus())
        onward = new StatusResponder(onward, job);
    connect(onward, &Onward::replied, job, &NetworkJob::reply);
    auto *receiver = new Receiver(*job, Field::NetworkState, m_board, m_options, m_library,
                                  EventPump::none(), m_match, onward, job);
    // In the start mode the job's opening is the text; in the others, each read as ever.
    if (m_match == MatchMode::Start || m_match == MatchMode::Any)
        receiver->takeWholeSourceAsOneText();
    // The client hears the printer's replies until the job has been written, and then the
    // connection closes: a print system's socket backend calls the job done at that close.
    connect(job, &NetworkJob::finished, onward, &Onward::endJob);
    connect(onward, &Onward::jobWritten, job, &NetworkJob::end);
}

void Bridge::printerLost(const QString &reason)
{
    qCWarning(lcTralvo, "Printer: %s; %lld bytes wait for it", qPrintable(reason),
              static_cast<long long>(m_printer->queued()));
    m_board.setText(Field::PrinterState, StatusText::openFailed());
    if (!m_unloaded)
        m_printerRetry.start();
}

void Bridge::passReplyBack(const QByteArray &bytes)
{
    try {
        m_devicePort.writeReply(bytes);
    } catch (...) {
        qCWarning(lcTralvo, "Device: the printer's reply of %lld bytes could not be passed on: %s",
                  static_cast<long long>(bytes.size()), currentFailure().c_str());
    }
}

void Bridge::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_deviceRetry.stop();
    m_printerRetry.stop();
    m_listenRetry.stop();
    if (m_listener)
        m_listener->close();
    // No pulse after shutdown: later events go unheard, and a drain that is still running finds
    // its port closed at its next read.
    m_receiver->stop();
    ShutDown(m_devicePort, m_testPort);
    if (m_printer) {
        const qint64 dropped = m_printer->flush(printerFlushMs);
        if (dropped > 0)
            qCWarning(lcTralvo, "Printer: %lld bytes it had not taken are dropped at shutdown",
                      static_cast<long long>(dropped));
        m_printer->close();
    }
    if (m_board.isKeptHidden())
        qCInfo(lcTralvo, "shut down");
}

void Bridge::quit()
{
    unload();
    m_window.close();
    QCoreApplication::quit();
}

void Bridge::devicePortLost()
{
    if (!m_unloaded)
        m_deviceRetry.start();
}

void Bridge::devicePortOpened()
{
    m_receiver->restart();
    m_board.setText(Field::DeviceState, StatusText::openSuccess());
}

void Bridge::sendTestRequest()
{
    SendTestRequest(m_testPort, m_board, requestBytes(m_match));
}

#include "tralvo.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "start.h"
#include "startup.h"
#include "statustext.h"
#include "testrequest.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {

// Sleeps in the event loop: every pass blocks until some event comes, and a timer makes sure
// one comes by the deadline.
void waitInEventLoop(const std::function<bool()> &ready, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!ready()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return;
        wake.start(static_cast<int>(left));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace

Tralvo::Tralvo(Start &window, CommControl &mscomm1, CommControl &mscomm2, DrawerLibrary &library,
               QObject *parent)
    : QObject(parent), m_window(window), m_mscomm1(mscomm1), m_mscomm2(mscomm2),
      m_library(library), m_pump{[] { QCoreApplication::processEvents(); }, waitInEventLoop}
{
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &Tralvo::retryDevicePort);
    connect(&m_mscomm1, &CommControl::onComm, this, &Tralvo::drainInput);
    connect(&m_window, &Start::requestClicked, this, &Tralvo::sendTestRequest);
    connect(&m_window, &Start::unloading, this, &Tralvo::unload);
    connect(&m_window, &Start::stateWritten, this, &Tralvo::reportState);
}

void Tralvo::reportState(Field field, const QString &text)
{
    if (text.isEmpty())
        return;
    const QString line =
        (field == Field::Label8 ? QLatin1String("Device: ") : QLatin1String("Test: ")) + text;
    // A hidden instance (a service, most often) has nobody looking at its window; its states go
    // to the log, which the service manager keeps.
    if (m_window.isInvisible())
        qCInfo(lcTralvo, "%s", qPrintable(line));
    Q_EMIT stateChanged(line);
}

void Tralvo::load(const QString &argumentText)
{
    const StartOutcome outcome = StartUp(argumentText, m_options, m_window, m_mscomm1);
    if (outcome == StartOutcome::PortFailed)
        startRetrying();
    // Known now, shown only at the first drawer command: say so while someone may be looking.
    if (outcome != StartOutcome::OptionsFailed && !toDecimal(m_options.profileField))
        qCWarning(lcTralvo,
                  "the profile field is not a number: \"%s\"; every drawer command "
                  "will fail",
                  qPrintable(m_options.profileField));
}

void Tralvo::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_retry.stop();
    // No pulse after shutdown: later events go unheard, and a drain that is still running finds
    // its port closed at its next read.
    disconnect(&m_mscomm1, &CommControl::onComm, this, &Tralvo::drainInput);
    ShutDown(m_mscomm1, m_mscomm2);
    if (m_window.isInvisible())
        qCInfo(lcTralvo, "shut down");
}

void Tralvo::quit()
{
    unload();
    m_window.close();
    QCoreApplication::quit();
}

void Tralvo::drainInput()
{
    DrainInput(m_mscomm1, m_window, m_options, m_library, m_pump);
    // The control closes a port that broke under it (a USB adapter pulled).
    if (!m_unloaded && !m_mscomm1.portOpen())
        startRetrying();
}

void Tralvo::sendTestRequest()
{
    SendTestRequest(m_mscomm2, m_window);
}

void Tralvo::startRetrying()
{
    if (m_retry.isActive())
        return;
    qCInfo(lcTralvo, "Device: trying the port again about once a second");
    m_retryFailure.reset();
    m_retry.start();
}

void Tralvo::retryDevicePort()
{
    try {
        ConfigurePort(m_mscomm1, m_window, Field::Label6, Field::Label7);
    } catch (...) {
        // The first failure is in the log already; a retry adds a line only when the reason
        // changes, never one a second.
        std::string failure = currentFailure();
        if (m_retryFailure && *m_retryFailure != failure)
            qCWarning(lcTralvo, "Device: %s", failure.c_str());
        m_retryFailure = std::move(failure);
        return;
    }
    m_retry.stop();
    qCInfo(lcTralvo, "Device: the port is open again");
    m_window.setCaption(Field::Label8, StatusText::openSuccess());
}

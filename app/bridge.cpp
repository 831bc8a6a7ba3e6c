#include "bridge.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "startup.h"
#include "statustext.h"
#include "statuswindow.h"
#include "testrequest.h"

#include <QCoreApplication>

Bridge::Bridge(StatusWindow &window, CommControl &devicePort, CommControl &testPort,
               DrawerLibrary &library, QObject *parent)
    : QObject(parent), m_window(window), m_devicePort(devicePort), m_testPort(testPort),
      m_library(library), m_pump(EventPump::applicationLoop())
{
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &Bridge::retryDevicePort);
    connect(&m_devicePort, &CommControl::onComm, this, &Bridge::drainInput);
    connect(&m_window, &StatusWindow::requestClicked, this, &Bridge::sendTestRequest);
    connect(&m_window, &StatusWindow::unloading, this, &Bridge::unload);
    connect(&m_window, &StatusWindow::stateWritten, this, &Bridge::reportState);
}

void Bridge::reportState(Field field, const QString &text)
{
    if (text.isEmpty())
        return;
    const QString line = QLatin1String(roleName(field)) + QLatin1String(": ") + text;
    // A hidden instance (a service, most often) has nobody looking at its window; its states go
    // to the log, which the service manager keeps.
    if (m_window.isKeptHidden())
        qCInfo(lcTralvo, "%s", qPrintable(line));
    Q_EMIT stateChanged(line);
}

void Bridge::load(const QString &argumentText)
{
    const StartOutcome outcome = StartUp(argumentText, m_options, m_window, m_devicePort);
    if (outcome == StartOutcome::PortFailed)
        startRetrying();
    // Known now, shown only at the first drawer command: say so while someone may be looking.
    if (outcome != StartOutcome::OptionsFailed && !toDecimal(m_options.profileField))
        qCWarning(lcTralvo,
                  "the profile field is not a number: \"%s\"; every drawer command "
                  "will fail",
                  qPrintable(m_options.profileField));
}

void Bridge::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_retry.stop();
    // No pulse after shutdown: later events go unheard, and a drain that is still running finds
    // its port closed at its next read.
    disconnect(&m_devicePort, &CommControl::onComm, this, &Bridge::drainInput);
    ShutDown(m_devicePort, m_testPort);
    if (m_window.isKeptHidden())
        qCInfo(lcTralvo, "shut down");
}

void Bridge::quit()
{
    unload();
    m_window.close();
    QCoreApplication::quit();
}

void Bridge::drainInput()
{
    DrainInput(m_devicePort, m_window, m_options, m_library, m_pump);
    // The control closes a port that broke under it (a USB adapter pulled).
    if (!m_unloaded && !m_devicePort.portOpen())
        startRetrying();
}

void Bridge::sendTestRequest()
{
    SendTestRequest(m_testPort, m_window);
}

void Bridge::startRetrying()
{
    if (m_retry.isActive())
        return;
    qCInfo(lcTralvo, "Device: trying the port again about once a second");
    m_retryFailure.reset();
    m_retry.start();
}

void Bridge::retryDevicePort()
{
    try {
        ConfigurePort(m_devicePort, m_window, Field::DevicePort, Field::DeviceBaud);
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
    m_window.setCaption(Field::DeviceState, StatusText::openSuccess());
}

#include "tralvo.h"

#include "commcontrol.h"
#include "receivehandler.h"
#include "start.h"
#include "startup.h"
#include "testrequest.h"

#include <QCoreApplication>

#include <cstdio>

Tralvo::Tralvo(Start &window, CommControl &mscomm1, CommControl &mscomm2, DrawerLibrary &library,
               QObject *parent)
    : QObject(parent), m_window(window), m_mscomm1(mscomm1), m_mscomm2(mscomm2), m_library(library)
{
    connect(&m_mscomm1, &CommControl::onComm, this, &Tralvo::drainInput);
    connect(&m_window, &Start::requestClicked, this, &Tralvo::sendTestRequest);
    connect(&m_window, &Start::unloading, this, &Tralvo::unload);
    connect(&m_window, &Start::stateWritten, this, &Tralvo::reportState);
}

void Tralvo::reportState(Field field, const QString &text) const
{
    // A hidden instance (a service, most often) has nobody looking at its window; its states go
    // to standard error, which the service manager keeps.
    if (!m_window.isInvisible() || text.isEmpty())
        return;
    const char *group = field == Field::Label8 ? "Device" : "Test";
    std::fprintf(stderr, "tralvo: %s: %s\n", group, qPrintable(text));
    std::fflush(stderr);
}

void Tralvo::load(const QString &argumentText)
{
    StartUp(argumentText, m_options, m_window, m_mscomm1);
}

void Tralvo::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // No pulse after shutdown: later events go unheard, and a drain that is still running finds
    // its port closed at its next read.
    disconnect(&m_mscomm1, &CommControl::onComm, this, &Tralvo::drainInput);
    ShutDown(m_mscomm1, m_mscomm2);
}

void Tralvo::quit()
{
    unload();
    m_window.close();
    QCoreApplication::quit();
}

void Tralvo::drainInput()
{
    DrainInput(m_mscomm1, m_window, m_options, m_library,
               [] { QCoreApplication::processEvents(); });
}

void Tralvo::sendTestRequest()
{
    SendTestRequest(m_mscomm2, m_window);
}

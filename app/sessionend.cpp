#include "sessionend.h"

#include <QByteArray>

#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

SessionEndFilter::SessionEndFilter(std::function<void()> shutDown) : m_shutDown(std::move(shutDown))
{
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
bool SessionEndFilter::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
#else
bool SessionEndFilter::nativeEventFilter(const QByteArray &eventType, void *message, long *)
#endif
{
#ifdef Q_OS_WIN
    // The same message may be seen more than once; the shutdown runs only once anyway.
    if (eventType == "windows_generic_MSG") {
        const auto *msg = static_cast<const MSG *>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam)
            m_shutDown();
    }
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
#endif
    return false; // Qt goes on to quit the event loop as usual
}

#pragma once

#include <QAbstractNativeEventFilter>
#include <QtGlobal>

#include <functional>

// Runs the shutdown when Windows ends the session (log-off, shut-down): Windows may end the
// process as soon as WM_ENDSESSION has been handled, so the ports are closed while it is.
// Does nothing on other systems.
class SessionEndFilter : public QAbstractNativeEventFilter
{
public:
    explicit SessionEndFilter(std::function<void()> shutDown);

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
#else
    bool nativeEventFilter(const QByteArray &eventType, void *message, long *result) override;
#endif

private:
    std::function<void()> m_shutDown;
};

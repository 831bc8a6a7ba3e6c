#include "servicenotifier.h"

#include "logging.h"

#ifdef TRALVO_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>
#endif

ServiceNotifier::ServiceNotifier(QObject *parent) : QObject(parent)
{
#ifdef TRALVO_HAVE_SYSTEMD
    connect(&m_watchdog, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
#endif
}

void ServiceNotifier::ready()
{
#ifdef TRALVO_HAVE_SYSTEMD
    sd_notify(0, "READY=1");
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // Pinged at half the interval, so a late ping is never a missed one.
        const std::uint64_t ms =
            std::clamp<std::uint64_t>(usec / 2000, 1, std::uint64_t{24} * 3600 * 1000);
        m_watchdog.start(static_cast<int>(ms));
        qCInfo(lcTralvo, "watchdog: pinging every %d ms", m_watchdog.interval());
    }
#endif
}

void ServiceNotifier::status(const QString &line)
{
#ifdef TRALVO_HAVE_SYSTEMD
    sd_notifyf(0, "STATUS=%s", qPrintable(line));
#else
    Q_UNUSED(line)
#endif
}

void ServiceNotifier::stopping()
{
    m_watchdog.stop();
#ifdef TRALVO_HAVE_SYSTEMD
    sd_notify(0, "STOPPING=1");
#endif
}

#include "signalwatcher.h"

#ifdef Q_OS_UNIX

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_fds[2] = {-1, -1};
constexpr std::array<int, 3> watched{SIGTERM, SIGINT, SIGHUP};
struct sigaction g_previous[watched.size()];

extern "C" void onSignal(int signalNumber)
{
    // Only async-signal-safe work here: hand the number to the event loop.
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    errno = saved;
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    Q_ASSERT(g_fds[0] < 0);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0)
        qFatal("socketpair failed");
    auto *notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < watched.size(); ++i)
        ::sigaction(watched[i], &action, &g_previous[i]);
}

SignalWatcher::~SignalWatcher()
{
    for (std::size_t i = 0; i < watched.size(); ++i)
        ::sigaction(watched[i], &g_previous[i], nullptr);
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void SignalWatcher::readSignal()
{
    unsigned char byte = 0;
    if (::read(g_fds[1], &byte, 1) == 1)
        Q_EMIT terminationRequested(byte);
}

#else

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent) {}
SignalWatcher::~SignalWatcher() = default;
void SignalWatcher::readSignal() {}

#endif

#include "activatedsocket.h"

#include "logging.h"

#ifdef TRALVO_HAVE_SYSTEMD
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <memory>
#endif

SocketRoles socketRoles(const QStringList &names)
{
    SocketRoles roles;
    roles.webDoor = static_cast<int>(names.indexOf(QStringLiteral("web")));
    roles.webDoorTls = static_cast<int>(names.indexOf(QStringLiteral("https")));
    roles.printPort = static_cast<int>(names.indexOf(QStringLiteral("print")));
    for (int i = 0; roles.printPort < 0 && i < names.size(); ++i) {
        if (names[i] != QLatin1String("web") && names[i] != QLatin1String("https"))
            roles.printPort = i;
    }
    return roles;
}

#ifdef TRALVO_HAVE_SYSTEMD
namespace {

// sd_listen_fds_with_names gives a NULL-terminated array of malloc'ed names.
struct FreeNames
{
    void operator()(char **names) const
    {
        for (char **name = names; *name != nullptr; ++name)
            std::free(*name); // NOLINT(cppcoreguidelines-no-malloc): libsystemd's allocation
        std::free(names);     // NOLINT(cppcoreguidelines-no-malloc)
    }
};

// The descriptor of the handed-over socket at index, or -1 when there is none or it is no
// listening stream socket (group: the log's name for what it was meant for).
qintptr listeningStream(int index, const char *group)
{
    if (index < 0)
        return -1;
    const int fd = SD_LISTEN_FDS_START + index;
    if (sd_is_socket(fd, AF_UNSPEC, SOCK_STREAM, 1) <= 0) {
        qCWarning(lcTralvo,
                  "%s: what the service manager handed over is no listening stream socket", group);
        return -1;
    }
    return fd;
}

} // namespace
#endif

HandedOverSockets takeActivatedSockets()
{
    HandedOverSockets sockets;
#ifdef TRALVO_HAVE_SYSTEMD
    char **given = nullptr;
    // The names first, leaving the variables: names that do not match the sockets (not from
    // systemd) leave the sockets unnamed rather than lost.
    const int named = sd_listen_fds_with_names(0, &given);
    const std::unique_ptr<char *, FreeNames> owned(given);
    const int count = sd_listen_fds(1);
    if (count < 1)
        return sockets;
    if (named != count)
        qCWarning(lcTralvo, "Network: the names of the sockets the service manager handed over "
                            "do not match them; they are taken as unnamed");
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << (named == count ? QString::fromUtf8(given[i]) : QString());
    const SocketRoles roles = socketRoles(names);
    for (int i = 0; i < count; ++i) {
        if (i != roles.printPort && i != roles.webDoor && i != roles.webDoorTls)
            qCWarning(lcTralvo,
                      "Network: the service manager handed over a socket named \"%s\" "
                      "beside the ones taken; it is left unused",
                      qPrintable(names[i]));
    }
    sockets.printPort = listeningStream(roles.printPort, "Network");
    sockets.webDoor = listeningStream(roles.webDoor, "Web");
    sockets.webDoorTls = listeningStream(roles.webDoorTls, "Web");
#endif
    return sockets;
}

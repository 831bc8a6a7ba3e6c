#include "activatedsocket.h"

#include "logging.h"

#ifdef TRALVO_HAVE_SYSTEMD
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#endif

qintptr takeActivatedListenSocket()
{
#ifdef TRALVO_HAVE_SYSTEMD
    const int count = sd_listen_fds(1);
    if (count < 1)
        return -1;
    if (count > 1)
        qCWarning(lcTralvo,
                  "Network: the service manager handed over %d sockets; the first is "
                  "taken",
                  count);
    const int fd = SD_LISTEN_FDS_START;
    if (sd_is_socket(fd, AF_UNSPEC, SOCK_STREAM, 1) <= 0) {
        qCWarning(lcTralvo, "Network: what the service manager handed over is no listening "
                            "stream socket");
        return -1;
    }
    return fd;
#else
    return -1;
#endif
}

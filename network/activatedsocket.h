#pragma once

#include "handedoversockets.h"

#include <QStringList>

// Which of the sockets a service manager handed over serves what, by the names their socket
// units give them (FileDescriptorName=): "web" is the web door's, "https" the web door's over
// TLS, "print" the print port's. With none named "print", the first socket named otherwise is
// the print port's, so that a unit that names none (systemd then calls it by the unit's name;
// systemd-socket-activate, "unknown") keeps serving as the print port. The first of each role is
// taken; indexes into names, -1 for none.
struct SocketRoles
{
    int printPort = -1;
    int webDoor = -1;
    int webDoorTls = -1;
};
SocketRoles socketRoles(const QStringList &names);

// The listening sockets the service manager handed over (systemd's socket activation:
// tralvo.socket, tralvo-web.socket, tralvo-https.socket), each -1 when there is none or it is no
// listening stream socket. Taken once; the variables that told of them are cleared so that no
// child inherits them.
HandedOverSockets takeActivatedSockets();

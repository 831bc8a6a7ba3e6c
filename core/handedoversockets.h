#pragma once

#include <QtGlobal>

// The listening sockets a service manager made for this run (socket activation), as plain
// descriptors; -1 for none. network/activatedsocket.h takes them from systemd.
struct HandedOverSockets
{
    qintptr printPort = -1;  // the network print port's (what --listen makes)
    qintptr webDoor = -1;    // the web door's (what --http makes)
    qintptr webDoorTls = -1; // the web door's over TLS (what --https makes)
};

#pragma once

#include <QtGlobal>

// The listening socket the service manager handed over (systemd's socket activation: a
// tralvo.socket unit), or -1 when there is none. Taken once; the variables that told of it are
// cleared so that no child inherits them.
qintptr takeActivatedListenSocket();

#pragma once

#include <QByteArray>
#include <QList>

// ESC p, the opening of the ESC/POS drawer-kick command: what a received text must begin with,
// and what the Request button sends. The one place these two bytes are written.
QByteArray drawerKickOpening();

// The recognised command openings, in order: ESC p.
const QList<QByteArray> &drawerCommands();

// The length of the longest entry: no more of a received text can decide a match.
int longestDrawerCommand();

// True when the text begins with one of the drawerCommands.
bool IsDrawerCommand(const QByteArray &text);

// True when the text is a strict, non-empty beginning of one of the drawerCommands (ESC alone):
// the next byte decides whether it is a command.
bool isDrawerCommandOpening(const QByteArray &text);

#pragma once

#include <QByteArray>
#include <QList>

// The recognised command openings, in order: ESC p, the start of the drawer-kick command.
const QList<QByteArray> &DrawerCommands();

// The length of the longest entry: no more of a received text can decide a match.
int longestDrawerCommand();

// True when the text begins with one of the DrawerCommands.
bool IsDrawerCommand(const QByteArray &text);

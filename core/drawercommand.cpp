#include "drawercommand.h"

#include <algorithm>

QByteArray drawerKickOpening()
{
    return QByteArrayLiteral("\x1b\x70");
}

const QList<QByteArray> &drawerCommands()
{
    static const QList<QByteArray> table{drawerKickOpening()};
    return table;
}

int longestDrawerCommand()
{
    static const int longest = [] {
        int n = 0;
        for (const QByteArray &entry : drawerCommands())
            n = std::max(n, static_cast<int>(entry.size()));
        return n;
    }();
    return longest;
}

bool IsDrawerCommand(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    bool result = false;
    for (const QByteArray &entry : drawerCommands()) {
        if (text.left(entry.size()) == entry)
            result = true;
    }
    return result;
}

bool isDrawerCommandOpening(const QByteArray &text)
{
    const QList<QByteArray> &table = drawerCommands();
    return !text.isEmpty() &&
           std::any_of(table.begin(), table.end(), [&text](const QByteArray &entry) {
               return text.size() < entry.size() && entry.startsWith(text);
           });
}

#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QString>

// Files the build made, found from the test program's own folder: the tests find them however
// the build tree is seen (under Wine, through a drive letter).
inline QString builtFile(const char *relativeToTests)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QLatin1String(relativeToTests));
}

// The stand-in drawer library, under the name the program looks for (libCashBox.so, CashBox.dll).
inline QString standinLibrary()
{
    return builtFile(TRALVO_STANDIN_FROM_TESTS);
}

inline QString standinFolder()
{
    return QFileInfo(standinLibrary()).absolutePath();
}

// A shared library that is not the drawer library: it has no CashBoxNormalGPIO.
inline QString otherLibrary()
{
    return builtFile(TRALVO_OTHER_LIBRARY_FROM_TESTS);
}

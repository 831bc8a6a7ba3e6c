#include "portname.h"

#include <QDir>
#include <QtGlobal>

QString portLocation(int portNumber)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    const QString folder = qEnvironmentVariable("TRALVO_COMDIR");
    if (!folder.isEmpty())
        return QDir(folder).filePath(QStringLiteral("com%1").arg(portNumber));
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

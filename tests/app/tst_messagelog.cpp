#include "logging.h"
#include "messagelog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly | QIODevice::Text) ? f.readAll() : QByteArray();
}

} // namespace

class TestMessageLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void logLinesReachTheFile();
    void boundedToTwoFiles();
};

void TestMessageLog::logLinesReachTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tralvo/tralvo.log"));
    {
        MessageLog log(path);
        qCWarning(lcTralvo, "Device: cannot open COM9: the system cannot find the file");
        qCInfo(lcTralvo, "Device: Open Failed");
    }
    // Once the log is gone, nothing more goes to its file.
    qCInfo(lcTralvo, "after the log");
    const QByteArray text = contents(path);
    QCOMPARE(text.count('\n'), 2);
    QVERIFY2(text.contains(" tralvo: Device: cannot open COM9: the system cannot find the file\n"),
             text.constData());
    QVERIFY(text.contains(" tralvo: Device: Open Failed\n"));
    QVERIFY(!text.contains("after the log"));
}

void TestMessageLog::boundedToTwoFiles()
{
    QTemporaryDir dir;
    constexpr qint64 maxBytes = 4096;
    MessageLog log(dir.filePath(QStringLiteral("tralvo.log")), maxBytes);
    QCOMPARE(log.previousPath(), dir.filePath(QStringLiteral("tralvo.old.log")));
    for (int i = 0; i < 1000; ++i)
        log.write(QStringLiteral("tralvo: line %1").arg(i, 4, 10, QLatin1Char('0')));

    const QByteArray current = contents(log.path());
    const QByteArray previous = contents(log.previousPath());
    // Sizes as read back (a Windows line end is two bytes on disk, one here).
    QVERIFY(current.size() <= maxBytes && previous.size() <= maxBytes);
    QVERIFY(previous.size() > maxBytes / 2);
    QVERIFY(current.endsWith("tralvo: line 0999\n"));
    // The previous file ends where the current one begins: nothing lost between them.
    const QByteArray firstKept = current.left(current.indexOf('\n')).split(' ').last();
    const int first = firstKept.mid(firstKept.size() - 4).toInt();
    QVERIFY2(
        previous.contains(
            QStringLiteral("tralvo: line %1\n").arg(first - 1, 4, 10, QLatin1Char('0')).toLatin1()),
        firstKept.constData());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"

#include "characterdevice.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestCharacterDevice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesEverythingInOrderWithoutBlocking();
};

// A FIFO stands in for a printer class device: no terminal, and slower than the writer (it takes
// 64 KiB until its reader reads).
void TestCharacterDevice::writesEverythingInOrderWithoutBlocking()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lp0"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    QVERIFY(CharacterDevice::isCharacterDevice(path));
    QVERIFY(!CharacterDevice::isCharacterDevice(dir.filePath(QStringLiteral("missing"))));

    CharacterDevice device(path);
    QVERIFY2(device.open(QIODevice::WriteOnly), qPrintable(device.errorString()));
    qint64 reported = 0;
    connect(&device, &QIODevice::bytesWritten, this, [&reported](qint64 n) { reported += n; });
    QByteArray job;
    for (int i = 0; job.size() < 300 * 1024; ++i)
        job += QByteArray::number(i) + ' ';
    QCOMPARE(device.write(job), qint64(job.size())); // taken at once, though the FIFO is full

    QByteArray got;
    char buffer[4096];
    QDeadlineTimer deadline(10000);
    while (got.size() < job.size() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const ssize_t n = ::read(reader, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, static_cast<int>(n));
    }
    ::close(reader);
    QCOMPARE(got, job);
    QCOMPARE(reported, qint64(job.size()));
    QCOMPARE(device.bytesToWrite(), qint64(0));
}

QTEST_GUILESS_MAIN(TestCharacterDevice)
#include "tst_characterdevice.moc"

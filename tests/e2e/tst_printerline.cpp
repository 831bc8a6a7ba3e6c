#include "programrun.h"
#include "ptypair.h"

#include <QFile>
#include <QtTest>

namespace {

const QByteArray kick("\x1b\x70\x00\x19\xfa", 5);

// GS v 0: a raster image 8 bytes wide and 4 rows high whose data holds both drawer kicks.
QByteArray rasterHoldingKicks()
{
    QByteArray data = kick + QByteArray("\x10\x14\x01\x00\x05", 5);
    data += QByteArray(32 - data.size(), '\x55');
    return QByteArray("\x1d\x76\x30\x00\x08\x00\x04\x00", 8) + data;
}

// Numbered lines: a byte lost, doubled or moved shows as a difference.
QByteArray numberedLines(int bytes)
{
    QByteArray job;
    job.reserve(bytes);
    for (int line = 0; job.size() < bytes; ++line)
        job += QByteArray::number(line).rightJustified(7, '0') + '\n';
    job.truncate(bytes);
    return job;
}

QByteArray firstDifference(const QByteArray &got, const QByteArray &sent)
{
    int i = 0;
    while (i < got.size() && i < sent.size() && got[i] == sent[i])
        ++i;
    return QStringLiteral("got %1 of %2 bytes, first difference at %3")
        .arg(got.size())
        .arg(sent.size())
        .arg(i)
        .toLatin1();
}

} // namespace

// The built program in the printer line: the POS writes to COM8 (joined to the Device port
// COM9), and the receipt printer is the far end, COM4, of a second pair whose COM3 Tralvo opens.
class TestPrinterLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void jobReachesPrinter_data();
    void jobReachesPrinter();
    void statusReplyReachesPos();
    void printerPairGoneAndBack();
    void slowPrinterGetsEverything();

private:
    bool startWithPrinter();
    bool makePrinterPair();

    std::unique_ptr<ComDir> m_dir;
    std::unique_ptr<SocatPair> m_posPair;
    std::unique_ptr<SocatPair> m_printerPair;
    std::unique_ptr<PortEnd> m_printer;
    std::unique_ptr<ProgramRun> m_run;
};

void TestPrinterLine::init()
{
    m_dir = std::make_unique<ComDir>();
    m_posPair = std::make_unique<SocatPair>(*m_dir, 9, 8);
    QVERIFY(m_posPair->isRunning());
    m_run = std::make_unique<ProgramRun>(*m_dir);
}

void TestPrinterLine::cleanup()
{
    m_run.reset();
    m_printer.reset();
    m_printerPair.reset();
    m_posPair.reset();
    m_dir.reset();
}

bool TestPrinterLine::makePrinterPair()
{
    m_printer.reset();
    m_printerPair = std::make_unique<SocatPair>(*m_dir, 3, 4);
    m_printer = std::make_unique<PortEnd>(m_dir->port(4));
    return m_printerPair->isRunning() && m_printer->isOpen();
}

bool TestPrinterLine::startWithPrinter()
{
    return makePrinterPair() &&
           m_run->start({QStringLiteral("--printer=COM3"), QStringLiteral("1,0")}) &&
           m_run->waitUntilHolding(3, true, 5000);
}

void TestPrinterLine::jobReachesPrinter_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<int>("pulses");

    const QByteArray receipt("\x1b@Coffee        2.40\nTotal          2.40\n\n");
    QTest::newRow("receipt, image, kick")
        << receipt + rasterHoldingKicks() + "\x1b@" + kick + "\x1dV\x01" << 1;
    QTest::newRow("image holding kick bytes") << receipt + rasterHoldingKicks() << 0;
    QTest::newRow("real-time pulse after text")
        << QByteArray("Thank you\n\x10\x14\x01\x00\x05", 15) << 1;
}

void TestPrinterLine::jobReachesPrinter()
{
    QFETCH(QByteArray, job);
    QFETCH(int, pulses);
    QVERIFY(startWithPrinter());
    QTRY_VERIFY(m_run->standardError().contains("tralvo: Printer: Open Success"));

    QVERIFY(writeToPort(m_dir->port(8), job));
    const QByteArray got = m_printer->read(static_cast<int>(job.size()), 5000);
    QVERIFY2(got == job, firstDifference(got, job).constData());
    QTRY_COMPARE(m_run->pulses().size(), pulses);
    QTest::qWait(300); // a second pulse for the one job would show by now
    QCOMPARE(m_run->pulses().size(), pulses);
}

void TestPrinterLine::statusReplyReachesPos()
{
    QVERIFY(startWithPrinter());
    const PortEnd pos(m_dir->port(8));
    QVERIFY(pos.isOpen());

    // DLE EOT 1: the printer answers with one status byte, and the POS gets it.
    QVERIFY(pos.write(QByteArray("\x10\x04\x01", 3)));
    QCOMPARE(m_printer->read(3, 5000), QByteArray("\x10\x04\x01", 3));
    QVERIFY(m_printer->write(QByteArray("\x16", 1)));
    QCOMPARE(pos.read(1, 5000), QByteArray("\x16", 1));
    QCOMPARE(m_run->pulses().size(), 0);
}

void TestPrinterLine::printerPairGoneAndBack()
{
    // Missing at start: the program runs, says so, and holds the job until the printer comes.
    QVERIFY(m_run->start({QStringLiteral("--printer=COM3"), QStringLiteral("1,0")}));
    QTRY_VERIFY(m_run->standardError().contains("tralvo: Printer: Open Failed"));
    const QByteArray first = QByteArray("\x1b@first job\n") + kick;
    QVERIFY(writeToPort(m_dir->port(8), first));
    QTRY_COMPARE(m_run->pulses().size(), 1);
    QVERIFY(makePrinterPair());
    QCOMPARE(m_printer->read(static_cast<int>(first.size()), 5000), first);
    QTRY_VERIFY(m_run->standardError().contains("tralvo: Printer: Open Success"));

    // Lost while running: the next job waits for the pair to be made again, then arrives whole.
    m_printer.reset();
    m_printerPair.reset();
    QVERIFY(m_run->waitUntilHolding(3, false, 5000));
    const QByteArray second = QByteArray("\x1b@second job\n") + rasterHoldingKicks() + kick;
    QVERIFY(writeToPort(m_dir->port(8), second));
    QTRY_COMPARE(m_run->pulses().size(), 2);
    QTest::qWait(1500); // a retry or two with the printer still gone
    QVERIFY(makePrinterPair());
    const QByteArray got = m_printer->read(static_cast<int>(second.size()), 5000);
    QVERIFY2(got == second, firstDifference(got, second).constData());
    QCOMPARE(m_printer->read(1, 300), QByteArray()); // and nothing twice
    QCOMPARE(m_run->pulses().size(), 2);
}

void TestPrinterLine::slowPrinterGetsEverything()
{
    QVERIFY(startWithPrinter());
    const QByteArray job = numberedLines(2 * 1024 * 1024);
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("job")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(job) == job.size());
    file.close();

    // The POS writes the job at full speed; the printer reads nothing for a second.
    QProcess pos;
    pos.setStandardOutputFile(m_dir->port(8), QIODevice::Append);
    pos.start(QStringLiteral("cat"), {file.fileName()});
    QVERIFY(pos.waitForStarted(5000));
    QVERIFY(!pos.waitForFinished(1000));
    // Tralvo holds about 1 MiB and the ports a little; past that the POS has to wait.
    QVERIFY2(pos.state() == QProcess::Running, "the whole job was taken with no printer reading");

    // Then it reads in small pieces, a few milliseconds apart.
    QByteArray got;
    while (got.size() < job.size()) {
        const QByteArray piece = m_printer->read(1, 5000);
        if (piece.isEmpty())
            break;
        got += piece;
        QThread::msleep(5);
    }
    QVERIFY2(got == job, firstDifference(got, job).constData());
    QVERIFY(pos.waitForFinished(5000));
    QCOMPARE(pos.exitCode(), 0);
    QCOMPARE(m_printer->read(1, 300), QByteArray());
    QCOMPARE(m_run->pulses().size(), 0);
}

QTEST_GUILESS_MAIN(TestPrinterLine)
#include "tst_printerline.moc"

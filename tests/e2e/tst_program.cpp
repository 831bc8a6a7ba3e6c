#include "programrun.h"
#include "ptypair.h"

#include <QFile>
#include <QtTest>

#include <csignal>

namespace {

const QByteArray kick("\x1b\x70\x00\x19\xfa", 5);

// The UUCP-style lock file that serial programs on Linux take for a port.
bool lockFileExists(const QString &port)
{
    const QString name =
        QStringLiteral("LCK..") + QString(port).replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : {"/var/lock", "/run/lock", "/tmp"}) {
        if (QFile::exists(QLatin1String(folder) + QLatin1Char('/') + name))
            return true;
    }
    return false;
}

} // namespace

// The built program, hidden, with no display at all, on a socat pair and the stand-in drawer.
class TestProgram : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void pulsesWithProfile_data();
    void pulsesWithProfile();
    void ignoresDataNotStartingWithCommand();
    void discardsBytesSentBeforeStart();
    void lostPeerLeavesItIdle();
    void hiddenRunsWithoutDisplay_data();
    void hiddenRunsWithoutDisplay();
    void endsInOrderOnSignal_data();
    void endsInOrderOnSignal();
    void visibleWithoutDisplayFailsClearly();

private:
    std::unique_ptr<ComDir> m_dir;
    std::unique_ptr<SocatPair> m_pair;
    std::unique_ptr<ProgramRun> m_run;
};

void TestProgram::init()
{
    m_dir = std::make_unique<ComDir>();
    m_pair = std::make_unique<SocatPair>(*m_dir, 9, 8);
    QVERIFY(m_pair->isRunning());
    m_run = std::make_unique<ProgramRun>(*m_dir);
}

void TestProgram::cleanup()
{
    m_run.reset();
    m_pair.reset();
    m_dir.reset();
}

void TestProgram::pulsesWithProfile_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QByteArray>("texts");
    QTest::newRow("1,0") << "1,0" << QByteArray("\"53a\" \"5\" \"538\" \"6\" -> 0");
    QTest::newRow("1,1") << "1,1" << QByteArray("\"50d\" \"6\" \"501\" \"5\" -> 0");
}

void TestProgram::pulsesWithProfile()
{
    QFETCH(QString, arguments);
    QFETCH(QByteArray, texts);
    QVERIFY(m_run->start({arguments}));
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(m_run->pulses().size(), 1);
    QVERIFY2(m_run->pulses().first().endsWith(texts), m_run->pulses().first().constData());
    QTest::qWait(200);
    QCOMPARE(m_run->pulses().size(), 1);

    // Hidden, it reports its states on standard error.
    const QByteArray err = m_run->standardError();
    QVERIFY2(err.contains("tralvo: Device: Open Success\n"), err.constData());
    QVERIFY2(err.contains("tralvo: Device: Receive Success\n"), err.constData());
}

void TestProgram::ignoresDataNotStartingWithCommand()
{
    QVERIFY(m_run->start({QStringLiteral("1,0")}));
    QVERIFY(writeToPort(m_dir->port(8), QByteArray("\x00\x1b\x70", 3)));
    QTest::qWait(300);
    // A command afterwards proves the noise was taken and judged, not just late.
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(m_run->pulses().size(), 1);
    QTest::qWait(200);
    QCOMPARE(m_run->pulses().size(), 1);
}

void TestProgram::discardsBytesSentBeforeStart()
{
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTest::qWait(100);
    QVERIFY(m_run->start({QStringLiteral("1,0")}));
    QTest::qWait(300);
    QCOMPARE(m_run->pulses().size(), 0);
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(m_run->pulses().size(), 1);
}

void TestProgram::lostPeerLeavesItIdle()
{
    QVERIFY(m_run->start({QStringLiteral("1,0")}));
    m_pair->stop();
    QVERIFY(m_run->waitUntilHolding(9, false, 5000));
    const qint64 before = processCpuTicks(m_run->pid());
    QTest::qWait(idleWindowMs);
    const qint64 after = processCpuTicks(m_run->pid());
    QVERIFY(before >= 0);
    QVERIFY2(after - before <= idleTickBound,
             qPrintable(QStringLiteral("%1 ticks").arg(after - before)));
    m_run->process().terminate();
    QVERIFY(m_run->process().waitForFinished(5000));
    QCOMPARE(m_run->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_run->process().exitCode(), 0);
}

void TestProgram::hiddenRunsWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("display");
    // A service that inherited a DISPLAY whose server is gone.
    QTest::newRow("unreachable display") << QStringList{QStringLiteral("1,0")} << ":4999";
    // A Qt option that only begins like -platform leaves the choice of platform to tralvo.
    QTest::newRow("-platformtheme, no display")
        << QStringList{QStringLiteral("-platformtheme"), QStringLiteral("x"), QStringLiteral("1,0")}
        << QString();
}

void TestProgram::hiddenRunsWithoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, display);
    if (!display.isEmpty())
        m_run->environment().insert(QStringLiteral("DISPLAY"), display);
    QVERIFY(m_run->start(arguments));
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(m_run->pulses().size(), 1);
}

void TestProgram::endsInOrderOnSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestProgram::endsInOrderOnSignal()
{
    QFETCH(int, signalNumber);
    QVERIFY(m_run->start({QStringLiteral("1,0")}));
    QVERIFY(lockFileExists(m_dir->port(9)));
    QCOMPARE(::kill(static_cast<pid_t>(m_run->pid()), signalNumber), 0);
    QVERIFY(m_run->process().waitForFinished(5000));
    QCOMPARE(m_run->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_run->process().exitCode(), 0);
    QVERIFY(!lockFileExists(m_dir->port(9)));

    // The port and its lock are free again.
    QVERIFY(PortHolder(m_dir->port(9)).held());
}

void TestProgram::visibleWithoutDisplayFailsClearly()
{
    for (const QString &arguments : {QStringLiteral("0,0"), QStringLiteral("x,0")}) {
        ProgramRun run(*m_dir);
        QVERIFY(run.launch({arguments}));
        QVERIFY(run.process().waitForFinished(10000));
        QCOMPARE(run.process().exitStatus(), QProcess::NormalExit);
        QVERIFY(run.process().exitCode() != 0);
        const QByteArray err = run.standardError();
        QVERIFY2(err.contains("tralvo: no display"), err.constData());
    }
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"

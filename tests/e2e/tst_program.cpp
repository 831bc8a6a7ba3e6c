#include "ptypair.h"

#include <QFile>
#include <QProcess>
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
    bool start(const QString &arguments, const QString &display = QString());
    bool start(const QStringList &arguments, const QString &display);
    QList<QByteArray> pulses() const;

    std::unique_ptr<ComDir> m_dir;
    std::unique_ptr<SocatPair> m_pair;
    std::unique_ptr<QTemporaryDir> m_logDir;
    std::unique_ptr<QProcess> m_tralvo;
};

void TestProgram::init()
{
    m_dir = std::make_unique<ComDir>();
    m_pair = std::make_unique<SocatPair>(*m_dir, 9, 8);
    QVERIFY(m_pair->isRunning());
    m_logDir = std::make_unique<QTemporaryDir>();
}

void TestProgram::cleanup()
{
    // Ended in order, so that no lock is left behind.
    if (m_tralvo && m_tralvo->state() != QProcess::NotRunning) {
        m_tralvo->terminate();
        if (!m_tralvo->waitForFinished(5000)) {
            m_tralvo->kill();
            m_tralvo->waitForFinished(5000);
        }
    }
    m_tralvo.reset();
    m_pair.reset();
    m_dir.reset();
    m_logDir.reset();
}

bool TestProgram::start(const QString &arguments, const QString &display)
{
    return start(QStringList{arguments}, display);
}

bool TestProgram::start(const QStringList &arguments, const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("TRALVO_COMDIR"), m_dir->path());
    env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(TRALVO_STANDIN_DIR));
    env.insert(QStringLiteral("CASHBOX_STANDIN_LOG"), m_logDir->filePath(QStringLiteral("pulses")));
    m_tralvo = std::make_unique<QProcess>();
    m_tralvo->setProcessEnvironment(env);
    m_tralvo->start(QStringLiteral(TRALVO_BINARY), arguments);
    if (!m_tralvo->waitForStarted(5000))
        return false;
    // Started once it holds the Device port.
    const QDeadlineTimer deadline(10000);
    while (!processHoldsFile(m_tralvo->processId(), m_dir->port(9))) {
        if (deadline.hasExpired() || m_tralvo->state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return true;
}

QList<QByteArray> TestProgram::pulses() const
{
    QFile f(m_logDir->filePath(QStringLiteral("pulses")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
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
    QVERIFY(start(arguments));
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(pulses().size(), 1);
    QVERIFY2(pulses().first().endsWith(texts), pulses().first().constData());
    QTest::qWait(200);
    QCOMPARE(pulses().size(), 1);

    // Hidden, it reports its states on standard error.
    const QByteArray err = m_tralvo->readAllStandardError();
    QVERIFY2(err.contains("tralvo: Device: Open Success\n"), err.constData());
    QVERIFY2(err.contains("tralvo: Device: Receive Success\n"), err.constData());
}

void TestProgram::ignoresDataNotStartingWithCommand()
{
    QVERIFY(start(QStringLiteral("1,0")));
    QVERIFY(writeToPort(m_dir->port(8), QByteArray("\x00\x1b\x70", 3)));
    QTest::qWait(300);
    // A command afterwards proves the noise was taken and judged, not just late.
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(pulses().size(), 1);
    QTest::qWait(200);
    QCOMPARE(pulses().size(), 1);
}

void TestProgram::discardsBytesSentBeforeStart()
{
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTest::qWait(100);
    QVERIFY(start(QStringLiteral("1,0")));
    QTest::qWait(300);
    QCOMPARE(pulses().size(), 0);
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(pulses().size(), 1);
}

void TestProgram::lostPeerLeavesItIdle()
{
    QVERIFY(start(QStringLiteral("1,0")));
    m_pair->stop();
    QTRY_VERIFY(!processHoldsFile(m_tralvo->processId(), m_dir->port(9)) ||
                m_tralvo->state() != QProcess::Running);
    QCOMPARE(m_tralvo->state(), QProcess::Running);
    const qint64 before = processCpuTicks(m_tralvo->processId());
    QTest::qWait(1500);
    const qint64 after = processCpuTicks(m_tralvo->processId());
    QVERIFY(before >= 0);
    // A busy loop would take most of the 150 ticks; an idle process takes none.
    QVERIFY2(after - before <= 2, qPrintable(QStringLiteral("%1 ticks").arg(after - before)));
    m_tralvo->terminate();
    QVERIFY(m_tralvo->waitForFinished(5000));
    QCOMPARE(m_tralvo->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_tralvo->exitCode(), 0);
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
    QVERIFY(start(arguments, display));
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(pulses().size(), 1);
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
    QVERIFY(start(QStringLiteral("1,0")));
    QVERIFY(lockFileExists(m_dir->port(9)));
    QCOMPARE(::kill(static_cast<pid_t>(m_tralvo->processId()), signalNumber), 0);
    QVERIFY(m_tralvo->waitForFinished(5000));
    QCOMPARE(m_tralvo->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_tralvo->exitCode(), 0);
    QVERIFY(!lockFileExists(m_dir->port(9)));

    // The port and its lock are free again.
    QVERIFY(PortHolder(m_dir->port(9)).held());
}

void TestProgram::visibleWithoutDisplayFailsClearly()
{
    for (const QString &arguments : {QStringLiteral("0,0"), QStringLiteral("x,0")}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("TRALVO_COMDIR"), m_dir->path());
        QProcess tralvo;
        tralvo.setProcessEnvironment(env);
        tralvo.start(QStringLiteral(TRALVO_BINARY), {arguments});
        QVERIFY(tralvo.waitForFinished(10000));
        QCOMPARE(tralvo.exitStatus(), QProcess::NormalExit);
        QVERIFY(tralvo.exitCode() != 0);
        const QByteArray err = tralvo.readAllStandardError();
        QVERIFY2(err.contains("tralvo: no display"), err.constData());
    }
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"

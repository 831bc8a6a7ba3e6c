#include "programrun.h"
#include "ptypair.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kick("\x1b\x70\x00\x19\xfa", 5);

// The POS side of the cable, held open: writes bytes with set gaps, as a transport delivers them.
class PosPort
{
public:
    explicit PosPort(const QString &path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY))
    {
    }
    ~PosPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PosPort(const PosPort &) = delete;
    PosPort &operator=(const PosPort &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Each byte on its own, `gap` after the one before.
    bool writePaced(const QByteArray &bytes, std::chrono::microseconds gap) const
    {
        auto next = std::chrono::steady_clock::now();
        for (const char byte : bytes) {
            std::this_thread::sleep_until(next);
            if (::write(m_fd, &byte, 1) != 1)
                return false;
            next += gap;
        }
        return true;
    }

private:
    int m_fd;
};

// The lines of the program's standard error that contain the text.
int linesWith(const QByteArray &output, const QByteArray &text)
{
    int n = 0;
    for (const QByteArray &line : output.split('\n'))
        n += line.contains(text) ? 1 : 0;
    return n;
}

// A service manager's notification socket, as systemd gives a Type=notify service.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &path) : m_fd(::socket(AF_UNIX, SOCK_DGRAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        if (m_fd < 0 || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path)
            return;
        std::copy(name.begin(), name.end(), address.sun_path);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    bool isBound() const { return m_bound; }
    // The messages that arrive within the time given.
    QList<QByteArray> receive(int ms) const
    {
        QList<QByteArray> messages;
        QElapsedTimer clock;
        clock.start();
        for (qint64 left = ms; left > 0; left = ms - clock.elapsed()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                break;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0)
                messages << QByteArray(buffer, static_cast<int>(n));
        }
        return messages;
    }

private:
    int m_fd;
    bool m_bound = false;
};

} // namespace

// The built program keeps working through what a till meets: a Device port that comes late or
// comes back, commands cut by the transport, and failures that say why.
class TestRecovery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void devicePortAppearsLater();
    void devicePortComesBack();
    void splitCommands();
    void failureReasons_data();
    void failureReasons();
    void notifiesServiceManager();

private:
    bool joinPorts();

    std::unique_ptr<ComDir> m_dir;
    std::unique_ptr<SocatPair> m_pair;
    std::unique_ptr<ProgramRun> m_run;
};

void TestRecovery::init()
{
    m_dir = std::make_unique<ComDir>();
    m_run = std::make_unique<ProgramRun>(*m_dir);
}

void TestRecovery::cleanup()
{
    m_run.reset();
    m_pair.reset();
    m_dir.reset();
}

bool TestRecovery::joinPorts()
{
    m_pair.reset();
    m_pair = std::make_unique<SocatPair>(*m_dir, 9, 8);
    return m_pair->isRunning();
}

void TestRecovery::devicePortAppearsLater()
{
    QVERIFY(m_run->launch({QStringLiteral("1,0")}));
    QTRY_VERIFY(m_run->standardError().contains("tralvo: Device: Open Failed"));
    QTest::qWait(2500); // two or three retries, all failing
    QVERIFY(joinPorts());
    QElapsedTimer taken;
    taken.start();
    QVERIFY(m_run->waitUntilHolding(9, true, 5000));
    QVERIFY2(taken.elapsed() <= 2000, qPrintable(QStringLiteral("%1 ms").arg(taken.elapsed())));
    QVERIFY(writeToPort(m_dir->port(8), kick));
    QTRY_COMPARE(m_run->pulses().size(), 1);

    // The first failure says why, once; the retries add nothing; the recovery is told.
    const QByteArray err = m_run->standardError();
    QCOMPARE(linesWith(err, m_dir->port(9).toLocal8Bit() + ": No such file or directory"), 1);
    QCOMPARE(linesWith(err, "trying the port again"), 1);
    QCOMPARE(linesWith(err, "Device: the port is open again"), 1);
    QVERIFY2(err.contains("tralvo: Device: Open Success\n"), err.constData());
}

void TestRecovery::devicePortComesBack()
{
    QVERIFY(joinPorts());
    QVERIFY(m_run->start({QStringLiteral("1,1")}));
    for (int round = 1; round <= 20; ++round) {
        m_pair->stop();
        QVERIFY(m_run->waitUntilHolding(9, false, 5000));
        if (round == 1) {
            // Gone, it only tries the port about once a second: no CPU to speak of.
            const qint64 before = processCpuTicks(m_run->pid());
            QTest::qWait(idleWindowMs);
            const qint64 used = processCpuTicks(m_run->pid()) - before;
            QVERIFY2(before >= 0 && used <= idleTickBound,
                     qPrintable(QStringLiteral("%1 ticks").arg(used)));
        }
        QVERIFY(joinPorts());
        QVERIFY2(m_run->waitUntilHolding(9, true, 2500), qPrintable(QString::number(round)));
        QVERIFY(writeToPort(m_dir->port(8), kick));
        QTRY_COMPARE(m_run->pulses().size(), round);
    }
    const QByteArray err = m_run->standardError();
    QCOMPARE(linesWith(err, "Device: port lost"), 20);
    QCOMPARE(linesWith(err, "Device: the port is open again"), 20);
}

void TestRecovery::splitCommands()
{
    using namespace std::chrono_literals;
    QVERIFY(joinPorts());
    QVERIFY(m_run->start({QStringLiteral("1,0")}));
    const PosPort pos(m_dir->port(8));
    QVERIFY(pos.isOpen());

    // ESC, a few milliseconds, then the rest: one command.
    QVERIFY(pos.writePaced(QByteArray("\x1b", 1), 0us));
    std::this_thread::sleep_for(5ms);
    QVERIFY(pos.writePaced(kick.mid(1), 0us));
    QTRY_COMPARE(m_run->pulses().size(), 1);

    // ESC and p far apart are two texts, and neither pulses.
    QVERIFY(pos.writePaced(QByteArray("\x1bp", 2), 400ms));
    QTest::qWait(500);
    QCOMPARE(m_run->pulses().size(), 1);

    // Byte by byte at 9600-baud pace (1.04 ms a character): every command pulses.
    constexpr int commands = 20;
    for (int i = 0; i < commands; ++i) {
        QVERIFY(pos.writePaced(kick, 1040us));
        QTest::qWait(60);
    }
    QTRY_COMPARE(m_run->pulses().size(), 1 + commands);
    QTest::qWait(200);
    QCOMPARE(m_run->pulses().size(), 1 + commands);
}

void TestRecovery::failureReasons_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QByteArray>("reason");

    QTest::newRow("no port") << "1,0"
                             << "no port" << QByteArray("com9: No such file or directory");
    QTest::newRow("port busy") << "1,0"
                               << "port held" << QByteArray("tralvo: Device: cannot open ");
    QTest::newRow("port lost") << "1,0"
                               << "port lost" << QByteArray("tralvo: Device: port lost: ");
    QTest::newRow("no library") << "1,0"
                                << "no library" << QByteArray("libCashBox.so");
    QTest::newRow("library result")
        << "1,0"
        << "library returns 3" << QByteArray("tralvo: Device: the drawer library returned 3");
    QTest::newRow("profile field, at once")
        << "1,x"
        << "nothing more" << QByteArray("tralvo: the profile field is not a number: \"x\"");
    QTest::newRow("profile field, at a command")
        << "1,x"
        << "command" << QByteArray("tralvo: Device: the profile field is not a number: \"x\"");
}

void TestRecovery::failureReasons()
{
    QFETCH(QString, arguments);
    QFETCH(QString, situation);
    QFETCH(QByteArray, reason);

    std::unique_ptr<PortHolder> holder;
    if (situation != QLatin1String("no port")) {
        QVERIFY(joinPorts());
        if (situation == QLatin1String("port held")) {
            holder = std::make_unique<PortHolder>(m_dir->port(9));
            QVERIFY(holder->held());
        }
    }
    if (situation == QLatin1String("no library"))
        m_run->environment().remove(QStringLiteral("LD_LIBRARY_PATH"));
    if (situation == QLatin1String("library returns 3"))
        m_run->environment().insert(QStringLiteral("CASHBOX_STANDIN_RESULT"), QStringLiteral("3"));
    QVERIFY(m_run->launch({arguments}));
    if (situation == QLatin1String("port lost")) {
        QVERIFY(m_run->waitUntilHolding(9, true, 10000));
        m_pair->stop();
    } else if (situation == QLatin1String("no library") ||
               situation == QLatin1String("library returns 3") ||
               situation == QLatin1String("command")) {
        QVERIFY(m_run->waitUntilHolding(9, true, 10000));
        QVERIFY(writeToPort(m_dir->port(8), kick));
    }
    QTRY_VERIFY2(m_run->standardError().contains(reason), m_run->standardError().constData());
}

void TestRecovery::notifiesServiceManager()
{
#ifndef TRALVO_HAVE_SYSTEMD
    QSKIP("built without libsystemd");
#else
    QTemporaryDir folder;
    const NotifySocket manager(folder.filePath(QStringLiteral("notify")));
    QVERIFY(manager.isBound());
    m_run->environment().insert(QStringLiteral("NOTIFY_SOCKET"),
                                folder.filePath(QStringLiteral("notify")));
    m_run->environment().insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));
    // The drawer library hangs in its call, as a broken driver might.
    m_run->environment().insert(QStringLiteral("CASHBOX_STANDIN_HANG"), QStringLiteral("1"));
    QVERIFY(joinPorts());
    QVERIFY(m_run->start({QStringLiteral("1,0")}));

    const QList<QByteArray> running = manager.receive(1000);
    QVERIFY2(running.contains("READY=1"), running.join('|').constData());
    QVERIFY(running.contains("STATUS=Device: Open Success"));
    QVERIFY2(running.count("WATCHDOG=1") >= 5, running.join('|').constData());

    // A call that never returns stops the pings, so the manager would restart the service.
    QVERIFY(writeToPort(m_dir->port(8), kick));
    manager.receive(200);
    const QList<QByteArray> hung = manager.receive(600);
    QVERIFY2(!hung.contains("WATCHDOG=1"), hung.join('|').constData());
    QCOMPARE(::kill(static_cast<pid_t>(m_run->pid()), SIGKILL), 0);
    QVERIFY(m_run->process().waitForFinished(5000));
#endif
}

QTEST_GUILESS_MAIN(TestRecovery)
#include "tst_recovery.moc"

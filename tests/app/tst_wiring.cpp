#include "builtfiles.h"
#include "cashboxlibrary.h"
#include "ptypair.h"
#include "qtcommcontrol.h"
#include "statuswindow.h"
#include "wiring.h"

#include <QFile>
#include <QPushButton>
#include <QtTest>

namespace {

const QByteArray escP("\x1b\x70", 2);

// The program as main() puts it together, on real ports, with the stand-in drawer.
struct Program
{
    void press(const char *button)
    {
        QTest::mouseClick(window.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }
    QString state(Field f) const { return board.text(f); }

    StatusBoard board;
    StatusWindow window{board};
    QtCommControl devicePort;
    QtCommControl testPort;
    CashBoxLibrary cashBox{{standinFolder()}, false};
    Wiring wiring{RunConfig{}, board, {window, devicePort, testPort, cashBox, nullptr, nullptr, nullptr}};
    Lifecycle &lifecycle = wiring.lifecycle();
};

int countLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<int>(f.readAll().count('\n'));
}

} // namespace

class TestWiring : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void opensDevicePort();
    void missingOrHeldDevicePort();
    void lostDevicePortShowsReceiveFailed();
    void requestRoundTheLoop();
    void requestNotJoined();
    void requestToMissingOrHeldPort();
    void requestAfterStartUpFailure();
    void requestBytesOnTheWire();
    void closingTheWindowShutsDown();
    void closeDuringDrainMakesNoPulse();

private:
    QString pulses() const { return m_log->filePath(QStringLiteral("pulses")); }
    std::unique_ptr<ComDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_log;
};

void TestWiring::init()
{
    m_dir = std::make_unique<ComDir>();
    m_log = std::make_unique<QTemporaryDir>();
    qputenv("TRALVO_COMDIR", QFile::encodeName(m_dir->path()));
    qputenv("CASHBOX_STANDIN_LOG", QFile::encodeName(pulses()));
}

void TestWiring::cleanup()
{
    m_dir.reset();
    m_log.reset();
}

void TestWiring::opensDevicePort()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    Program p;
    p.lifecycle.load(QStringLiteral("0,0"));
    QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Success"));
    QCOMPARE(p.state(Field::TestState), QString());
    QVERIFY(p.devicePort.portOpen());

    QVERIFY(pty.write(escP + QByteArray("\x00\x19\xfa", 3)));
    QTRY_COMPARE(p.state(Field::DeviceState), QStringLiteral("Receive Success"));
    QCOMPARE(countLines(pulses()), 1);

    // Clear leaves the Device port open and listening.
    p.press("Command2");
    QCOMPARE(p.state(Field::DeviceState), QString());
    QVERIFY(pty.write(escP));
    QTRY_COMPARE(p.state(Field::DeviceState), QStringLiteral("Receive Success"));
    QCOMPARE(countLines(pulses()), 2);
}

void TestWiring::missingOrHeldDevicePort()
{
    {
        Program p;
        p.lifecycle.load(QStringLiteral("1,0"));
        QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Failed"));
        QVERIFY(p.board.isKeptHidden());
    }
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    PortHolder holder(m_dir->port(9));
    QVERIFY(holder.held());
    Program p;
    p.lifecycle.load(QString());
    QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Failed"));
    QVERIFY(!p.devicePort.portOpen());
}

void TestWiring::lostDevicePortShowsReceiveFailed()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    Program p;
    p.lifecycle.load(QString());
    QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Success"));
    pty.closeMaster();
    QTRY_COMPARE(p.state(Field::DeviceState), QStringLiteral("Receive Failed"));
    QVERIFY(!p.devicePort.portOpen());
}

void TestWiring::requestRoundTheLoop()
{
    SocatPair pair(*m_dir, 9, 8);
    QVERIFY(pair.isRunning());
    Program p;
    p.lifecycle.load(QStringLiteral("0,1"));
    QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Success"));

    p.press("Command1");
    QCOMPARE(p.state(Field::TestState), QStringLiteral("Open Success"));
    QVERIFY(!p.testPort.portOpen());
    QTRY_COMPARE(p.state(Field::DeviceState), QStringLiteral("Receive Success"));
    QTRY_COMPARE(countLines(pulses()), 1);

    // A second press is a cycle of its own.
    p.press("Command2");
    p.press("Command1");
    QCOMPARE(p.state(Field::TestState), QStringLiteral("Open Success"));
    QTRY_COMPARE(p.state(Field::DeviceState), QStringLiteral("Receive Success"));
    QTRY_COMPARE(countLines(pulses()), 2);
    QTest::qWait(200);
    QCOMPARE(countLines(pulses()), 2);
    QFile f(pulses());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("\"50d\" \"6\" \"501\" \"5\" -> 0"));
}

void TestWiring::requestNotJoined()
{
    Pty device;
    Pty test;
    QVERIFY(m_dir->link(9, device.slavePath()) && m_dir->link(8, test.slavePath()));
    Program p;
    p.lifecycle.load(QString());
    p.press("Command1");
    QCOMPARE(p.state(Field::TestState), QStringLiteral("Open Success"));
    QTest::qWait(200);
    QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Success"));
    QCOMPARE(countLines(pulses()), 0);
}

void TestWiring::requestToMissingOrHeldPort()
{
    Pty device;
    QVERIFY(m_dir->link(9, device.slavePath()));
    Program p;
    p.lifecycle.load(QString());
    p.press("Command1");
    QCOMPARE(p.state(Field::TestState), QStringLiteral("Open Failed"));
    QVERIFY(!p.testPort.portOpen());
    QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Success"));

    Pty test;
    QVERIFY(m_dir->link(8, test.slavePath()));
    {
        PortHolder holder(m_dir->port(8));
        QVERIFY(holder.held());
        p.press("Command1");
        QCOMPARE(p.state(Field::TestState), QStringLiteral("Open Failed"));
        QVERIFY(!p.testPort.portOpen());
    }

    p.press("Command1");
    QCOMPARE(p.state(Field::TestState), QStringLiteral("Open Success"));
}

void TestWiring::requestAfterStartUpFailure()
{
    Pty test;
    QVERIFY(m_dir->link(8, test.slavePath()));
    Program p;
    p.lifecycle.load(QString());
    QCOMPARE(p.state(Field::DeviceState), QStringLiteral("Open Failed"));
    p.press("Command1");
    QCOMPARE(p.state(Field::TestState), QStringLiteral("Open Success"));
    QCOMPARE(test.read(2, 1000), escP);
}

void TestWiring::requestBytesOnTheWire()
{
    Pty test;
    QVERIFY(m_dir->link(8, test.slavePath()));
    Program p;
    p.lifecycle.load(QString());
    p.press("Command1");
    p.press("Command1");
    // Exactly ESC p per press, nothing more.
    QCOMPARE(test.read(5, 500), escP + escP);
}

void TestWiring::closingTheWindowShutsDown()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    Program p;
    p.lifecycle.load(QString());
    p.window.show();
    QVERIFY(p.devicePort.portOpen());
    QVERIFY(p.window.close());
    QVERIFY(p.lifecycle.isUnloaded());
    QVERIFY(!p.devicePort.portOpen());
    QVERIFY(PortHolder(m_dir->port(9)).held());
}

void TestWiring::closeDuringDrainMakesNoPulse()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    StatusBoard board;
    StatusWindow window(board);
    QtCommControl devicePort;
    QtCommControl testPort;
    // Connected ahead of the receiver: the close is queued when the event comes in and runs
    // inside the drain, at its first pass through the event loop.
    connect(&devicePort, &CommControl::received, &window,
            [&] { QTimer::singleShot(0, &window, [&] { window.close(); }); });
    CashBoxLibrary cashBox({standinFolder()}, false);
    Wiring wiring(RunConfig{}, board, {window, devicePort, testPort, cashBox, nullptr, nullptr, nullptr});
    Lifecycle &lifecycle = wiring.lifecycle();
    lifecycle.load(QString());
    window.show();
    QVERIFY(pty.write(escP));
    QTRY_VERIFY(lifecycle.isUnloaded());
    QCOMPARE(board.text(Field::DeviceState), QStringLiteral("Receive Failed"));
    QVERIFY(pty.write(escP));
    QTest::qWait(200);
    QCOMPARE(countLines(pulses()), 0);
    QVERIFY(!devicePort.portOpen());
}

QTEST_MAIN(TestWiring)
#include "tst_wiring.moc"

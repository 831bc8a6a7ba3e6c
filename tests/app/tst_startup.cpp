#include "configureport.h"
#include "fakecommcontrol.h"
#include "recordingview.h"
#include "startup.h"

#include <QtTest>

using Property = FakeCommControl::Property;
Q_DECLARE_METATYPE(Property)

namespace {

const QStringList setUpSequence{
    QStringLiteral("CommPort=9"),
    QStringLiteral("Settings=9600,N,8,1"),
    QStringLiteral("PortOpen=true"),
};

const QStringList fixedFields{
    QStringLiteral("Label6=9"), QStringLiteral("Label7=9600"), QStringLiteral("Label8="),
    QStringLiteral("Label9=8"), QStringLiteral("Label4=9600"), QStringLiteral("Label3="),
};

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensDevicePortInOrder();
    void failingStep_data();
    void failingStep();
    void hideField_data();
    void hideField();
    void configureClosesAnOpenPortFirst();
    void shutDownClosesOpenPorts();
    void shutDownStopsAtFailedClose();
};

void TestStartUp::opensDevicePortInOrder()
{
    RecordingView view;
    FakeCommControl devicePort;
    StartOptions options;
    StartUp(QString(), options, view, devicePort);

    QCOMPARE(devicePort.log(), setUpSequence);
    QVERIFY(devicePort.portOpen());
    QCOMPARE(view.writes(), fixedFields + QStringList{QStringLiteral("Label8=Open Success")});
    QVERIFY(!view.isKeptHidden());
    QCOMPARE(options.hideField, QStringLiteral("0"));
    QCOMPARE(options.profileField, QStringLiteral("0"));
}

void TestStartUp::failingStep_data()
{
    QTest::addColumn<Property>("failing");
    QTest::addColumn<int>("done");

    QTest::newRow("CommPort") << Property::CommPort << 0;
    QTest::newRow("Settings") << Property::Settings << 1;
    QTest::newRow("PortOpen") << Property::PortOpen << 2;
}

void TestStartUp::failingStep()
{
    QFETCH(Property, failing);
    QFETCH(int, done);

    for (const QString &arguments : {QStringLiteral("0,0"), QStringLiteral("1,0")}) {
        RecordingView view;
        FakeCommControl devicePort;
        devicePort.failAt(failing);
        StartOptions options;
        // A failure of the port's may clear up, so the caller tries again.
        QCOMPARE(StartUp(arguments, options, view, devicePort), StartOutcome::PortFailed);

        // The steps before the failing one stay done, none after it runs, and nothing is open.
        QCOMPARE(devicePort.log(), setUpSequence.mid(0, done));
        QVERIFY(!devicePort.portOpen());
        QCOMPARE(view.writes(), fixedFields + QStringList{QStringLiteral("Label8=Open Failed")});
        QCOMPARE(view.isKeptHidden(), arguments.startsWith(QLatin1Char('1')));
    }
}

void TestStartUp::hideField_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QString>("deviceState");
    QTest::addColumn<QString>("profile");

    QTest::newRow("none") << "" << false << "Open Success"
                          << "0";
    QTest::newRow("1,1") << "1,1" << true << "Open Success"
                         << "1";
    QTest::newRow("1,0") << "1,0" << true << "Open Success"
                         << "0";
    QTest::newRow("0,1") << "0,1" << false << "Open Success"
                         << "1";
    QTest::newRow("1 alone") << "1" << false << "Open Success"
                             << "0";
    QTest::newRow("1,1,1") << "1,1,1" << false << "Open Success"
                           << "0";
    QTest::newRow("1.0,0") << "1.0,0" << true << "Open Success"
                           << "0";
    QTest::newRow("blank then 1,0") << " 1,0" << true << "Open Success"
                                    << "0";
    QTest::newRow("2,0") << "2,0" << false << "Open Success"
                         << "0";
    QTest::newRow("0,x: bad profile shows later") << "0,x" << false << "Open Success"
                                                  << "x";
    QTest::newRow("x,0") << "x,0" << false << "Open Failed"
                         << "0";
    QTest::newRow(",0") << ",0" << false << "Open Failed"
                        << "0";
}

void TestStartUp::hideField()
{
    QFETCH(QString, arguments);
    QFETCH(bool, hidden);
    QFETCH(QString, deviceState);

    RecordingView view;
    FakeCommControl devicePort;
    StartOptions options;
    const StartOutcome outcome = StartUp(arguments, options, view, devicePort);

    // A command line that fails can never succeed: the caller must not try again.
    QCOMPARE(outcome, deviceState == QLatin1String("Open Success") ? StartOutcome::Opened
                                                                   : StartOutcome::OptionsFailed);
    QCOMPARE(view.isKeptHidden(), hidden);
    QCOMPARE(view.text(Field::DeviceState), deviceState);
    QTEST(options.profileField, "profile");
    QCOMPARE(devicePort.portOpen(), deviceState == QLatin1String("Open Success"));
    if (deviceState == QLatin1String("Open Failed")) {
        // A hide field that is no number stops start-up before any field or port is touched.
        QCOMPARE(view.writes(), QStringList{QStringLiteral("Label8=Open Failed")});
        QCOMPARE(view.text(Field::TestState), QStringLiteral("Success"));
        QVERIFY(devicePort.log().isEmpty());
    }
}

void TestStartUp::configureClosesAnOpenPortFirst()
{
    RecordingView view;
    FakeCommControl control;
    control.setPortOpen(true);
    ConfigurePort(control, view, Field::TestPort, Field::TestBaud);
    QStringList expected = setUpSequence;
    expected[0] = QStringLiteral("CommPort=8");
    expected.prepend(QStringLiteral("PortOpen=false"));
    expected.prepend(QStringLiteral("PortOpen=true"));
    QCOMPARE(control.log(), expected);
}

void TestStartUp::shutDownClosesOpenPorts()
{
    FakeCommControl devicePort;
    FakeCommControl testPort;
    devicePort.setPortOpen(true);
    ShutDown(devicePort, testPort);
    QVERIFY(!devicePort.portOpen());
    // The Test port was closed already and is left alone.
    QVERIFY(testPort.log().isEmpty());

    devicePort.setPortOpen(true);
    testPort.setPortOpen(true);
    ShutDown(devicePort, testPort);
    QVERIFY(!devicePort.portOpen());
    QVERIFY(!testPort.portOpen());
}

void TestStartUp::shutDownStopsAtFailedClose()
{
    FakeCommControl devicePort;
    FakeCommControl testPort;
    devicePort.setPortOpen(true);
    testPort.setPortOpen(true);
    devicePort.failAt(Property::PortOpen);
    ShutDown(devicePort, testPort);
    QVERIFY(testPort.portOpen());
}

QTEST_GUILESS_MAIN(TestStartUp)
#include "tst_startup.moc"

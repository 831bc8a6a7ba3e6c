#include "drawercommand.h"
#include "fakecommcontrol.h"
#include "recordingview.h"
#include "testrequest.h"

#include <QtTest>

using Property = FakeCommControl::Property;
Q_DECLARE_METATYPE(Property)

class TestTestRequest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sendsEscPAndCloses();
    void twoRequestsTwoCycles();
    void failingStep_data();
    void failingStep();
    void closesPortLeftOpen();
};

void TestTestRequest::sendsEscPAndCloses()
{
    RecordingView view;
    FakeCommControl testPort;
    SendTestRequest(testPort, view, drawerKickOpening());

    QCOMPARE(testPort.written(), QByteArray("\x1b\x70", 2));
    QVERIFY(!testPort.portOpen());
    const QStringList log = testPort.log();
    QCOMPARE(log.first(), QStringLiteral("CommPort=8"));
    QCOMPARE(log.mid(log.size() - 3),
             (QStringList{QStringLiteral("PortOpen=true"), QStringLiteral("Output=1b70"),
                          QStringLiteral("PortOpen=false")}));
    // Only the Test state field is written; the Device group is never touched.
    QCOMPARE(view.writes(), QStringList{QStringLiteral("Label3=Open Success")});
}

void TestTestRequest::twoRequestsTwoCycles()
{
    RecordingView view;
    FakeCommControl testPort;
    SendTestRequest(testPort, view, drawerKickOpening());
    SendTestRequest(testPort, view, drawerKickOpening());
    QCOMPARE(testPort.written(), QByteArray("\x1b\x70\x1b\x70", 4));
    QCOMPARE(testPort.log().count(QStringLiteral("PortOpen=true")), 2);
    QCOMPARE(testPort.log().count(QStringLiteral("PortOpen=false")), 2);
}

void TestTestRequest::failingStep_data()
{
    QTest::addColumn<Property>("failing");
    QTest::addColumn<bool>("opened");
    QTest::newRow("CommPort") << Property::CommPort << false;
    QTest::newRow("Settings") << Property::Settings << false;
    QTest::newRow("PortOpen") << Property::PortOpen << false;
    QTest::newRow("Output") << Property::Output << true;
}

void TestTestRequest::failingStep()
{
    QFETCH(Property, failing);
    QFETCH(bool, opened);
    RecordingView view;
    FakeCommControl testPort;
    testPort.failAt(failing);
    SendTestRequest(testPort, view, drawerKickOpening());

    QCOMPARE(view.writes(), QStringList{QStringLiteral("Label3=Open Failed")});
    QVERIFY(testPort.written().isEmpty());
    // A request that fails after opening the port closes it again.
    QVERIFY(!testPort.portOpen());
    QCOMPARE(testPort.log().contains(QStringLiteral("PortOpen=true")), opened);
}

void TestTestRequest::closesPortLeftOpen()
{
    RecordingView view;
    FakeCommControl testPort;
    testPort.setPortOpen(true);
    SendTestRequest(testPort, view, drawerKickOpening());
    QCOMPARE(testPort.log().mid(0, 3),
             (QStringList{QStringLiteral("PortOpen=true"), QStringLiteral("PortOpen=false"),
                          QStringLiteral("CommPort=8")}));
    QCOMPARE(view.text(Field::TestState), QStringLiteral("Open Success"));
}

QTEST_GUILESS_MAIN(TestTestRequest)
#include "tst_testrequest.moc"

#include "linesettings.h"
#include "portname.h"
#include "serialline.h"

#include <QSerialPort>
#include <QtTest>

using Parity = LineSettings::Parity;
using StopBits = LineSettings::StopBits;
using Flow = LineSettings::FlowControl;
Q_DECLARE_METATYPE(Parity)
Q_DECLARE_METATYPE(StopBits)
Q_DECLARE_METATYPE(Flow)

class TestLineSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void portLocations();
};

void TestLineSettings::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");
    QTest::addColumn<Parity>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<StopBits>("stopBits");
    QTest::addColumn<Flow>("flow");
    // What applyLineSettings() sets on the port.
    QTest::addColumn<QSerialPort::Parity>("qtParity");
    QTest::addColumn<QSerialPort::StopBits>("qtStopBits");
    QTest::addColumn<QSerialPort::FlowControl>("qtFlow");

    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << 9600 << Parity::None << 8 << StopBits::One
                                << Flow::None << QSerialPort::NoParity << QSerialPort::OneStop
                                << QSerialPort::NoFlowControl;
    QTest::newRow("even, 7 bits, rtscts")
        << "19200,E,7,2,rtscts" << 19200 << Parity::Even << 7 << StopBits::Two << Flow::RtsCts
        << QSerialPort::EvenParity << QSerialPort::TwoStop << QSerialPort::HardwareControl;
    QTest::newRow("odd, 5 bits, xonxoff")
        << "110,O,5,1.5,xonxoff" << 110 << Parity::Odd << 5 << StopBits::OneAndHalf << Flow::XonXoff
        << QSerialPort::OddParity << QSerialPort::OneAndHalfStop << QSerialPort::SoftwareControl;
    QTest::newRow("mark, flow none given")
        << "4800,M,6,1,none" << 4800 << Parity::Mark << 6 << StopBits::One << Flow::None
        << QSerialPort::MarkParity << QSerialPort::OneStop << QSerialPort::NoFlowControl;
    QTest::newRow("space in lower case, flow in upper case")
        << "115200,s,8,1,RTSCTS" << 115200 << Parity::Space << 8 << StopBits::One << Flow::RtsCts
        << QSerialPort::SpaceParity << QSerialPort::OneStop << QSerialPort::HardwareControl;
}

void TestLineSettings::accepted()
{
    QFETCH(QString, text);
    const auto s = LineSettings::parse(text);
    QVERIFY(s);
    QTEST(int(s->baud), "baud");
    QTEST(s->parity, "parity");
    QTEST(s->dataBits, "dataBits");
    QTEST(s->stopBits, "stopBits");
    QTEST(s->flowControl, "flow");

    QSerialPort port; // closed: it keeps what it is given
    QVERIFY(applyLineSettings(port, *s));
    QTEST(int(port.baudRate()), "baud");
    QTEST(int(port.dataBits()), "dataBits");
    QTEST(port.parity(), "qtParity");
    QTEST(port.stopBits(), "qtStopBits");
    QTEST(port.flowControl(), "qtFlow");
}

void TestLineSettings::refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("three fields") << "9600,N,8";
    QTest::newRow("unknown flow control") << "9600,N,8,1,dtr";
    QTest::newRow("flow control as a number") << "9600,N,8,1,1";
    QTest::newRow("six fields") << "9600,N,8,1,none,1";
    QTest::newRow("empty flow control") << "9600,N,8,1,";
    QTest::newRow("baud zero") << "0,N,8,1";
    QTest::newRow("baud text") << "fast,N,8,1";
    QTest::newRow("parity X") << "9600,X,8,1";
    QTest::newRow("4 data bits") << "9600,N,4,1";
    QTest::newRow("9 data bits") << "9600,N,9,1";
    QTest::newRow("3 stop bits") << "9600,N,8,3";
    QTest::newRow("baud text only") << "9600";
}

void TestLineSettings::refused()
{
    QFETCH(QString, text);
    QVERIFY(!LineSettings::parse(text));
}

void TestLineSettings::portLocations()
{
    qunsetenv("TRALVO_COMDIR");
#ifdef Q_OS_WIN
    QCOMPARE(portLocation(9), QStringLiteral("COM9"));
    QCOMPARE(portLocation(1), QStringLiteral("COM1"));
    // Windows names its ports itself: the folder of links is a Unix matter.
    qputenv("TRALVO_COMDIR", "C:/ports");
    QCOMPARE(portLocation(9), QStringLiteral("COM9"));
#else
    QCOMPARE(portLocation(9), QStringLiteral("/dev/ttyS8"));
    QCOMPARE(portLocation(1), QStringLiteral("/dev/ttyS0"));
    qputenv("TRALVO_COMDIR", "/tmp/ports");
    QCOMPARE(portLocation(9), QStringLiteral("/tmp/ports/com9"));
    QCOMPARE(portLocation(8), QStringLiteral("/tmp/ports/com8"));
#endif
    qunsetenv("TRALVO_COMDIR");
}

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"

#include "linesettings.h"
#include "portname.h"
#include "printerport.h"

#include <QtTest>

using Parity = LineSettings::Parity;
using StopBits = LineSettings::StopBits;
Q_DECLARE_METATYPE(Parity)
Q_DECLARE_METATYPE(StopBits)

class TestLineSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void portLocations();
    void printerAddress_data();
    void printerAddress();
};

void TestLineSettings::accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baud");
    QTest::addColumn<Parity>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<StopBits>("stopBits");

    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("even, 7 bits") << "19200,E,7,2" << 19200 << Parity::Even << 7 << StopBits::Two;
    QTest::newRow("odd, 5 bits") << "110,O,5,1.5" << 110 << Parity::Odd << 5
                                 << StopBits::OneAndHalf;
    QTest::newRow("mark") << "4800,M,6,1" << 4800 << Parity::Mark << 6 << StopBits::One;
    QTest::newRow("space, lower case")
        << "115200,s,8,1" << 115200 << Parity::Space << 8 << StopBits::One;
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
}

void TestLineSettings::refused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("three fields") << "9600,N,8";
    QTest::newRow("five fields") << "9600,N,8,1,1";
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

void TestLineSettings::printerAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("port"); // empty: refused
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("handshake");

    const int none = static_cast<int>(PrinterAddress::Handshake::None);
    QTest::newRow("port alone: 9600,N,8,1") << "COM3"
                                            << "COM3" << 9600 << none;
    QTest::newRow("settings and handshake")
        << "com12:19200,E,7,2,rtscts"
        << "com12" << 19200 << static_cast<int>(PrinterAddress::Handshake::RtsCts);
    QTest::newRow("four fields, no handshake") << "COM1:38400,N,8,1"
                                               << "COM1" << 38400 << none;
    QTest::newRow("unknown handshake") << "COM3:9600,N,8,1,dtr"
                                       << "" << 0 << none;
    QTest::newRow("bad baud") << "COM3:fast,N,8,1"
                              << "" << 0 << none;
    QTest::newRow("no port number") << "COM:9600,N,8,1"
                                    << "" << 0 << none;
#ifndef Q_OS_WIN
    QTest::newRow("device path") << "/dev/usb/lp0"
                                 << "/dev/usb/lp0" << 9600 << none;
    QTest::newRow("colons in the path")
        << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0:115200,N,8,1,xonxoff"
        << "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0" << 115200
        << static_cast<int>(PrinterAddress::Handshake::XonXoff);
    QTest::newRow("relative path") << "ttyUSB0"
                                   << "" << 0 << none;
#endif
}

void TestLineSettings::printerAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, port);

    QString error;
    const auto address = PrinterAddress::parse(text, &error);
    QCOMPARE(address.has_value(), !port.isEmpty());
    if (!address) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(address->port, port);
    QVERIFY(!address->location.isEmpty());
    QTEST(address->settings.baud, "baud");
    QTEST(static_cast<int>(address->handshake), "handshake");
}

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_linesettings.moc"

#include "commcontrol.h"
#include "printer.h"
#include "printerport.h"
#include "ptypair.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using Flow = LineSettings::FlowControl;
Q_DECLARE_METATYPE(Flow)

namespace {

using Count = decltype(QByteArray().size());

// Numbered lines: a byte lost, doubled or moved shows as a difference.
QByteArray numberedLines(Count bytes)
{
    QByteArray job;
    for (int line = 0; job.size() < bytes; ++line)
        job += QByteArray::number(line).rightJustified(7, '0') + '\n';
    job.truncate(bytes);
    return job;
}

// What the descriptor gives, the event loop running, until `want` bytes have come or 10 s passed.
QByteArray collect(int fd, Count want)
{
    QByteArray got;
    const QDeadlineTimer deadline(10000);
    while (got.size() < want && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        pollfd p{fd, POLLIN, 0};
        char buffer[65536];
        const ssize_t n = ::poll(&p, 1, 5) > 0 ? ::read(fd, buffer, sizeof buffer) : 0;
        if (n > 0)
            got.append(buffer, static_cast<Count>(n));
    }
    return got;
}

// The reason open() throws, empty when it opened.
QString openError(Printer &port)
{
    try {
        port.open();
    } catch (const CommError &e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

PrinterAddress addressOf(const QString &path)
{
    return PrinterAddress::parse(path).value_or(PrinterAddress{});
}

// The printer on its port.
std::unique_ptr<Printer> portPrinter(const QString &path,
                                     qint64 capacity = Printer::defaultCapacity)
{
    return std::make_unique<Printer>(std::make_unique<PrinterPort>(addressOf(path)), capacity);
}

// The printer's end, which the test reads: a pseudo-terminal's master (the port opens the slave),
// or the read end of a named pipe standing in for a printer class device such as /dev/usb/lp0.
struct PrinterEnd
{
    explicit PrinterEnd(const QByteArray &transport)
    {
        if (transport == "pty") {
            pty = std::make_unique<Pty>();
            path = pty->slavePath();
            fd = pty->masterFd();
        } else {
            path = dir.filePath(QStringLiteral("lp0"));
            if (::mkfifo(QFile::encodeName(path).constData(), 0600) == 0)
                fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        }
    }
    ~PrinterEnd()
    {
        if (!pty && fd >= 0)
            ::close(fd);
    }
    QTemporaryDir dir;
    std::unique_ptr<Pty> pty;
    QString path;
    int fd = -1;
};

void transports()
{
    QTest::addColumn<QByteArray>("transport");
    QTest::newRow("pty") << QByteArray("pty");
    QTest::newRow("fifo") << QByteArray("fifo");
}

} // namespace

class TestPrinterPort : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { qunsetenv("TRALVO_COMDIR"); }
    void wholeJobInOrder_data();
    void wholeJobInOrder();
    void backPressure_data() { transports(); }
    void backPressure();
    void printerReplies();
    void lostAndReopened();
    void refusedPaths_data();
    void refusedPaths();
    void address_data();
    void address();
};

void TestPrinterPort::wholeJobInOrder_data()
{
    QTest::addColumn<QByteArray>("transport");
    QTest::addColumn<int>("piece"); // bytes per send(), one each pass of the event loop; 0: all
    for (const char *transport : {"pty", "fifo"}) {
        QTest::addRow("%s, one send", transport) << QByteArray(transport) << 0;
        QTest::addRow("%s, 7000-byte sends", transport) << QByteArray(transport) << 7000;
    }
}

void TestPrinterPort::wholeJobInOrder()
{
    QFETCH(QByteArray, transport);
    QFETCH(int, piece);
    PrinterEnd printer(transport);
    QVERIFY(printer.fd >= 0);
    const auto printerOnPort = portPrinter(printer.path);
    Printer &port = *printerOnPort;
    QSignalSpy lost(&port, &Printer::lost);
    QSignalSpy echoed(&port, &Onward::replied); // the printer sends nothing back
    QCOMPARE(openError(port), QString());

    const QByteArray job = numberedLines(300 * 1024);
    Count offered = 0;
    QTimer sender;
    connect(&sender, &QTimer::timeout, this, [&] {
        const Count n = piece > 0 ? std::min<Count>(piece, job.size() - offered) : job.size();
        QCOMPARE(port.send(job.mid(offered, n)), qint64(n));
        if ((offered += n) == job.size())
            sender.stop();
    });
    sender.start(0);
    const QByteArray got = collect(printer.fd, job.size());
    QCOMPARE(got, job);
    QTRY_COMPARE_WITH_TIMEOUT(port.queued(), qint64(0), 10000);
    QCOMPARE(lost.count(), 0);
    QCOMPARE(echoed.count(), 0);
}

// A sender offers the rest of the job at the start and whenever room comes back, to a printer
// that at first reads nothing: more than the port's bound and the line's buffer hold.
void TestPrinterPort::backPressure()
{
    QFETCH(QByteArray, transport);
    PrinterEnd printer(transport);
    QVERIFY(printer.fd >= 0);
    const qint64 capacity = 64 * 1024;
    const auto printerOnPort = portPrinter(printer.path, capacity);
    Printer &port = *printerOnPort;
    QSignalSpy echoed(&port, &Onward::replied);
    QCOMPARE(openError(port), QString());

    const QByteArray job = numberedLines(512 * 1024);
    Count offered = 0;
    QList<qint64> roomAtSignal;
    const auto offer = [&] { // send() takes all it has room for, no more
        const qint64 room = std::min<qint64>(port.room(), job.size() - offered);
        QCOMPARE(port.send(job.mid(offered)), room);
        offered += static_cast<Count>(room);
    };
    connect(&port, &Onward::roomAvailable, this, [&] {
        roomAtSignal << port.room();
        offer();
    });
    offer();
    QCOMPARE(qint64(offered), capacity);
    QCOMPARE(port.room(), qint64(0));
    QCOMPARE(port.send("x"), qint64(0));

    QTest::qWait(500);           // the printer reads nothing yet
    QCOMPARE(echoed.count(), 0); // the port's own bytes are no reply
    QVERIFY2(offered < job.size(), "the port took the whole job while the printer read nothing");
    const auto signalsWhileStalled = roomAtSignal.size();

    const QByteArray got = collect(printer.fd, job.size());
    QCOMPARE(got, job);
    QVERIFY(roomAtSignal.size() > signalsWhileStalled);
    for (const qint64 room : std::as_const(roomAtSignal))
        QVERIFY2(room >= capacity / 2, qPrintable(QString::number(room)));
    QTRY_COMPARE_WITH_TIMEOUT(port.room(), capacity, 10000);
}

// A status request goes out on its own, and the printer's answer comes back whole and in order.
void TestPrinterPort::printerReplies()
{
    Pty pty;
    QVERIFY(pty.isValid());
    const auto printerOnPort = portPrinter(pty.slavePath());
    Printer &port = *printerOnPort;
    QByteArray replies;
    connect(&port, &Onward::replied, this, [&](const QByteArray &b) { replies += b; });
    QCOMPARE(openError(port), QString());

    const QByteArray request("\x10\x04\x01", 3); // DLE EOT 1: printer status
    QCOMPARE(port.send(request), qint64(request.size()));
    QCOMPARE(collect(pty.masterFd(), request.size()), request);
    // Small enough for the line to hold while the test writes it.
    const QByteArray answer = '\x16' + numberedLines(3000);
    QVERIFY(pty.write(answer.left(1)) && pty.write(answer.mid(1)));
    QTRY_COMPARE_WITH_TIMEOUT(replies.size(), answer.size(), 10000);
    QCOMPARE(replies, answer);
}

// The printer goes away with most of a job queued; the port is lost, keeps what it had not
// written and, opened again on the printer now behind the same COM number, sends it on.
void TestPrinterPort::lostAndReopened()
{
    ComDir dir;
    qputenv("TRALVO_COMDIR", QFile::encodeName(dir.path()));
    auto first = std::make_unique<Pty>();
    QVERIFY(dir.link(5, first->slavePath()));
    QCOMPARE(addressOf(QStringLiteral("COM5")).location, dir.port(5));
    const auto printerOnPort = portPrinter(QStringLiteral("COM5"));
    Printer &port = *printerOnPort;
    QSignalSpy lost(&port, &Printer::lost);

    const QByteArray early("queued before the port opened\n");
    QCOMPARE(port.send(early), qint64(early.size()));
    QCOMPARE(openError(port), QString());
    QCOMPARE(collect(first->masterFd(), early.size()), early);

    const QByteArray job = numberedLines(256 * 1024);
    QCOMPARE(port.send(job), qint64(job.size()));
    QTest::qWait(200); // the line fills; what it took is lost with the printer
    first->closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
    QVERIFY(!lost.first().first().toString().isEmpty());
    QVERIFY(!port.isOpen());
    const qint64 kept = port.queued();
    QVERIFY(kept > 0);
    const QByteArray late("sent while the port was closed\n");
    QCOMPARE(port.send(late), qint64(late.size()));

    Pty second;
    QVERIFY(dir.link(5, second.slavePath()));
    QCOMPARE(openError(port), QString());
    const QByteArray expected = job.right(static_cast<Count>(kept)) + late;
    const QByteArray got = collect(second.masterFd(), expected.size());
    QCOMPARE(got, expected);
    QTRY_COMPARE_WITH_TIMEOUT(port.queued(), qint64(0), 10000);
    QCOMPARE(lost.count(), 1);
}

void TestPrinterPort::refusedPaths_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("reason");
    const QString neither = QStringLiteral("neither a terminal nor a character device");
    QTest::newRow("regular file") << "receipts.prn" << neither;
    QTest::newRow("link to a regular file") << "com3" << neither;
    QTest::newRow("folder") << "printers" << neither;
    QTest::newRow("missing") << "lp9"
                             << "cannot open";
}

void TestPrinterPort::refusedPaths()
{
    QFETCH(QString, entry);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("receipts.prn"));
    QVERIFY(QFile(file).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(file, dir.filePath(QStringLiteral("com3"))));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("printers")));

    const QString path = dir.filePath(entry);
    const auto printerOnPort = portPrinter(path);
    Printer &port = *printerOnPort;
    QCOMPARE(port.send("job"), qint64(3));
    const QString error = openError(port);
    QVERIFY2(error.contains(path) && error.contains(reason), qPrintable(error));
    QVERIFY(!port.isOpen());
    QCOMPARE(port.queued(), qint64(3));
    QCOMPARE(QFileInfo(file).size(), qint64(0));
}

void TestPrinterPort::address_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("port");     // empty: refused
    QTest::addColumn<QString>("location"); // refused: what the reason names
    QTest::addColumn<int>("baud");
    QTest::addColumn<Flow>("flow");
    QTest::addColumn<int>("socketPort"); // 0: a port or a device; -1: a print queue

    const auto row = [](const char *name, const QString &text, const QString &port,
                        const QString &location, int baud = 9600, Flow flow = Flow::None,
                        int socketPort = 0) {
        QTest::newRow(name) << text << port << location << baud << flow << socketPort;
    };
    const auto socket = [&row](const char *name, const QString &text, const QString &host,
                               int socketPort) {
        row(name, text, host.isEmpty() ? QString() : text, host.isEmpty() ? text : host, 9600,
            Flow::None, socketPort);
    };
    const QString byPath = QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    row("port alone: 9600,N,8,1", "COM3", "COM3", "/tmp/ports/com3");
    row("settings and rtscts", "com12:19200,E,7,2,rtscts", "com12", "/tmp/ports/com12", 19200,
        Flow::RtsCts);
    row("four fields: no flow control", "COM1:38400,N,8,1", "COM1", "/tmp/ports/com1", 38400);
    row("xonxoff, mixed case", "COM2:4800,N,8,1,XonXoff", "COM2", "/tmp/ports/com2", 4800,
        Flow::XonXoff);
    row("device path", "/dev/usb/lp0", "/dev/usb/lp0", "/dev/usb/lp0");
    row("colons in the path", byPath + ":115200,N,8,1,xonxoff", byPath, byPath, 115200,
        Flow::XonXoff);
    row("colons in the path, no settings", byPath, byPath, byPath);
    row("unknown flow control", "COM3:9600,N,8,1,dtr", "", "dtr");
    row("bad baud", "COM3:fast,N,8,1", "", "fast");
    row("no port number", "COM:9600,N,8,1", "", "COM");
    row("relative path", "ttyUSB0", "", "ttyUSB0");
    socket("network printer, port 9100", "socket://192.168.1.50", "192.168.1.50", 9100);
    socket("network printer by name and port", "SOCKET://till-printer.lan:9101", "till-printer.lan",
           9101);
    socket("network printer, IPv6", "socket://[fe80::1]:9100/", "fe80::1", 9100);
    socket("network printer, port out of range", "socket://printer:70000", "", 0);
    socket("network printer with a path", "socket://printer/queue", "", 0);
    socket("network printer with no host", "socket://:9100", "", 0);
    socket("print queue, blanks and all", "queue:Receipt Printer (USB001)",
           "Receipt Printer (USB001)", -1);
    socket("print queue with no name", "queue:", "", 0);
}

void TestPrinterPort::address()
{
    QFETCH(QString, text);
    QFETCH(QString, port);
    QFETCH(QString, location);
    qputenv("TRALVO_COMDIR", "/tmp/ports");

    QString error;
    const auto address = PrinterAddress::parse(text, &error);
    QCOMPARE(address.has_value(), !port.isEmpty());
    if (!address) {
        QVERIFY2(error.contains(location), qPrintable(error));
        return;
    }
    QCOMPARE(address->port, port);
    QCOMPARE(address->location, location);
    QTEST(int(address->settings.baud), "baud");
    QTEST(address->settings.flowControl, "flow");
    QFETCH(int, socketPort);
    QCOMPARE(address->kind == PrinterAddress::Kind::Socket, socketPort > 0);
    QCOMPARE(address->kind == PrinterAddress::Kind::Queue, socketPort < 0);
    if (socketPort > 0)
        QCOMPARE(int(address->socketPort), socketPort);
}

QTEST_GUILESS_MAIN(TestPrinterPort)
#include "tst_printerport.moc"

#include "networkprinter.h"
#include "printer.h"
#include "verifythrows.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

// A raw network printer on 127.0.0.1: its connections, each with what it brought. It reads
// nothing of a connection until got() asks, so TCP holds the sender back.
struct FakePrinter
{
    explicit FakePrinter(quint16 port = 0)
    {
        server.listen(QHostAddress::LocalHost, port);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                socket->setReadBufferSize(4096), connections.push_back(socket);
        });
    }
    QByteArray got(std::size_t at)
    {
        connections[at]->setReadBufferSize(0);
        return got_[at] += connections[at]->readAll();
    }
    // Closed by the sender, with all it sent read.
    bool closed(std::size_t at)
    {
        got(at);
        return connections[at]->state() == QAbstractSocket::UnconnectedState &&
               connections[at]->bytesAvailable() == 0;
    }
    QTcpServer server;
    std::vector<QTcpSocket *> connections; // children of the server
    QByteArray got_[4];
};

PrinterAddress addressOf(quint16 port)
{
    return *PrinterAddress::parse(QStringLiteral("socket://127.0.0.1:%1").arg(port));
}

QByteArray receipt(int lines, char tag)
{
    QByteArray bytes;
    for (int i = 0; i < lines; ++i)
        bytes += "Receipt " + QByteArray(1, tag) + ' ' + QByteArray::number(i) + '\n';
    return bytes;
}

std::unique_ptr<Printer> networkPrinter(quint16 port, qint64 capacity = Printer::defaultCapacity)
{
    return std::make_unique<Printer>(std::make_unique<NetworkPrinter>(addressOf(port)), capacity);
}

bool opens(Printer &printer)
{
    try {
        printer.open();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

class TestNetworkPrinter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eachJobOnItsOwnConnection();
    void printerGoneThenBack();
    void printerThatNeverReads();
};

// Each job connects at its first byte, goes whole and in order, and is closed after its last;
// the source hears of it only then. The printer's replies come back meanwhile.
void TestNetworkPrinter::eachJobOnItsOwnConnection()
{
    FakePrinter fake;
    const auto network = networkPrinter(fake.server.serverPort());
    Printer &printer = *network;
    QSignalSpy replies(&printer, &Onward::replied);
    QSignalSpy written(&printer, &Onward::jobWritten);
    printer.open();
    const QByteArray first = "\x1b@" + receipt(3000, 'a') + "\x1bp\x00\x19\xfa";
    const QByteArray second = receipt(10, 'b');
    QCOMPARE(printer.send(first), qint64(first.size()));
    QTRY_COMPARE(fake.connections.size(), std::size_t(1));
    fake.connections[0]->write("\x12");
    QTRY_COMPARE(replies.count(), 1);
    printer.endJob();
    QCOMPARE(printer.send(second), qint64(second.size()));
    printer.endJob();
    QTRY_COMPARE(written.count(), 2);
    QTRY_COMPARE(fake.connections.size(), std::size_t(2));
    QTRY_VERIFY(fake.closed(0) && fake.closed(1));
    QCOMPARE(fake.got(0), first);
    QCOMPARE(fake.got(1), second);
}

// A printer that refuses is lost once, with the reason; the job waits, and only open() (the
// retry) connects again: it throws until the printer is back, and the job then arrives once.
void TestNetworkPrinter::printerGoneThenBack()
{
    const quint16 port = FakePrinter().server.serverPort();
    const auto network = networkPrinter(port);
    Printer &printer = *network;
    QSignalSpy lost(&printer, &Printer::lost);
    printer.open();
    const QByteArray job = receipt(200, 'c');
    QCOMPARE(printer.send(job), qint64(job.size()));
    printer.endJob();
    QTRY_COMPARE(lost.count(), 1);
    const QString reason = lost.at(0).at(0).toString();
    QVERIFY2(reason.startsWith(QStringLiteral("cannot connect to socket://127.0.0.1:")),
             qPrintable(reason));
    QCOMPARE(printer.queued(), qint64(job.size()));
    VERIFY_THROWS(std::exception, printer.open());

    FakePrinter back(port);
    QTRY_VERIFY(opens(printer));
    QTRY_COMPARE(back.connections.size(), std::size_t(1));
    QTRY_VERIFY(back.closed(0));
    QCOMPARE(back.got(0), job);
    QCOMPARE(lost.count(), 1);
}

// A printer that takes the connection and reads nothing: the queue fills to its bound and no
// further; once the printer reads, all of it arrives in order.
void TestNetworkPrinter::printerThatNeverReads()
{
    FakePrinter fake;
    constexpr qint64 capacity = 64 * 1024;
    const auto network = networkPrinter(fake.server.serverPort(), capacity);
    Printer &printer = *network;
    printer.open();
    QByteArray sent;
    for (int tries = 0; tries < 200 && (tries < 10 || printer.room() > 0); ++tries) {
        const QByteArray more = receipt(10000, 'd');
        sent += more.left(static_cast<int>(printer.send(more)));
        QTest::qWait(20);
    }
    QCOMPARE(printer.queued(), capacity);
    printer.endJob();
    QTRY_VERIFY_WITH_TIMEOUT(fake.closed(0), 20000);
    QCOMPARE(fake.got(0).size(), sent.size());
    QVERIFY(fake.got(0) == sent);
}

QTEST_GUILESS_MAIN(TestNetworkPrinter)
#include "tst_networkprinter.moc"

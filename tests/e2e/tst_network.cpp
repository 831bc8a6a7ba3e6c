#include "programrun.h"
#include "ptypair.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <sys/socket.h>
#include <vector>

namespace {

const QByteArray kick("\x1b\x70\x00\x19\xfa", 5);
const QByteArray statusRequests("\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04", 12);

std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket->waitForConnected(5000) ? std::move(socket) : nullptr;
}

// What the client reads until Tralvo closes the connection or 10 s pass.
QByteArray readToClose(QTcpSocket &socket)
{
    QDeadlineTimer deadline(10000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 200)));
    return socket.readAll();
}

// A job as CUPS' socket backend sends it: the bytes, the sending side shut, then what comes back
// until Tralvo closes the connection. "refused" when there was no connection.
QByteArray sendJob(quint16 port, const QByteArray &job)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(10000))
        return "refused: " + client.errorString().toLatin1();
    client.write(job);
    while (client.bytesToWrite() > 0 && client.waitForBytesWritten(10000)) {
    }
    ::shutdown(static_cast<int>(client.socketDescriptor()), SHUT_WR);
    return readToClose(client);
}

} // namespace

// The built program as a network print port: jobs over TCP, with no printer behind it (Tralvo
// answers status requests itself) and with a printer the jobs take turns at.
class TestNetwork : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void jobsWithoutPrinter_data();
    void jobsWithoutPrinter();
    void jobsTakeTurnsAtPrinter();
    void httpRequestRefused_data();
    void httpRequestRefused();
    void idleClientClosedAndStormSurvived();
    void takenAddressFails();
    void bigJobAndReset();

private:
    bool startListening(const QStringList &more = {});

    std::unique_ptr<ListenerBench> m_bench;
};

void TestNetwork::init()
{
    m_bench = std::make_unique<ListenerBench>();
    QVERIFY(m_bench->ready());
}

void TestNetwork::cleanup()
{
    m_bench.reset();
}

bool TestNetwork::startListening(const QStringList &more)
{
    return m_bench->start(QStringLiteral("--listen"), "Network", more);
}

void TestNetwork::jobsWithoutPrinter_data()
{
    QTest::addColumn<QString>("match");
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<int>("pulses");

    const QByteArray online(4, '\x12');
    // GS v 0, 8 x 2 bytes, whose data holds a kick and a status request.
    const QByteArray image = QByteArray("\x1d\x76\x30\x00\x08\x00\x02\x00", 8) + kick +
                             QByteArray("\x10\x04\x01", 3) + QByteArray(8, 'U');
    QTest::newRow("status, receipt, kick")
        << "" << statusRequests + "Total 2.40\n" + kick << online << 1;
    QTest::newRow("two kicks in one write: one pulse") << "" << kick + kick << QByteArray() << 1;
    QTest::newRow("image data is no kick and no request") << "" << image << QByteArray() << 0;
    QTest::newRow("start: the job's opening")
        << "--match=start" << kick + "text" + kick << QByteArray() << 1;
    QTest::newRow("start: text first") << "--match=start"
                                       << "text" + kick << QByteArray() << 0;
}

void TestNetwork::jobsWithoutPrinter()
{
    QFETCH(QString, match);
    QFETCH(QByteArray, job);
    QFETCH(QByteArray, answers);
    QFETCH(int, pulses);
    QVERIFY(startListening(match.isEmpty() ? QStringList() : QStringList{match}));

    QCOMPARE(sendJob(m_bench->port, job), answers);
    QTRY_COMPARE(m_bench->run.pulses().size(), pulses);
    QTest::qWait(300); // a second pulse for the one job would show by now
    QCOMPARE(m_bench->run.pulses().size(), pulses);
}

// Two jobs at once: the first holds the printer from its first byte to its end, the second
// waits and then goes whole; the printer's reply goes to the job that holds it.
void TestNetwork::jobsTakeTurnsAtPrinter()
{
    const SocatPair printerPair(m_bench->dir, 3, 4);
    const PortEnd printer(m_bench->dir.port(4));
    QVERIFY(printerPair.isRunning() && printer.isOpen());
    QVERIFY(startListening({QStringLiteral("--printer=COM3")}));

    const auto first = connectTo(m_bench->port);
    QVERIFY(first);
    first->write("first job, part 1\n\x10\x04\x01");
    QVERIFY(first->waitForBytesWritten(5000));
    QCOMPARE(printer.read(21, 5000), QByteArray("first job, part 1\n\x10\x04\x01"));
    const auto second = connectTo(m_bench->port);
    QVERIFY(second);
    const QByteArray secondJob = "second job\n" + kick;
    second->write(secondJob);
    QVERIFY(second->waitForBytesWritten(5000));
    QTest::qWait(300);
    QVERIFY(printer.write(QByteArray("\x16", 1))); // the printer's status reply
    QVERIFY(first->waitForReadyRead(5000));
    QCOMPARE(first->readAll(), QByteArray("\x16", 1));
    QCOMPARE(second->bytesAvailable(), qint64(0));
    first->write("first job, part 2\n");
    QVERIFY(first->waitForBytesWritten(5000));
    first->disconnectFromHost();

    const QByteArray got = printer.read(static_cast<int>(18 + secondJob.size()), 5000);
    QCOMPARE(got, "first job, part 2\n" + secondJob);
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);
    // The second job's end closes it.
    second->disconnectFromHost();
    QCOMPARE(printer.read(1, 300), QByteArray());
}

void TestNetwork::httpRequestRefused_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("logged");

    const QByteArray head = "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n";
    QTest::newRow("no-cors POST from a web page")
        << head + "Origin: https://evil.example\r\nContent-Length: 5\r\n\r\n" + kick
        << QByteArray("(POST /, Origin: https://evil.example)");
    QTest::newRow("no Origin, headers cut off") << head + "Content-Length: 5\r\n"
                                                << QByteArray("(POST /)");
}

// A web page can make the till's browser send a request to the print port; its body is no job.
void TestNetwork::httpRequestRefused()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, logged);
    const SocatPair printerPair(m_bench->dir, 3, 4);
    const PortEnd printer(m_bench->dir.port(4));
    QVERIFY(printerPair.isRunning() && printer.isOpen());
    QVERIFY(startListening({QStringLiteral("--printer=COM3")}));

    QCOMPARE(sendJob(m_bench->port, request), QByteArray());
    QTRY_VERIFY(m_bench->run.standardError().contains("sent an HTTP request " + logged));
    QCOMPARE(printer.read(1, 300), QByteArray());
    QCOMPARE(m_bench->run.pulses().size(), 0);
    // The port takes the next raw job as ever.
    QCOMPARE(sendJob(m_bench->port, "receipt\n" + kick), QByteArray());
    QCOMPARE(printer.read(13, 5000), "receipt\n" + kick);
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);
}

void TestNetwork::idleClientClosedAndStormSurvived()
{
    QVERIFY(startListening({QStringLiteral("--idle-timeout=1")}));
    const auto idle = connectTo(m_bench->port);
    QVERIFY(idle);
    QCOMPARE(readToClose(*idle), QByteArray());
    QVERIFY2(idle->state() != QAbstractSocket::ConnectedState, "an idle client stays connected");
    QTRY_VERIFY(m_bench->run.standardError().contains("sent nothing for 1 s; closed"));

    // 500 connections at once, each a little text and gone; then a kick still opens the drawer
    // once. Past the listen queue a connection waits for the system to try again, so allow time.
    std::vector<std::unique_ptr<QTcpSocket>> storm(500);
    for (auto &socket : storm) {
        socket = std::make_unique<QTcpSocket>();
        connect(socket.get(), &QTcpSocket::connected, socket.get(), [s = socket.get()] {
            s->write("x");
            s->disconnectFromHost();
        });
        socket->connectToHost(QHostAddress::LocalHost, m_bench->port);
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(storm.begin(), storm.end(),
                                         [](const auto &socket) {
                                             return socket->state() ==
                                                    QAbstractSocket::UnconnectedState;
                                         }),
                             30000);
    const QByteArray answer = sendJob(m_bench->port, kick);
    QVERIFY2(answer.isEmpty(), answer + "\n" + m_bench->run.standardError().right(1500));
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);
}

void TestNetwork::takenAddressFails()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost, m_bench->port));
    QVERIFY(m_bench->run.start(
        {QStringLiteral("--listen=%1").arg(m_bench->port), QStringLiteral("1,0")}));
    QTRY_VERIFY(m_bench->run.standardError().contains("tralvo: Network: Open Failed"));
    QVERIFY(m_bench->run.standardError().contains(
        QStringLiteral("Network: cannot listen on 127.0.0.1:%1").arg(m_bench->port).toLatin1()));
    // Once the address is free, it is taken.
    other.close();
    QTRY_VERIFY_WITH_TIMEOUT(
        m_bench->run.standardError().contains("Network: the port is open again"), 5000);
}

// 100 MiB in one job pass through with one pulse for the kick at its end; a client that resets
// in the middle of a job is told of in the log and leaves the port working.
void TestNetwork::bigJobAndReset()
{
    QVERIFY(startListening());
    QCOMPARE(sendJob(m_bench->port, QByteArray(100 * 1024 * 1024, 'x') + kick), QByteArray());
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);

    const auto reset = connectTo(m_bench->port);
    QVERIFY(reset);
    reset->write("half a job");
    QVERIFY(reset->waitForBytesWritten(5000));
    QTest::qWait(200);
    const linger abrupt{1, 0}; // closing now sends a reset
    QCOMPARE(::setsockopt(static_cast<int>(reset->socketDescriptor()), SOL_SOCKET, SO_LINGER,
                          &abrupt, sizeof abrupt),
             0);
    reset->abort();
    QTRY_VERIFY(m_bench->run.standardError().contains("Connection reset by peer"));
    QCOMPARE(sendJob(m_bench->port, kick), QByteArray());
    QTRY_COMPARE(m_bench->run.pulses().size(), 2);
}

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"

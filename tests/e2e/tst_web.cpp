#include "programrun.h"

#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

QByteArray envelope(const QByteArray &body)
{
    return "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
           "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\">" +
           body + "</epos-print></s:Body></s:Envelope>";
}

QByteArray post(const QByteArray &path, const QByteArray &body, const QByteArray &more = {})
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\n" + more +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

const QByteArray eposPath = "/cgi-bin/epos/service.cgi";
const QByteArray pulse = envelope("<pulse drawer=\"drawer_1\" time=\"pulse_100\"/>");

// What comes back until the answer's body is whole (by its Content-Length) or 10 s pass.
QByteArray answer(QTcpSocket &client)
{
    QByteArray got;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        const auto headEnd = got.indexOf("\r\n\r\n");
        if (headEnd >= 0) {
            const auto at = got.indexOf("Content-Length: ");
            const int length = got.mid(at + 16, got.indexOf('\r', at) - at - 16).toInt();
            if (got.size() >= headEnd + 4 + length)
                return got;
        }
        if (!client.waitForReadyRead(200) && client.state() != QAbstractSocket::ConnectedState)
            return got + client.readAll();
        got += client.readAll();
    }
    return got;
}

} // namespace

// The built program's web door over loopback, with what a client may get wrong.
class TestWeb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void keptAliveRequestsPulse();
    void badRequests_data();
    void badRequests();
    void cutOffMidBody();
    void connectionStorm();
    void slowClientClosed();

private:
    bool startDoor(const QStringList &more = {});
    std::unique_ptr<QTcpSocket> connectToDoor();

    std::unique_ptr<ListenerBench> m_bench;
};

void TestWeb::init()
{
    m_bench = std::make_unique<ListenerBench>();
    QVERIFY(m_bench->ready());
}

void TestWeb::cleanup()
{
    m_bench.reset();
}

bool TestWeb::startDoor(const QStringList &more)
{
    return m_bench->start(QStringLiteral("--http"), "Web", more);
}

std::unique_ptr<QTcpSocket> TestWeb::connectToDoor()
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, m_bench->port);
    return socket->waitForConnected(5000) ? std::move(socket) : nullptr;
}

// Two ePOS pulses on one kept-alive connection: two answers, two pulses. The second waits, as
// curl does for a large body, to be told to send its body.
void TestWeb::keptAliveRequestsPulse()
{
    QVERIFY(startDoor());
    const auto client = connectToDoor();
    QVERIFY(client);
    for (int i = 1; i <= 2; ++i) {
        if (i == 2) {
            const QByteArray request = post(eposPath, pulse, "Expect: 100-continue\r\n");
            const auto headSize = request.indexOf("\r\n\r\n") + 4;
            client->write(request.left(headSize));
            const QByteArray goOn = "HTTP/1.1 100 Continue\r\n\r\n";
            QByteArray interim;
            while (interim.size() < goOn.size() && client->waitForReadyRead(5000))
                interim += client->read(goOn.size() - interim.size());
            QCOMPARE(interim, goOn);
            client->write(request.mid(headSize));
        } else {
            client->write(post(eposPath, pulse));
        }
        const QByteArray got = answer(*client);
        QVERIFY2(got.startsWith("HTTP/1.1 200 OK") && got.contains("success=\"true\""),
                 got.constData());
        QTRY_COMPARE(m_bench->run.pulses().size(), i);
    }
    QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
}

void TestWeb::badRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("inAnswer");

    QTest::newRow("body over 4 MiB")
        << QByteArray("POST /cgi-bin/epos/service.cgi HTTP/1.1\r\nContent-Length: 4194305\r\n\r\n")
        << QByteArray("413") << QByteArray();
    QTest::newRow("headers over 16 KiB")
        << "GET /hw_proxy/hello HTTP/1.1\r\nX-Pad: " + QByteArray(17000, 'a') + "\r\n\r\n"
        << QByteArray("431") << QByteArray();
    QTest::newRow("not HTTP") << QByteArray("\x1b\x70\x00\x19\xfa\r\n\r\n", 9) << QByteArray("400")
                              << QByteArray();
    QTest::newRow("XML not well formed") << post(eposPath, envelope("<pulse drawer=\"drawer_1\">"))
                                         << QByteArray("200") << QByteArray("SchemaError");
    QTest::newRow("unknown element") << post(eposPath, envelope("<blink/>" + pulse))
                                     << QByteArray("200") << QByteArray("SchemaError");
    QTest::newRow("image size disagrees")
        << post(eposPath, envelope("<image width=\"16\" height=\"2\">/4E=</image><pulse/>"))
        << QByteArray("200") << QByteArray("SchemaError");
    QTest::newRow("a JPEG that is not one")
        << post("/hw_proxy/default_printer_action",
                "{\"jsonrpc\":\"2.0\",\"id\":3,\"params\":{\"data\":{\"action\":\"print_receipt\","
                "\"receipt\":\"/9j/AAAA\"}}}")
        << QByteArray("200") << QByteArray("\"result\":false");
    QTest::newRow("a page on the web") << post(eposPath, pulse, "Origin: https://evil.example\r\n")
                                       << QByteArray("403") << QByteArray();
}

// Each is answered as it deserves, logged, and neither pulses nor prints.
void TestWeb::badRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, inAnswer);
    QVERIFY(startDoor({QStringLiteral("--printer=COM3")}));
    const auto client = connectToDoor();
    QVERIFY(client);
    client->write(request);
    const QByteArray got = answer(*client);
    QVERIFY2(got.startsWith("HTTP/1.1 " + status) && got.contains(inAnswer),
             got.left(400).constData());
    QTRY_VERIFY2(m_bench->run.standardError().contains("tralvo: Web: 127.0.0.1:"),
                 m_bench->run.standardError().constData());
    QTest::qWait(200);
    QCOMPARE(m_bench->run.pulses().size(), 0);
}

void TestWeb::cutOffMidBody()
{
    QVERIFY(startDoor());
    const auto client = connectToDoor();
    QVERIFY(client);
    const QByteArray whole = post(eposPath, pulse);
    client->write(whole.left(whole.size() - 10));
    QVERIFY(client->waitForBytesWritten(5000));
    client->close();
    QTRY_VERIFY(m_bench->run.standardError().contains("in the middle of a request"));
    QCOMPARE(m_bench->run.pulses().size(), 0);
}

// 200 connections at once: 64 are served, the rest told to come back; the door goes on.
void TestWeb::connectionStorm()
{
    QVERIFY(startDoor());
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < 200; ++i) {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->connectToHost(QHostAddress::LocalHost, m_bench->port);
        // One by one: Qt 5's listen queue of 50 would otherwise drop connections, which the
        // system then retries only seconds later.
        QVERIFY(clients.back()->waitForConnected(5000));
    }
    std::vector<QByteArray> got(clients.size());
    const auto refused = [&] {
        int count = 0;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            got[i] += clients[i]->readAll();
            count += got[i].startsWith("HTTP/1.1 503") ? 1 : 0;
        }
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(refused(), 200 - 64, 30000);
    QTRY_VERIFY(m_bench->run.standardError().contains("64 connections are open"));
    clients.clear();
    QTest::qWait(300);
    const auto client = connectToDoor();
    QVERIFY(client);
    client->write(post(eposPath, pulse));
    QVERIFY(answer(*client).contains("success=\"true\""));
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);
}

// A client that sends a byte a second holds no connection for ever.
void TestWeb::slowClientClosed()
{
    QVERIFY(startDoor({QStringLiteral("--idle-timeout=2")}));
    const auto client = connectToDoor();
    QVERIFY(client);
    const QByteArray request = post(eposPath, pulse);
    QElapsedTimer sending;
    sending.start();
    for (int i = 0; i < 8 && client->state() == QAbstractSocket::ConnectedState; ++i) {
        client->write(request.mid(i, 1));
        client->waitForBytesWritten(1000);
        client->waitForDisconnected(1000);
    }
    QCOMPARE(client->state(), QAbstractSocket::UnconnectedState);
    QTRY_VERIFY(m_bench->run.standardError().contains("took more than 2 s over one request"));
    QCOMPARE(m_bench->run.pulses().size(), 0);
}

QTEST_MAIN(TestWeb)
#include "tst_web.moc"

#include "programrun.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

QByteArray pulseRequest()
{
    const QByteArray body =
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
        "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\">"
        "<pulse drawer=\"drawer_1\" time=\"pulse_100\"/></epos-print></s:Body></s:Envelope>";
    return "POST /cgi-bin/epos/service.cgi HTTP/1.1\r\nHost: 127.0.0.1\r\n"
           "Content-Type: text/xml\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A ClientHello that offers TLS 1.0 and nothing newer (no supported_versions extension).
QByteArray tls10Hello()
{
    QByteArray hello = QByteArray::fromHex("160301002d"
                                           "01000029"
                                           "0301");
    hello += QByteArray(32, '\x5a'); // the client's random
    hello += QByteArray::fromHex("00"
                                 "0002002f"
                                 "0100");
    return hello;
}

} // namespace

// The built program's web door over TLS: who gets through the handshake, and what it takes.
class TestWebTls : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void refusedHandshakes_data();
    void refusedHandshakes();
    void handshakeStorm();
    void certificatePutRightIsTaken();

private:
    bool startDoor(const QStringList &more = {});
    QString certificatePath() const
    {
        return m_state.filePath(QStringLiteral("https-certificate.pem"));
    }
    // A client that trusts only the till's certificate (made at start), connected to the door's
    // address and through its handshake, TLS 1.2 or newer; null otherwise.
    std::unique_ptr<QSslSocket> trustingClient();
    // One ePOS pulse on client: true when it is answered with success.
    static bool pulseOver(QSslSocket &client);

    QTemporaryDir m_state;
    std::unique_ptr<ListenerBench> m_bench;
};

void TestWebTls::init()
{
    QVERIFY(QSslSocket::supportsSsl());
    m_bench = std::make_unique<ListenerBench>();
    QVERIFY(m_bench->ready() && m_state.isValid());
    m_bench->run.environment().insert(QStringLiteral("STATE_DIRECTORY"), m_state.path());
}

void TestWebTls::cleanup()
{
    m_bench.reset();
}

bool TestWebTls::startDoor(const QStringList &more)
{
    return m_bench->start(QStringLiteral("--https"), "Web", more);
}

std::unique_ptr<QSslSocket> TestWebTls::trustingClient()
{
    auto client = std::make_unique<QSslSocket>();
    QSslConfiguration configuration = client->sslConfiguration();
    configuration.setCaCertificates(QSslCertificate::fromPath(certificatePath()));
    client->setSslConfiguration(configuration);
    client->connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_bench->port);
    const bool secure =
        client->waitForEncrypted(10000) &&
        (client->sessionProtocol() == QSsl::TlsV1_2 || client->sessionProtocol() == QSsl::TlsV1_3);
    return secure ? std::move(client) : nullptr;
}

bool TestWebTls::pulseOver(QSslSocket &client)
{
    client.write(pulseRequest());
    QByteArray got;
    QDeadlineTimer deadline(10000);
    while (!got.contains("</s:Envelope>") && !deadline.hasExpired() && client.waitForReadyRead(500))
        got += client.readAll();
    return got.startsWith("HTTP/1.1 200 OK") && got.contains("success=\"true\"");
}

void TestWebTls::refusedHandshakes_data()
{
    QTest::addColumn<QByteArray>("sent"); // raw bytes; empty: a client that trusts nothing here
    QTest::addColumn<QByteArray>("reason");

    QTest::newRow("plain HTTP") << pulseRequest() << QByteArray("http request");
    QTest::newRow("TLS 1.0 only") << tls10Hello() << QByteArray("unsupported protocol");
    QTest::newRow("stops halfway")
        << tls10Hello().left(5) << QByteArray("not complete within 10 s");
    QTest::newRow("client that does not trust it") << QByteArray() << QByteArray("; closed");
}

// A handshake that fails is logged with its peer and why, brings nothing onto the path, and
// leaves the door to the next client.
void TestWebTls::refusedHandshakes()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reason);
    QVERIFY(startDoor());
    QSslSocket client;
    QByteArray peer;
    const auto noteConnected = [&client, &peer] {
        peer = "Web: 127.0.0.1:" + QByteArray::number(client.localPort()) +
               ": the TLS handshake failed (";
    };
    connect(&client, &QAbstractSocket::connected, this, noteConnected);
    if (sent.isEmpty()) {
        client.connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_bench->port);
        QVERIFY(!client.waitForEncrypted(10000));
    } else {
        client.connectToHost(QHostAddress::LocalHost, m_bench->port);
        QVERIFY(client.waitForConnected(5000));
        client.write(sent);
        // Closed by the door: at once, or after its handshake time of 10 s.
        QVERIFY(client.waitForDisconnected(30000));
    }
    QVERIFY(!peer.isEmpty());
    QVERIFY(m_bench->run.waitForLog(peer, 10000));
    QVERIFY2(m_bench->run.standardError().contains(reason),
             m_bench->run.standardError().constData());
    const auto next = trustingClient();
    QVERIFY(next);
    QVERIFY(pulseOver(*next));
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);
}

// A hundred clients that shake hands at once all get through; the door still pulses after.
void TestWebTls::handshakeStorm()
{
    QVERIFY(startDoor());
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(QSslCertificate::fromPath(certificatePath()));
    std::vector<std::unique_ptr<QSslSocket>> clients;
    int encrypted = 0;
    for (int i = 0; i < 100; ++i) {
        clients.push_back(std::make_unique<QSslSocket>());
        clients.back()->setSslConfiguration(configuration);
        connect(clients.back().get(), &QSslSocket::encrypted, this, [&encrypted] { ++encrypted; });
        clients.back()->connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_bench->port);
    }
    QTRY_COMPARE_WITH_TIMEOUT(encrypted, 100, 60000);
    QVERIFY(!m_bench->run.standardError().contains("TLS handshake failed"));
    clients.clear();
    const auto client = trustingClient();
    QVERIFY(client);
    QVERIFY(pulseOver(*client));
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);
}

// Given files that are not there, HTTPS stays shut with the reason in the log, and opens on its
// own once they are.
void TestWebTls::certificatePutRightIsTaken()
{
    const QString certificate = m_state.filePath(QStringLiteral("given.pem"));
    const QString key = m_state.filePath(QStringLiteral("given-key.pem"));
    QVERIFY(m_bench->run.start({QStringLiteral("--https=%1").arg(m_bench->port),
                                QStringLiteral("--https-certificate=%1,%2").arg(certificate, key),
                                QStringLiteral("1,0")}));
    QVERIFY(m_bench->run.waitForLog("tralvo: Web: Open Failed", 10000));
    QVERIFY(m_bench->run.standardError().contains("given.pem cannot be read"));

    // The till's own pair, made by the program itself, copied into place.
    QProcess maker;
    maker.setProcessEnvironment(m_bench->run.environment());
    maker.start(ProgramRun::binary(), {QStringLiteral("--https-certificate-path")});
    QVERIFY(maker.waitForFinished(10000) && maker.exitCode() == 0);
    QCOMPARE(QString::fromLocal8Bit(maker.readAllStandardOutput()).trimmed(), certificatePath());
    QVERIFY(QFile::copy(m_state.filePath(QStringLiteral("https-key.pem")), key));
    QVERIFY(QFile::copy(certificatePath(), certificate));
    QVERIFY(m_bench->run.waitForLog("tralvo: Web: Open Success", 10000));
    const auto client = trustingClient();
    QVERIFY(client);
    QVERIFY(pulseOver(*client));
    QTRY_COMPARE(m_bench->run.pulses().size(), 1);
}

QTEST_MAIN(TestWebTls)
#include "tst_webtls.moc"

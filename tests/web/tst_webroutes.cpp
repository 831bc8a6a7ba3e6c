#include "receiptimage.h"
#include "webroutes.h"

#include <QBuffer>
#include <QImage>
#include <QtTest>

namespace {

const QByteArray pulseBody =
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
    "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\">"
    "<pulse drawer=\"drawer_1\" time=\"pulse_100\"/></epos-print></s:Body></s:Envelope>";
const QByteArray textBody = "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/"
                            "epos-print\"><text>Total&#10;</text><cut type=\"feed\"/></epos-print>";
const QByteArray emptyBody =
    "<epos-print xmlns=\"http://www.epson-pos.com/schemas/2011/03/epos-print\"/>";
const QByteArray eposPath = "/cgi-bin/epos/service.cgi";

HttpRequest request(const QByteArray &method, const QByteArray &path, const QByteArray &origin,
                    const QByteArray &body = {})
{
    HttpRequest r;
    r.method = method;
    r.path = path;
    r.body = body;
    if (!origin.isEmpty())
        r.headers.emplace_back("Origin", origin);
    return r;
}

QByteArray header(const HttpResponse &response, const QByteArray &name)
{
    for (const auto &[key, value] : response.headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QByteArray rpc(const QByteArray &params)
{
    return "{\"jsonrpc\":\"2.0\",\"method\":\"call\",\"id\":7,\"params\":" + params + "}";
}

QByteArray jpeg(int width, int height, Qt::GlobalColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(HttpRequest)

// Who may call and what each route answers, decided before anything is carried out.
class TestWebRoutes : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void route_data();
    void route();
    void preflight();
    void answer_data();
    void answer();
    void receipt();
};

void TestWebRoutes::route_data()
{
    QTest::addColumn<HttpRequest>("request");
    QTest::addColumn<bool>("hasPrinter");
    QTest::addColumn<int>("status");      // 0: a job
    QTest::addColumn<QByteArray>("body"); // in the answer, or the job's bytes
    QTest::addColumn<QByteArray>("logged");

    const QByteArray pos = "http://pos.test:8000";
    const QByteArray kick("\x1b\x70\x00\x32\xfa", 5);
    QTest::newRow("unlisted origin: 403, nothing done")
        << request("POST", eposPath, "http://other.test:8000", pulseBody) << true << 403
        << QByteArray("may not call") << QByteArray("web origin http://other.test:8000");
    QTest::newRow("listed origin: pulse job")
        << request("POST", eposPath, pos, pulseBody) << false << 0 << kick << QByteArray();
    QTest::newRow("no origin: a local program")
        << request("POST", eposPath, {}, pulseBody) << false << 0 << kick << QByteArray();
    QTest::newRow("loopback page") << request("POST", eposPath, "http://127.0.0.1:8069", pulseBody)
                                   << false << 0 << kick << QByteArray();
    QTest::newRow("printing with no printer")
        << request("POST", eposPath, pos, textBody) << false << 200
        << QByteArray("code=\"DeviceNotFound\"") << QByteArray("no printer");
    QTest::newRow("printing") << request("POST", eposPath, pos, textBody) << true << 0
                              << QByteArray("Total\n") << QByteArray();
    QTest::newRow("unknown element")
        << request("POST", eposPath, pos,
                   emptyBody.left(emptyBody.size() - 2) + "><blink/></epos-print>")
        << true << 200 << QByteArray("success=\"false\" code=\"SchemaError\"")
        << QByteArray("<blink");
    QTest::newRow("status probe") << request("POST", eposPath, pos, emptyBody) << true << 200
                                  << QByteArray("success=\"true\"") << QByteArray();
    QTest::newRow("GET on ePOS") << request("GET", eposPath, pos) << true << 405 << QByteArray()
                                 << QByteArray();
    QTest::newRow("hello") << request("GET", "/hw_proxy/hello", pos) << false << 200
                           << QByteArray("ping") << QByteArray();
    QTest::newRow("handshake") << request("POST", "/hw_proxy/handshake", pos, rpc("{}")) << false
                               << 200 << QByteArray("\"id\":7,") << QByteArray();
    QTest::newRow("cashbox") << request("POST", "/hw_proxy/default_printer_action", pos,
                                        rpc("{\"data\":{\"action\":\"cashbox\"}}"))
                             << false << 0 << QByteArray("\x1b\x70\x00\x19\xfa", 5) << QByteArray();
    QTest::newRow("open_cashbox") << request("POST", "/hw_proxy/open_cashbox", pos, rpc("{}"))
                                  << false << 0 << QByteArray("\x1b\x70", 2) << QByteArray();
    QTest::newRow("receipt that is no JPEG")
        << request(
               "POST", "/hw_proxy/default_printer_action", pos,
               rpc("{\"data\":{\"action\":\"print_receipt\",\"receipt\":\"bm90IGFuIGltYWdl\"}}"))
        << true << 200 << QByteArray("\"result\":false") << QByteArray("no image");
    QTest::newRow("unknown call") << request("POST", "/hw_proxy/scale_read", pos, rpc("{}"))
                                  << false << 404 << QByteArray() << QByteArray();
    QTest::newRow("elsewhere") << request("GET", "/", {}) << false << 404 << QByteArray()
                               << QByteArray();
}

void TestWebRoutes::route()
{
    QFETCH(HttpRequest, request);
    QFETCH(bool, hasPrinter);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, logged);
    const WebOrigins origins(QStringList{QStringLiteral("http://pos.test:8000")});
    const Routed routed = routeWebRequest(request, {origins, hasPrinter, hasPrinter, 512});

    QCOMPARE(routed.job.has_value(), status == 0);
    QCOMPARE(routed.response.has_value(), status != 0);
    if (routed.job) {
        QVERIFY2(routed.job->bytes.contains(body), routed.job->bytes.toHex().constData());
        QCOMPARE(routed.job->prints, hasPrinter && !body.startsWith('\x1b'));
    } else {
        QCOMPARE(routed.response->status, status);
        QVERIFY2(routed.response->body.contains(body), routed.response->body.constData());
    }
    QVERIFY2(routed.logLine.contains(QString::fromUtf8(logged)), qPrintable(routed.logLine));
    // An allowed page hears its own origin back; a refused one does not.
    const QByteArray origin = request.header("origin");
    const QByteArray allowed = routed.job ? routed.job->allowedOrigin
                                          : header(*routed.response, "Access-Control-Allow-Origin");
    QCOMPARE(allowed, status == 403 ? QByteArray() : origin);
}

void TestWebRoutes::preflight()
{
    HttpRequest ask = request("OPTIONS", eposPath, "http://pos.test:8000");
    ask.headers.emplace_back("Access-Control-Request-Private-Network", "true");
    const WebOrigins origins(QStringList{QStringLiteral("http://pos.test:8000")});
    const Routed routed = routeWebRequest(ask, {origins, true, true, 512});
    QVERIFY(routed.response && !routed.job);
    QCOMPARE(routed.response->status, 204);
    QCOMPARE(header(*routed.response, "Access-Control-Allow-Private-Network"), QByteArray("true"));
    QVERIFY(header(*routed.response, "Access-Control-Allow-Headers").contains("SOAPAction"));
    QVERIFY(header(*routed.response, "Access-Control-Allow-Methods").contains("POST"));
    // Refused before any preflight is answered.
    ask.headers.front().second = "https://evil.example";
    QCOMPARE(routeWebRequest(ask, {origins, true, true, 512}).response->status, 403);
}

void TestWebRoutes::answer_data()
{
    QTest::addColumn<bool>("prints");
    QTest::addColumn<bool>("pulses");
    QTest::addColumn<int>("pulsed"); // -1 none, 0 failed, 1 succeeded
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<QByteArray>("epos");

    QTest::newRow("pulse done") << false << true << 1 << true << false
                                << QByteArray("success=\"true\" code=\"\" status=\"2\"");
    QTest::newRow("library failed") << false << true << 0 << true << false
                                    << QByteArray("success=\"false\" code=\"EX_BADPORT\"");
    QTest::newRow("no pulse for a pulse")
        << false << true << -1 << true << false << QByteArray("success=\"false\"");
    QTest::newRow("printed") << true << false << -1 << true << false
                             << QByteArray("success=\"true\"");
    QTest::newRow("printer never took it") << true << false << -1 << false << true
                                           << QByteArray("success=\"false\" code=\"EX_TIMEOUT\"");
}

void TestWebRoutes::answer()
{
    QFETCH(bool, prints);
    QFETCH(bool, pulses);
    QFETCH(int, pulsed);
    WebJobOrder order;
    order.prints = prints;
    order.pulses = pulses;
    JobOutcome outcome;
    if (pulsed >= 0)
        outcome.pulsed = pulsed == 1;
    QFETCH(bool, written);
    QFETCH(bool, timedOut);
    outcome.written = written;
    outcome.timedOut = timedOut;
    QFETCH(QByteArray, epos);
    const QByteArray soap = answerJob(order, outcome, true).body;
    QVERIFY2(soap.contains(epos), soap.constData());
    order.answer = WebJobOrder::Answer::JsonRpc;
    const bool success = answerJob(order, outcome, true).body.contains("\"result\":true");
    QCOMPARE(success, epos.contains("success=\"true\""));
}

// A receipt picture: scaled to the printer's width, black as dots, a cut after it.
void TestWebRoutes::receipt()
{
    QString why;
    const auto black = receiptRaster(jpeg(100, 50, Qt::black), 64, &why);
    QVERIFY2(black, qPrintable(why));
    const QByteArray head("\x1d\x76\x30\x00\x08\x00\x20\x00", 8); // 8 bytes a row, 32 rows
    QCOMPARE(black->left(8), head);
    QCOMPARE(black->size(), 8 + 8 * 32 + 4);
    QCOMPARE(black->mid(8, 8 * 32), QByteArray(8 * 32, '\xff'));
    QVERIFY(black->endsWith(QByteArray("\x1d\x56\x42\x00", 4)));
    const auto white = receiptRaster(jpeg(64, 8, Qt::white), 64);
    QVERIFY(white);
    QCOMPARE(white->mid(8, 64), QByteArray(64, '\0'));
    QVERIFY(!receiptRaster("not an image", 64, &why));
    QVERIFY(why.contains(QLatin1String("no image")));
}

QTEST_MAIN(TestWebRoutes)
#include "tst_webroutes.moc"

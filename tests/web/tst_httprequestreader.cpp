#include "httprequestreader.h"

#include <QtTest>

Q_DECLARE_METATYPE(HttpRequestError)

class TestHttpRequestReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data();
    void read();
    void bounds_data();
    void bounds();
    void continueAsked_data();
    void continueAsked();
};

namespace {

// What the reader made of a connection's bytes: a line and the body's size for each request,
// then a line for the error and the end.
QStringList takeAll(HttpRequestReader &reader)
{
    QStringList lines;
    while (reader.hasRequest()) {
        const HttpRequest r = reader.takeRequest();
        lines << QStringLiteral("%1 %2 ?%3 1.%4 %5 type=%6 body=%7")
                     .arg(QString::fromLatin1(r.method), QString::fromLatin1(r.path),
                          QString::fromLatin1(r.query))
                     .arg(r.minorVersion)
                     .arg(QLatin1String(r.keepAlive ? "keep" : "close"))
                     .arg(QString::fromLatin1(r.header("content-TYPE")),
                          QString::fromLatin1(r.body.left(40)))
              << QStringLiteral("body size %1").arg(r.body.size());
    }
    return lines;
}

QString end(const HttpRequestReader &reader)
{
    return QStringLiteral("status %1 finished %2")
        .arg(httpStatusCode(reader.error()))
        .arg(reader.finished());
}

// Feeds the bytes in pieces of at most step bytes (0: all at once), taking the requests after
// each piece.
QStringList readInSteps(const QByteArray &bytes, qsizetype step, qsizetype *taken = nullptr)
{
    HttpRequestReader reader;
    qsizetype total = 0;
    QStringList lines;
    for (qsizetype pos = 0; pos < bytes.size();) {
        const qsizetype size = step == 0 ? bytes.size() - pos : std::min(step, bytes.size() - pos);
        total += reader.feed(bytes.constData() + pos, size);
        pos += size;
        lines << takeAll(reader);
    }
    if (taken)
        *taken = total;
    return lines << end(reader);
}

} // namespace

void TestHttpRequestReader::read_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<qsizetype>("taken"); // -1: all of them

    const QByteArray epos = "POST /cgi-bin/epos/service.cgi?devid=local_printer&timeout=60000 "
                            "HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml; "
                            "charset=utf-8\r\nContent-Length: 12\r\n\r\n<epos-print>";
    const QByteArray get = "GET /hw_proxy/hello HTTP/1.1\r\nHost: x\r\n\r\n";
    const QString helloLine = "GET /hw_proxy/hello ? 1.1 keep type= body=";
    const QString eposLine = "POST /cgi-bin/epos/service.cgi ?devid=local_printer&timeout=60000 "
                             "1.1 keep type=text/xml; charset=utf-8 body=<epos-print>";
    QTest::newRow("ePOS post") << epos
                               << QStringList{eposLine, "body size 12", "status 0 finished 0"}
                               << qsizetype(-1);
    QTest::newRow("pipelined, blank line between")
        << get + epos + "\r\n" + get
        << QStringList{helloLine,     "body size 0",        eposLine, "body size 12", helloLine,
                       "body size 0", "status 0 finished 0"}
        << qsizetype(-1);
    QTest::newRow("chunked with a trailer")
        << QByteArray("PUT /a HTTP/1.1\r\nTransfer-Encoding: Chunked\r\n\r\n3;x=1\r\nabc\r\n"
                      "A\r\n0123456789\r\n0\r\nX-Sum: 1\r\n\r\n")
        << QStringList{"PUT /a ? 1.1 keep type= body=abc0123456789", "body size 13",
                       "status 0 finished 0"}
        << qsizetype(-1);
    QTest::newRow("absolute form")
        << QByteArray("GET http://127.0.0.1:8069/hw_drivers/event?x=1 HTTP/1.1\r\n\r\n")
        << QStringList{"GET /hw_drivers/event ?x=1 1.1 keep type= body=", "body size 0",
                       "status 0 finished 0"}
        << qsizetype(-1);
    const QByteArray close = "GET / HTTP/1.1\r\nConnection: close\r\n\r\n";
    QTest::newRow("close, then nothing taken")
        << close + get
        << QStringList{"GET / ? 1.1 close type= body=", "body size 0", "status 0 finished 1"}
        << qsizetype(close.size());
    QTest::newRow("HTTP/1.0 closes")
        << QByteArray("GET / HTTP/1.0\r\n\r\n")
        << QStringList{"GET / ? 1.0 close type= body=", "body size 0", "status 0 finished 1"}
        << qsizetype(-1);
    QTest::newRow("HTTP/1.0 keep-alive")
        << QByteArray("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n") + get
        << QStringList{"GET / ? 1.0 keep type= body=", "body size 0", helloLine, "body size 0",
                       "status 0 finished 0"}
        << qsizetype(-1);
    const QByteArray upgrade =
        "GET /ws HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n";
    QTest::newRow("upgrade ends the reading")
        << upgrade + "\x81"
        << QStringList{"GET /ws ? 1.1 close type= body=", "body size 0", "status 0 finished 1"}
        << qsizetype(upgrade.size());

    const auto failed = [](int status) {
        return QStringList{QStringLiteral("status %1 finished 0").arg(status)};
    };
    QTest::newRow("garbage, then a good request")
        << "\x16\x03\x01 hello\r\n\r\n" + get << failed(400) << qsizetype(0);
    QTest::newRow("POST without a length")
        << QByteArray("POST /x HTTP/1.1\r\nHost: x\r\n\r\n") << failed(411) << qsizetype(-2);
    QTest::newRow("gzip coding")
        << QByteArray("POST /x HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n")
        << failed(501) << qsizetype(-2);
    QTest::newRow("length beside chunked")
        << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: "
                      "chunked\r\n\r\n0\r\n\r\n")
        << failed(400) << qsizetype(-2);
    QTest::newRow("two lengths")
        << QByteArray("POST /x HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx")
        << failed(400) << qsizetype(-2);
    QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\n\r\n") << failed(505)
                              << qsizetype(-2);
    QTest::newRow("bad chunk size")
        << QByteArray("POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << failed(400)
        << qsizetype(-2);
}

// The same requests and the same end however the bytes are cut, and the bytes taken exactly
// those the requests span (-2: an error; what was taken before it is left open).
void TestHttpRequestReader::read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(const QStringList, expected);
    QFETCH(qsizetype, taken);

    qsizetype wholeTaken = 0;
    QCOMPARE(readInSteps(bytes, 0, &wholeTaken), expected);
    if (taken != -2)
        QCOMPARE(wholeTaken, taken == -1 ? bytes.size() : taken);
    QCOMPARE(readInSteps(bytes, 1), expected);
    for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
        HttpRequestReader reader;
        reader.feed(bytes.constData(), cut);
        reader.feed(bytes.constData() + cut, bytes.size() - cut);
        QVERIFY2(takeAll(reader) << end(reader) == expected,
                 qPrintable(QStringLiteral("cut at %1").arg(cut)));
    }
}

void TestHttpRequestReader::bounds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<HttpRequestError>("error");
    QTest::addColumn<int>("bodySize");

    const QByteArray start = "POST /p HTTP/1.1\r\nX-Pad: ";
    const auto head = [&](int size, const QByteArray &rest) {
        const int fill = size - int(start.size() + rest.size()) - 4;
        return start + QByteArray(fill, 'a') + "\r\n" + rest + "\r\n";
    };
    const QByteArray empty = "Content-Length: 0\r\n";
    const int maxHead = int(HttpRequestReader::maxHeadBytes);
    const int maxBody = int(HttpRequestReader::maxBodyBytes);
    QTest::newRow("head at the bound") << head(maxHead, empty) << HttpRequestError::None << 0;
    QTest::newRow("head one past")
        << head(maxHead + 1, empty) << HttpRequestError::HeaderFieldsTooLarge << -1;
    QTest::newRow("head one past, no end")
        << head(maxHead + 1, empty).chopped(1) << HttpRequestError::HeaderFieldsTooLarge << -1;
    const QByteArray full(maxBody, 'b');
    QTest::newRow("body at the bound")
        << "POST /p HTTP/1.1\r\nContent-Length: " + QByteArray::number(maxBody) + "\r\n\r\n" + full
        << HttpRequestError::None << maxBody;
    QTest::newRow("length one past")
        << "POST /p HTTP/1.1\r\nContent-Length: " + QByteArray::number(maxBody + 1) + "\r\n\r\n"
        << HttpRequestError::PayloadTooLarge << -1;
    const QByteArray chunked = "POST /p HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunks = QByteArray::number(maxBody, 16) + "\r\n" + full + "\r\n";
    QTest::newRow("chunks at the bound") << chunked + chunks + "0\r\n\r\n"
                                         << HttpRequestError::None << maxBody;
    QTest::newRow("chunks one past") << chunked + chunks + "1\r\nb\r\n0\r\n\r\n"
                                     << HttpRequestError::PayloadTooLarge << -1;
}

void TestHttpRequestReader::bounds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(HttpRequestError, error);
    QFETCH(int, bodySize);

    for (const int step : {0, 1, 4093}) {
        if (step == 1 && bytes.size() > 100000)
            continue; // a byte at a time through 4 MiB adds nothing to the 4093 steps
        HttpRequestReader reader;
        for (int pos = 0; pos < bytes.size(); pos += step == 0 ? int(bytes.size()) : step)
            reader.feed(bytes.mid(pos, step == 0 ? int(bytes.size()) : step));
        QCOMPARE(reader.error(), error);
        QCOMPARE(reader.errorText().isEmpty(), error == HttpRequestError::None);
        QCOMPARE(reader.hasRequest(), bodySize >= 0);
        if (bodySize >= 0)
            QCOMPARE(reader.takeRequest().body, QByteArray(bodySize, 'b'));
        QCOMPARE(reader.feed(QByteArray("GET / HTTP/1.1\r\n\r\n")),
                 error == HttpRequestError::None ? 18 : 0);
    }
}

void TestHttpRequestReader::continueAsked_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("nextRead"); // the connection goes on to a second request

    const QByteArray expect = "Expect: 100-Continue\r\n";
    const QByteArray length = "Content-Length: 3\r\n\r\n";
    QTest::newRow("with a length")
        << "POST /p HTTP/1.1\r\n" + expect + length << QByteArray("abc") << true << true;
    QTest::newRow("chunked") << "POST /p HTTP/1.1\r\n" + expect +
                                    "Transfer-Encoding: chunked\r\n\r\n"
                             << QByteArray("3\r\nabc\r\n0\r\n\r\n") << true << true;
    QTest::newRow("no body") << "POST /p HTTP/1.1\r\n" + expect + "Content-Length: 0\r\n\r\n"
                             << QByteArray() << false << true;
    QTest::newRow("not asked") << "POST /p HTTP/1.1\r\n" + length << QByteArray("abc") << false
                               << true;
    QTest::newRow("HTTP/1.0") << "POST /p HTTP/1.0\r\n" + expect + length << QByteArray("abc")
                              << false << false;
    QTest::newRow("too large: refused instead")
        << "POST /p HTTP/1.1\r\n" + expect + "Content-Length: 99999999\r\n\r\n"
        << QByteArray() << false << false;
}

// Told once, when the head is in; a next request that asks is told afresh.
void TestHttpRequestReader::continueAsked()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, body);
    QFETCH(bool, asked);
    QFETCH(bool, nextRead);

    HttpRequestReader reader;
    reader.feed(head.chopped(1));
    QVERIFY(!reader.takeContinue());
    reader.feed(head.right(1));
    QCOMPARE(reader.takeContinue(), asked);
    QVERIFY(!reader.takeContinue());
    reader.feed(body + "POST /q HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\n");
    QCOMPARE(reader.takeContinue(), nextRead);
}

QTEST_APPLESS_MAIN(TestHttpRequestReader)
#include "tst_httprequestreader.moc"

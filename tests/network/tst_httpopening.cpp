#include "httpopening.h"

#include <QtTest>

using Verdict = HttpOpening::Verdict;
Q_DECLARE_METATYPE(HttpOpening::Verdict)

// The opening of a print job: a request line is refused, a print job goes on from its first byte,
// and the verdict never depends on how the bytes were cut.
class TestHttpOpening : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void classify_data();
    void classify();
    void describe_data();
    void describe();
};

void TestHttpOpening::classify_data()
{
    QTest::addColumn<QByteArray>("opening");
    QTest::addColumn<Verdict>("verdict");

    QTest::newRow("no-cors POST") << QByteArray("POST / HTTP/1.1\r\nHost: x\r\n")
                                  << Verdict::RequestLine;
    QTest::newRow("bare LF") << QByteArray("GET /a?b=c HTTP/1.0\n") << Verdict::RequestLine;
    QTest::newRow("HTTP/2 preface") << QByteArray("PRI * HTTP/2.0\r\n") << Verdict::RequestLine;
    QTest::newRow("kick") << QByteArray("\x1b\x70\x00\x19\xfa", 5) << Verdict::RawJob;
    QTest::newRow("ESC @ then text") << QByteArray("\x1b@POST / HTTP/1.1\r\n") << Verdict::RawJob;
    QTest::newRow("text line") << QByteArray("Total 2.40\n") << Verdict::RawJob;
    QTest::newRow("two words and more") << QByteArray("Total 2.40 EUR\n") << Verdict::RawJob;
    QTest::newRow("word, slash, LF") << QByteArray("Qty /2\n") << Verdict::RawJob;
    QTest::newRow("two blanks") << QByteArray("POST  / HTTP/1.1\r\n") << Verdict::RawJob;
    QTest::newRow("version no digit") << QByteArray("POST / HTTP/x.1\r\n") << Verdict::RawJob;
    QTest::newRow("blank first") << QByteArray(" POST / HTTP/1.1\r\n") << Verdict::RawJob;
    QTest::newRow("method too long") << QByteArray(30, 'A') + " / HTTP/1.1\r\n" << Verdict::RawJob;
    QTest::newRow("CR then no LF") << QByteArray("GET / HTTP/1.1\rX") << Verdict::RawJob;
    QTest::newRow("method so far") << QByteArray("POS") << Verdict::Undecided;
    QTest::newRow("target so far") << QByteArray("POST /cgi-bin/epos") << Verdict::Undecided;
    QTest::newRow("version so far") << QByteArray("POST / HTTP/1.") << Verdict::Undecided;
    QTest::newRow("nothing yet") << QByteArray() << Verdict::Undecided;
}

void TestHttpOpening::classify()
{
    QFETCH(QByteArray, opening);
    QFETCH(Verdict, verdict);
    QCOMPARE(HttpOpening::classify(opening), verdict);
    // Any shorter opening is undecided or already the same verdict: bytes that come later never
    // turn a job that went on into a refused one.
    for (int cut = 0; cut < opening.size(); ++cut) {
        const Verdict early = HttpOpening::classify(opening.left(cut));
        QVERIFY2(early == Verdict::Undecided || early == verdict, qPrintable(QString::number(cut)));
    }
}

void TestHttpOpening::describe_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("shown");

    QTest::newRow("with Origin")
        << QByteArray("POST / HTTP/1.1\r\nHost: a\r\norigin:  https://evil.example \r\n\r\n")
        << QByteArray("POST /, Origin: https://evil.example");
    QTest::newRow("without Origin")
        << QByteArray("GET /x HTTP/1.1\r\nHost: a\r\n\r\nOrigin: body") << QByteArray("GET /x");
    QTest::newRow("control bytes masked")
        << QByteArray("POST / HTTP/1.1\r\nOrigin: a\x1b[2Jb\r\n\r\n")
        << QByteArray("POST /, Origin: a?[2Jb");
    QTest::newRow("long target cut") << "GET /" + QByteArray(300, 'a') + " HTTP/1.1\r\n\r\n"
                                     << "GET /" + QByteArray(119, 'a') + "...";
}

void TestHttpOpening::describe()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, shown);
    QCOMPARE(HttpOpening::describe(request), shown);
}

QTEST_APPLESS_MAIN(TestHttpOpening)
#include "tst_httpopening.moc"

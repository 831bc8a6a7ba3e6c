#include "weborigin.h"

#include <QtTest>

using Verdict = WebOrigins::Verdict;
Q_DECLARE_METATYPE(WebOrigins::Verdict)

// Who may call the web door: the judgement a web page cannot talk its way round.
class TestWebOrigin : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void serialise_data();
    void serialise();
    void judge_data();
    void judge();
};

void TestWebOrigin::serialise_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("serialised"); // empty: refused

    QTest::newRow("as it is") << "https://shop.example.com"
                              << "https://shop.example.com";
    QTest::newRow("case and default port") << "HTTPS://Shop.Example.COM:443"
                                           << "https://shop.example.com";
    QTest::newRow("other port kept") << "http://pos.test:8069"
                                     << "http://pos.test:8069";
    QTest::newRow("trailing slash") << "https://shop.example.com/"
                                    << "https://shop.example.com";
    QTest::newRow("IPv6") << "http://[::1]:8080"
                          << "http://[::1]:8080";
    QTest::newRow("a path") << "https://shop.example.com/pos"
                            << "";
    QTest::newRow("user info") << "https://me@shop.example.com"
                               << "";
    QTest::newRow("another scheme") << "ftp://shop.example.com"
                                    << "";
    QTest::newRow("no scheme") << "shop.example.com"
                               << "";
    QTest::newRow("null") << "null"
                          << "";
}

void TestWebOrigin::serialise()
{
    QFETCH(QString, given);
    QFETCH(QString, serialised);
    QString why;
    const auto got = WebOrigins::serialise(given, &why);
    QCOMPARE(got.value_or(QString()), serialised);
    QCOMPARE(why.isEmpty(), got.has_value());
}

void TestWebOrigin::judge_data()
{
    QTest::addColumn<QString>("origin");
    QTest::addColumn<Verdict>("verdict");

    QTest::newRow("no Origin") << "" << Verdict::NoOrigin;
    QTest::newRow("loopback page") << "http://127.0.0.1:8069" << Verdict::Loopback;
    QTest::newRow("other loopback address") << "http://127.3.2.1" << Verdict::Loopback;
    QTest::newRow("IPv6 loopback") << "http://[::1]:3000" << Verdict::Loopback;
    QTest::newRow("localhost") << "https://localhost:8443" << Verdict::Loopback;
    QTest::newRow("listed") << "http://pos.test:8000" << Verdict::Listed;
    QTest::newRow("listed, written otherwise") << "HTTP://POS.test:8000" << Verdict::Listed;
    QTest::newRow("listed host, other port") << "http://pos.test:8001" << Verdict::Refused;
    QTest::newRow("listed host, other scheme") << "https://pos.test:8000" << Verdict::Refused;
    QTest::newRow("a web page") << "https://evil.example" << Verdict::Refused;
    QTest::newRow("looks like loopback") << "http://127.0.0.1.evil.example" << Verdict::Refused;
    QTest::newRow("localhost in a name") << "http://localhost.evil.example" << Verdict::Refused;
    QTest::newRow("sandboxed or file page") << "null" << Verdict::Refused;
    QTest::newRow("garbage") << "\x1b[2J" << Verdict::Refused;
}

void TestWebOrigin::judge()
{
    QFETCH(QString, origin);
    const WebOrigins origins(QStringList{QStringLiteral("http://pos.test:8000")});
    QTEST(origins.judge(origin), "verdict");
}

QTEST_APPLESS_MAIN(TestWebOrigin)
#include "tst_weborigin.moc"

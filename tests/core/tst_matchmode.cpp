#include "matchmode.h"

#include <QtTest>

Q_DECLARE_METATYPE(MatchMode)

class TestMatchMode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void names();
    void rules_data();
    void rules();
};

void TestMatchMode::names()
{
    for (const auto &[name, mode] : {std::pair{"start", MatchMode::Start},
                                     {"EscPos", MatchMode::EscPos},
                                     {"star", MatchMode::Star},
                                     {"ANY", MatchMode::Any}}) {
        QVERIFY(matchModeFromName(QString::fromLatin1(name)) == mode);
        QVERIFY(matchModeFromName(matchModeName(mode)) == mode);
    }
    for (const char *bad : {"", "escpos ", "esc/pos", "stars", "anything"})
        QVERIFY(!matchModeFromName(QString::fromLatin1(bad)));
    QCOMPARE(matchModeNames(), (QStringList{QStringLiteral("start"), QStringLiteral("escpos"),
                                            QStringLiteral("star"), QStringLiteral("any")}));
}

void TestMatchMode::rules_data()
{
    QTest::addColumn<MatchMode>("mode");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<QByteArray>>("pieces"); // one received text, in pieces
    QTest::addColumn<bool>("kicked");
    QTest::addColumn<QByteArray>("statusRequests"); // what the rule reports: n of each DLE EOT n

    const QByteArray escP("\x1b\x70", 2);
    const QByteArray esc("\x1b", 1);
    const QByteArray kick("\x1b\x70\x00\x19\xfa", 5);
    const QByteArray none;
    QTest::newRow("start: ESC p") << MatchMode::Start << escP << QList<QByteArray>{escP} << true
                                  << none;
    QTest::newRow("start: ESC, then p")
        << MatchMode::Start << escP << QList<QByteArray>{esc, QByteArray("p")} << true << none;
    QTest::newRow("start: NUL ESC p")
        << MatchMode::Start << escP << QList<QByteArray>{QByteArray("\0", 1) + escP} << false
        << none;
    QTest::newRow("start: a status request is not the rule's")
        << MatchMode::Start << escP << QList<QByteArray>{escP + QByteArray("\x10\x04\x01", 3)}
        << true << none;
    QTest::newRow("escpos: kick after ESC @")
        << MatchMode::EscPos << kick
        << QList<QByteArray>{QByteArray("\x1b\x40\x1b\x70\x00", 5), QByteArray("\x19\xfa", 2)}
        << true << none;
    QTest::newRow("escpos: ESC p alone is no kick yet")
        << MatchMode::EscPos << kick << QList<QByteArray>{escP} << false << none;
    // GS v 0, 3 x 1 bytes of raster data that read DLE EOT 2, then a real request cut in two.
    QTest::newRow("escpos: status requests, none inside an image")
        << MatchMode::EscPos << kick
        << QList<QByteArray>{QByteArray("\x10\x04\x04\x1d\x76\x30\x00\x03\x00\x01\x00", 11) +
                                 QByteArray("\x10\x04\x02\x10", 4),
                             QByteArray("\x04\x01", 2) + kick}
        << true << QByteArray("\x04\x01", 2);
    QTest::newRow("star: BEL") << MatchMode::Star << QByteArray("\x07")
                               << QList<QByteArray>{QByteArray("x\x07")} << true << none;
    QTest::newRow("any: one byte")
        << MatchMode::Any << escP << QList<QByteArray>{QByteArray("\0", 1)} << true << none;
    QTest::newRow("any: a lone ESC")
        << MatchMode::Any << escP << QList<QByteArray>{esc} << true << none;
}

// Each mode's rule over one text; and the bytes Request sends in a mode kick in that mode.
void TestMatchMode::rules()
{
    QFETCH(MatchMode, mode);
    QFETCH(QByteArray, request);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, kicked);
    QFETCH(QByteArray, statusRequests);

    QCOMPARE(requestBytes(mode), request);
    const auto rule = makeKickRule(mode);
    ReceivedText text;
    QByteArray found;
    for (const QByteArray &piece : std::as_const(pieces))
        rule->take(text, piece, &found);
    QCOMPARE(text.kicked, kicked);
    QCOMPARE(found, statusRequests);
    // A rule that reports status requests is one the receiver leaves them to.
    const bool followsEscPos = receivePolicy(mode).escPos == ReceivePolicy::EscPos::Followed;
    if (!statusRequests.isEmpty())
        QVERIFY(followsEscPos);

    ReceivedText requested;
    rule->restart();
    rule->take(requested, requestBytes(mode), nullptr);
    QVERIFY(requested.kicked);
}

QTEST_GUILESS_MAIN(TestMatchMode)
#include "tst_matchmode.moc"

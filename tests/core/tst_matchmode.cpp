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
    QTest::addColumn<bool>("awaitsRestAfterFirst");

    const QByteArray escP("\x1b\x70", 2);
    const QByteArray esc("\x1b", 1);
    QTest::newRow("start: ESC p") << MatchMode::Start << escP << QList<QByteArray>{escP} << true
                                  << false;
    QTest::newRow("start: ESC, then p")
        << MatchMode::Start << escP << QList<QByteArray>{esc, QByteArray("p")} << true << true;
    QTest::newRow("start: NUL ESC p")
        << MatchMode::Start << escP << QList<QByteArray>{QByteArray("\0", 1) + escP} << false
        << false;
    QTest::newRow("escpos: kick after ESC @")
        << MatchMode::EscPos << QByteArray("\x1b\x70\x00\x19\xfa", 5)
        << QList<QByteArray>{QByteArray("\x1b\x40\x1b\x70\x00", 5), QByteArray("\x19\xfa", 2)}
        << true << false;
    QTest::newRow("escpos: ESC p alone is no kick yet")
        << MatchMode::EscPos << QByteArray("\x1b\x70\x00\x19\xfa", 5) << QList<QByteArray>{escP}
        << false << false;
    QTest::newRow("star: BEL") << MatchMode::Star << QByteArray("\x07")
                               << QList<QByteArray>{QByteArray("x\x07")} << true << false;
    QTest::newRow("any: one byte")
        << MatchMode::Any << escP << QList<QByteArray>{QByteArray("\0", 1)} << true << false;
    QTest::newRow("any: a lone ESC")
        << MatchMode::Any << escP << QList<QByteArray>{esc} << true << false;
}

// Each mode's rule over one text; and the bytes Request sends in a mode kick in that mode.
void TestMatchMode::rules()
{
    QFETCH(MatchMode, mode);
    QFETCH(QByteArray, request);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(bool, kicked);
    QFETCH(bool, awaitsRestAfterFirst);

    QCOMPARE(requestBytes(mode), request);
    const auto rule = makeKickRule(mode);
    ReceivedText text;
    QVERIFY(!rule->awaitsRest(text));
    for (int i = 0; i < pieces.size(); ++i) {
        rule->take(text, pieces[i]);
        if (i == 0)
            QCOMPARE(rule->awaitsRest(text), awaitsRestAfterFirst);
    }
    QCOMPARE(text.kicked, kicked);

    ReceivedText requested;
    rule->restart();
    rule->take(requested, requestBytes(mode));
    QVERIFY(requested.kicked);
}

QTEST_GUILESS_MAIN(TestMatchMode)
#include "tst_matchmode.moc"

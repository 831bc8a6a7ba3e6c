#include "kickscanner.h"

#include <QtTest>

using CommandSet = KickScanner::CommandSet;
Q_DECLARE_METATYPE(CommandSet)

class TestKickScanner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scan_data();
    void scan();
    void reset();
};

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

std::vector<qsizetype> kickEnds(CommandSet mode, const QByteArray &stream, qsizetype cut)
{
    KickScanner scanner(mode);
    std::vector<qsizetype> ends;
    const qsizetype first = scanner.feed(stream.constData(), cut, &ends);
    std::vector<qsizetype> rest;
    const qsizetype second = scanner.feed(stream.constData() + cut, stream.size() - cut, &rest);
    for (const qsizetype end : rest)
        ends.push_back(cut + end);
    if (first + second != qsizetype(ends.size()))
        ends.push_back(-1); // the counts do not match the kicks reported
    return ends;
}

} // namespace

void TestKickScanner::scan_data()
{
    QTest::addColumn<CommandSet>("mode");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QList<int>>("ends"); // offset just past each kick

    const CommandSet escPos = CommandSet::EscPos;
    const CommandSet star = CommandSet::Star;
    const QByteArray kick = hex("1b700019fa");
    QTest::newRow("after ESC @") << escPos << hex("1b40") + kick << QList<int>{7};
    QTest::newRow("after a receipt and a cut")
        << escPos << hex("1b2138") + "Total 9.99\r\n\t1x Tea\n" + hex("1d564203") + kick
        << QList<int>{32};
    QTest::newRow("parameters equal to ESC")
        << escPos << hex("1b211b700019fa1d56421b700019fa") << QList<int>{};
    QTest::newRow("raster image GS v 0")
        << escPos << hex("1d76300002000300") + "ab" + kick.left(4) + kick << QList<int>{19};
    QTest::newRow("column images ESC *")
        << escPos << hex("1b2a000500") + kick + hex("1b2a21020000") + kick + "x" + kick
        << QList<int>{27};
    QTest::newRow("graphics, 2D code, barcodes")
        << escPos
        << hex("1d284c0700304330") + kick.left(4) + hex("1d286b0800315030") + kick +
               hex("1d6b4905") + kick + hex("1d6b04311b703019fa00") + kick
        << QList<int>{49};
    QTest::newRow("user characters, NV graphics")
        << escPos
        << hex("1b2603414202") + kick + "x" + hex("01") + kick.left(3) + hex("1c710101000100") +
               kick + kick.left(3) + kick
        << QList<int>{36};
    QTest::newRow("real-time pulse")
        << escPos << hex("1014010008101401000910140102011b40") << QList<int>{5};
    QTest::newRow("two kicks in one chunk")
        << escPos << kick + hex("1b700119fa1b700219fa") << QList<int>{5, 10};
    QTest::newRow("unknown commands") << escPos << hex("1b781d9910411b") + kick << QList<int>{12};
    QTest::newRow("BEL is no ESC/POS kick") << escPos << hex("07") << QList<int>{};

    QTest::newRow("Star drives") << star << "Total\n" + hex("071c191a") << QList<int>{7, 8, 9, 10};
    QTest::newRow("Star barcode holding 07")
        << star << hex("1b62363232500741071a1e07") << QList<int>{12};
    QTest::newRow("Star images and QR code")
        << star
        << hex("1b07070707") + hex("1b4b0200071a1b58010007071c") + hex("1b1d7944310002001c07") +
               hex("1b1c710101000100") + hex("07071a1a07191c07") + hex("07")
        << QList<int>{5, 45};
    QTest::newRow("Star raster mode") << star
                                      << hex("1b2a7241"
                                             "62020007076b010007"
                                             "1b2a72453100"
                                             "1b2a7242") +
                                             "b" + hex("07")
                                      << QList<int>{25};
    QTest::newRow("Star unknown command") << star << hex("1b781b1a1b40") << QList<int>{4};
}

void TestKickScanner::scan()
{
    QFETCH(CommandSet, mode);
    QFETCH(QByteArray, stream);
    QFETCH(QList<int>, ends);
    const std::vector<qsizetype> expected(ends.cbegin(), ends.cend());
    // The same kicks however the stream is cut into two reads, unread and whole included.
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        const std::vector<qsizetype> found = kickEnds(mode, stream, cut);
        if (found != expected) {
            QStringList at;
            for (const qsizetype end : found)
                at << QString::number(end);
            QFAIL(qPrintable(
                QStringLiteral("cut at %1: kicks end at {%2}").arg(cut).arg(at.join(u','))));
        }
    }
}

void TestKickScanner::reset()
{
    const QByteArray kick = hex("1b700019fa");
    KickScanner escPos(CommandSet::EscPos);
    QCOMPARE(escPos.feed(kick), qsizetype(1));
    // An image announcing 65535 columns, then forgotten.
    QCOMPARE(escPos.feed(hex("1b2a00ffff") + kick), qsizetype(0));
    escPos.reset();
    QCOMPARE(escPos.feed(kick), qsizetype(1));
}

QTEST_GUILESS_MAIN(TestKickScanner)
#include "tst_kickscanner.moc"

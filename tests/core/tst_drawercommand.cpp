#include "drawercommand.h"

#include <QtTest>

class TestDrawerCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void recognise_data();
    void recognise();
    void table();
};

void TestDrawerCommand::recognise_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("match");
    // Whether the next byte could still make it a command.
    QTest::addColumn<bool>("opening");

    QTest::newRow("exact ESC p") << QByteArray("\x1b\x70", 2) << true << false;
    QTest::newRow("with parameters") << QByteArray("\x1b\x70\x00\x19\xfa", 5) << true << false;
    QTest::newRow("two commands") << QByteArray("\x1b\x70\x00\x19\xfa\x1b\x70\x00\x19\xfa", 10)
                                  << true << false;
    QTest::newRow("byte before") << QByteArray("\x00\x1b\x70", 3) << false << false;
    QTest::newRow("ESC then capital P") << QByteArray("\x1bP", 2) << false << false;
    QTest::newRow("empty") << QByteArray() << false << false;
    QTest::newRow("ESC alone") << QByteArray("\x1b", 1) << false << true;
    QTest::newRow("p alone") << QByteArray("p", 1) << false << false;
    QTest::newRow("p then ESC") << QByteArray("p\x1b", 2) << false << false;
    QTest::newRow("ESC ESC p") << QByteArray("\x1b\x1b\x70", 3) << false << false;
    QTest::newRow("high bit ESC") << QByteArray("\x9b\x70", 2) << false << false;
    QTest::newRow("zero byte") << QByteArray(1, '\0') << false << false;
}

void TestDrawerCommand::recognise()
{
    QFETCH(QByteArray, text);
    QTEST(IsDrawerCommand(text), "match");
    QTEST(isDrawerCommandOpening(text), "opening");
}

void TestDrawerCommand::table()
{
    QCOMPARE(drawerCommands(), QList<QByteArray>{QByteArray("\x1b\x70", 2)});
    QCOMPARE(longestDrawerCommand(), 2);
}

QTEST_GUILESS_MAIN(TestDrawerCommand)
#include "tst_drawercommand.moc"

#include "startoptions.h"

#include <QtTest>

class TestStartOptions : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void split_data();
    void split();
};

void TestStartOptions::split_data()
{
    QTest::addColumn<QString>("argumentText");
    QTest::addColumn<QString>("hide");
    QTest::addColumn<QString>("profile");

    QTest::newRow("none") << ""
                          << "0"
                          << "0";
    QTest::newRow("1,1") << "1,1"
                         << "1"
                         << "1";
    QTest::newRow("1,0") << "1,0"
                         << "1"
                         << "0";
    QTest::newRow("0,1") << "0,1"
                         << "0"
                         << "1";
    QTest::newRow("one field") << "1"
                               << "0"
                               << "0";
    QTest::newRow("three fields") << "1,1,1"
                                  << "0"
                                  << "0";
    QTest::newRow("kept untrimmed") << " 1, 0 "
                                    << " 1"
                                    << " 0 ";
    QTest::newRow("empty first field") << ",0"
                                       << ""
                                       << "0";
    QTest::newRow("two empty fields") << ","
                                      << ""
                                      << "";
    QTest::newRow("not numbers kept as typed") << "x,y"
                                               << "x"
                                               << "y";
    QTest::newRow("blank only") << " "
                                << "0"
                                << "0";
    QTest::newRow("joined arguments") << "1 ,1"
                                      << "1 "
                                      << "1";
}

void TestStartOptions::split()
{
    QFETCH(QString, argumentText);
    const StartOptions options = StartOptions::fromArgumentText(argumentText);
    QTEST(options.hideField, "hide");
    QTEST(options.profileField, "profile");
}

QTEST_GUILESS_MAIN(TestStartOptions)
#include "tst_startoptions.moc"

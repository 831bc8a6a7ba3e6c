#include "decimal.h"

#include "verifythrows.h"

#include <QtTest>

class TestDecimal : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decimal_data();
    void decimal();
    void int16_data();
    void int16();
};

void TestDecimal::decimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");

    QTest::newRow("0") << "0" << true << 0.0;
    QTest::newRow("1") << "1" << true << 1.0;
    QTest::newRow("1.0") << "1.0" << true << 1.0;
    QTest::newRow("0.0") << "0.0" << true << 0.0;
    QTest::newRow("blank before") << " 1" << true << 1.0;
    QTest::newRow("blanks around") << "  0  " << true << 0.0;
    QTest::newRow("tab") << "\t1" << true << 1.0;
    QTest::newRow("negative") << "-1" << true << -1.0;
    QTest::newRow("plus") << "+2" << true << 2.0;
    QTest::newRow("fraction only") << ".5" << true << 0.5;
    QTest::newRow("trailing point") << "1." << true << 1.0;
    QTest::newRow("exponent") << "1e0" << true << 1.0;
    QTest::newRow("negative zero") << "-0" << true << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << " " << false << 0.0;
    QTest::newRow("letter") << "x" << false << 0.0;
    QTest::newRow("trailing letter") << "1x" << false << 0.0;
    QTest::newRow("inner blank") << "1 0" << false << 0.0;
    QTest::newRow("comma decimal") << "1,0" << false << 0.0;
    QTest::newRow("hex") << "0x1" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("overflow") << "1e999" << false << 0.0;
    QTest::newRow("sign only") << "-" << false << 0.0;
    QTest::newRow("point only") << "." << false << 0.0;
    QTest::newRow("newline inside") << "1\n" << false << 0.0;
}

void TestDecimal::decimal()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const auto result = toDecimal(text);
    QCOMPARE(result.has_value(), valid);
    if (valid) {
        QCOMPARE(*result, value);
        QCOMPARE(toDecimalOrFail(text), value);
    } else {
        VERIFY_THROWS(ConversionError, toDecimalOrFail(text));
    }
}

void TestDecimal::int16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("9") << "9" << true << 9;
    QTest::newRow("8.0") << "8.0" << true << 8;
    QTest::newRow("largest") << "32767" << true << 32767;
    QTest::newRow("smallest") << "-32768" << true << -32768;
    QTest::newRow("too large") << "32768" << false << 0;
    QTest::newRow("fraction") << "8.5" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
}

void TestDecimal::int16()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    if (valid)
        QCOMPARE(int(toInt16OrFail(text)), value);
    else
        VERIFY_THROWS(ConversionError, toInt16OrFail(text));
}

QTEST_GUILESS_MAIN(TestDecimal)
#include "tst_decimal.moc"

#include "eposprint.h"

#include <QtTest>

class TestEposPrint : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void translate_data();
    void translate();
    void refuse_data();
    void refuse();
};

namespace {

QByteArray epos(const QByteArray &elements)
{
    return R"(<epos-print xmlns="http://www.epson-pos.com/schemas/2011/03/epos-print">)" +
           elements + "</epos-print>";
}

} // namespace

void TestEposPrint::translate_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<bool>("prints");
    QTest::addColumn<bool>("pulse");
    QTest::addColumn<QString>("untranslated");

    QTest::newRow("text and line end") << epos("<text lang=\"en\">Hi&#10;\t</text>")
                                       << QByteArray("48690a09") << true << false << QString();
    QTest::newRow("text settings, in their order")
        << epos(R"(<text linespc="30" smooth="true" reverse="false" ul="true" em="true" )"
                R"(font="font_b" align="center"/>)")
        << QByteArray("1b6101 1b4d01 1b4501 1b2d01 1d4200 1d6201 1b331e") << false << false
        << QString();
    QTest::newRow("sizes keep the other half")
        << epos(R"(<text width="2" height="3">A</text><text dh="true"/><text width="8"/>)")
        << QByteArray("1d2112 41 1d2111 1d2171") << true << false << QString();
    QTest::newRow("reset forgets the size")
        << epos(R"(<text dw="true"/><reset/><text dh="true"/>)") << QByteArray("1d2110 1b40 1d2101")
        << false << false << QString();
    QTest::newRow("code page 437")
        << epos("<text>\xc3\xa9\xe2\x82\xac\xc2\xb0\xf0\x9f\x98\x80</text>")
        << QByteArray("82 3f f8 3f") << true << false << QString();
    QTest::newRow("feeds")
        << epos(R"(<feed line="3"/><feed unit="24"/><feed/><feed linespc="40" line="1"/>)")
        << QByteArray("1b6403 1b4a18 0a 1b3328 1b6401") << true << false << QString();
    QTest::newRow("image, padded rows")
        << epos(R"(<image width="8" height="2" align="right">/w A=</image>)")
        << QByteArray("1b6102 1d763000 0100 0200 ff00") << true << false << QString();
    // 9 x 2 dots: a full row, then the first dot only; packed: 111111111 100000000.
    QTest::newRow("image, unpadded rows repacked")
        << epos(R"(<image width="9" height="2" color="color_1" mode="mono">/8AA</image>)")
        << QByteArray("1d763000 0200 0200 ff80 8000") << true << false << QString();
    QTest::newRow("cuts")
        << epos(R"(<cut/><cut type="no_feed"/><cut type="reserve"/><cut type="no_feed_fullcut"/>)"
                R"(<cut type="feed_fullcut"/>)")
        << QByteArray("1d564200 1d5601 1d564200 1d5600 1d564100") << true << false << QString();
    QTest::newRow("pulses")
        << epos(R"(<pulse/><pulse drawer="drawer_2" time="pulse_500"/><pulse time="pulse_300"/>)")
        << QByteArray("1b700032fa 1b7001fafa 1b700096fa") << false << true << QString();
    QTest::newRow("command") << epos("<command>1b40 0A</command>") << QByteArray("1b400a") << true
                             << false << QString();
    QTest::newRow("command that kicks") << epos("<command>1b700019fa</command>")
                                        << QByteArray("1b700019fa") << false << true << QString();
    QTest::newRow("ean13")
        << epos(R"(<barcode type="ean13" hri="below" font="font_b" width="2" height="60">)"
                "4901234567894</barcode>")
        << QByteArray("1d4802 1d6601 1d7702 1d683c 1d6b430d 34393031323334353637383934") << true
        << false << QString();
    QTest::newRow("code128 gets code set B")
        << epos(R"(<barcode type="code128">A{1</barcode>)")
        << QByteArray("1d4800 1d6600 1d7703 1d68a2 1d6b4906 7b42417b7b31") << true << false
        << QString();
    QTest::newRow("qr code")
        << epos(R"(<symbol type="qrcode_model_2" level="level_h" width="4">ab</symbol>)")
        << QByteArray("1d286b0400314132 00 1d286b0300314304 1d286b0300314533 "
                      "1d286b050031503061 62 1d286b0300315130")
        << true << false << QString();
    QTest::newRow("accepted, listed")
        << epos(R"(<sound pattern="pattern_a"/><layout type="receipt"/><recovery/>)")
        << QByteArray() << false << false << QString("sound,layout,recovery");
    QTest::newRow("SOAP envelope")
        << QByteArray(R"(<?xml version="1.0" encoding="utf-8"?>)"
                      R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">)"
                      "<s:Header><parameter "
                      R"(xmlns="http://www.epson-pos.com/schemas/2011/03/epos-print">)"
                      "<devid>local_printer</devid><timeout>10000</timeout></parameter>"
                      "</s:Header><s:Body>") +
               epos("<!-- kick --><pulse/>") + "</s:Body></s:Envelope>"
        << QByteArray("1b700032fa") << false << true << QString();
}

void TestEposPrint::translate()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, hex);
    QFETCH(bool, prints);
    QFETCH(bool, pulse);
    QFETCH(QString, untranslated);

    const EposPrintResult result = EposPrintTranslator::translate(body);
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(result.bytes.toHex(' '), QByteArray::fromHex(hex).toHex(' '));
    QCOMPARE(result.printsAnything, prints);
    QCOMPARE(result.holdsPulse, pulse);
    QCOMPARE(result.untranslated.join(','), untranslated);
    const bool envelope = body.contains("Envelope");
    QCOMPARE(result.devid, envelope ? QString("local_printer") : QString());
    QCOMPARE(result.timeoutMs, envelope ? std::optional<int>(10000) : std::nullopt);
}

void TestEposPrint::refuse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("reason"); // how it begins

    QTest::newRow("unknown element, after a pulse")
        << epos("<pulse/><logo key1=\"48\" key2=\"48\"/>") << "logo"
        << ""
        << "the element is unknown";
    QTest::newRow("unknown attribute") << epos(R"(<text bold="true"/>)") << "text"
                                       << "bold"
                                       << "the attribute is unknown";
    QTest::newRow("unknown value") << epos(R"(<cut type="half"/>)") << "cut"
                                   << "type"
                                   << "the value \"half\" is unknown";
    QTest::newRow("out of range") << epos(R"(<text width="9"/>)") << "text"
                                  << "width"
                                  << "the value \"9\" is not a number from 1 to 8";
    QTest::newRow("barcode width")
        << epos(R"(<barcode type="code39" width="7">A</barcode>)") << "barcode"
        << "width"
        << "the value \"7\" is not";
    QTest::newRow("element inside text") << epos("<text>a<feed/></text>") << "feed"
                                         << ""
                                         << "the element is in the wrong place, inside text";
    QTest::newRow("characters in epos-print") << epos("hello<pulse/>") << "epos-print"
                                              << ""
                                              << "characters are in the wrong place";
    QTest::newRow("not well formed") << epos("<text>") << "text"
                                     << ""
                                     << "the XML is not well formed";
    QTest::newRow("document type")
        << "<!DOCTYPE epos-print [<!ENTITY a \"aaaa\">]>" + epos("<text>&a;</text>") << ""
        << ""
        << "a document type declaration";
    QTest::newRow("other namespace")
        << QByteArray(R"(<epos-print xmlns="urn:other"><pulse/></epos-print>)") << "epos-print"
        << ""
        << "the root is neither";
    QTest::newRow("image size") << epos(R"(<image width="9" height="2">/8A=</image>)") << "image"
                                << ""
                                << "the image data holds 2 bytes, not the 4 (or 3 unpadded)";
    QTest::newRow("image in color")
        << epos(R"(<image width="8" height="1" mode="gray16">AA==</image>)") << "image"
        << "mode"
        << "the value \"gray16\" is unknown";
    QTest::newRow("odd hex") << epos("<command>1b4</command>") << "command"
                             << ""
                             << "the command is not an even count";
    QTest::newRow("letters in ean13")
        << epos(R"(<barcode type="ean13">12345678901ab</barcode>)") << "barcode"
        << ""
        << "the barcode data does not fit";
    QTest::newRow("qr module size")
        << epos(R"(<symbol type="qrcode_model_2" width="17">a</symbol>)") << "symbol"
        << "width"
        << "a QR code's width is 1 to 16";
    QTest::newRow("pdf417") << epos(R"(<symbol type="pdf417_standard">a</symbol>)") << "symbol"
                            << "type"
                            << "the value \"pdf417_standard\" is unknown";
    QTest::newRow("bad timeout")
        << QByteArray(R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">)"
                      R"(<s:Header><parameter xmlns="http://www.epson-pos.com/schemas/2011/03/)"
                      R"(epos-print"><timeout>soon</timeout></parameter></s:Header><s:Body>)") +
               epos("<pulse/>") + "</s:Body></s:Envelope>"
        << "timeout"
        << ""
        << "the timeout is no count";
    QTest::newRow("two epos-print in the Body")
        << QByteArray(
               R"(<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body>)") +
               epos("<pulse/>") + epos("<pulse/>") + "</s:Body></s:Envelope>"
        << "epos-print"
        << ""
        << "the element is in the wrong place, inside Body";
}

void TestEposPrint::refuse()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, element);
    QFETCH(QString, attribute);
    QFETCH(QString, reason);

    const EposPrintResult result = EposPrintTranslator::translate(body);
    QCOMPARE(result.code, QString("SchemaError"));
    QVERIFY(!result.ok());
    QCOMPARE(result.bytes, QByteArray());
    QVERIFY(!result.holdsPulse);
    QCOMPARE(result.failedElement, element);
    QCOMPARE(result.failedAttribute, attribute);
    QVERIFY2(result.reason.startsWith(reason), qPrintable(result.reason));
}

QTEST_APPLESS_MAIN(TestEposPrint)
#include "tst_eposprint.moc"

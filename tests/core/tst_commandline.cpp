#include "commandline.h"

#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void https_data();
    void https();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("argumentText");
    QTest::addColumn<int>("match");
    QTest::addColumn<QString>("printer");

    const int run = static_cast<int>(CommandLine::Action::Run);
    const int refuse = static_cast<int>(CommandLine::Action::Refuse);
    const int start = static_cast<int>(MatchMode::Start);
    const int escpos = static_cast<int>(MatchMode::EscPos);
    QTest::newRow("none") << QStringList{} << run << "" << start << "";
    QTest::newRow("argument text as always")
        << QStringList{"1", ",0", "x"} << run << "1 ,0 x" << start << "";
    QTest::newRow("a negative number is no option")
        << QStringList{"-1,0"} << run << "-1,0" << start << "";
    QTest::newRow("options out first") << QStringList{"--match=star", "1,1"} << run << "1,1"
                                       << static_cast<int>(MatchMode::Star) << "";
    QTest::newRow("value as the next argument")
        << QStringList{"1,0", "--match", "escpos"} << run << "1,0" << escpos << "";
    QTest::newRow("printer implies escpos")
        << QStringList{"--printer=COM3:19200,N,8,1,rtscts", "1,0"} << run << "1,0" << escpos
        << "COM3";
    QTest::newRow("printer keeps start when asked")
        << QStringList{"--printer", "COM4", "--match=start"} << run << "" << start << "COM4";
    QTest::newRow("unknown option")
        << QStringList{"--hide", "1,0"} << refuse << "1,0" << start << "";
    QTest::newRow("bad mode") << QStringList{"--match=epson"} << refuse << "" << start << "";
    QTest::newRow("printer without port")
        << QStringList{"--printer="} << refuse << "" << start << "";
    QTest::newRow("printer that cannot be")
        << QStringList{"--printer=COM3:9600,N,9,1"} << refuse << "" << start << "";
    QTest::newRow("listen implies escpos")
        << QStringList{"--listen", "9100", "--idle-timeout=5"} << run << "" << escpos << "";
    QTest::newRow("listen on IPv6")
        << QStringList{"--listen=[::1]:9100"} << run << "" << escpos << "";
    for (const char *bad : {"--listen=host:9100", "--listen=1.2.3.400:9100", "--listen=0",
                            "--listen=:9100", "--idle-timeout=0"})
        QTest::newRow(bad) << QStringList{bad} << refuse << "" << start << "";
    QTest::newRow("web door implies escpos")
        << QStringList{"--http=8069", "--http-origin=https://Shop.example:443,http://pos.test:81"}
        << run << "" << escpos << "";
    for (const char *bad : {"--http=host:80", "--http-origin=https://shop.example/pos",
                            "--http-origin=null", "--printer-width=7", "--printer-width=wide"})
        QTest::newRow(bad) << QStringList{bad} << refuse << "" << start << "";
    QTest::newRow("any") << QStringList{"--match=any", "0,1"} << run << "0,1"
                         << static_cast<int>(MatchMode::Any) << "";
    QTest::newRow("printer queue, one argument with blanks")
        << QStringList{"--printer=queue:Receipt Printer", "1,0"} << run << "1,0" << escpos
        << "queue:Receipt Printer";
    QTest::newRow("list printers")
        << QStringList{"--list-printers"} << static_cast<int>(CommandLine::Action::ListPrinters)
        << "" << start << "";
    // A print port's socket handed over by the service manager is a print port as --listen makes.
    QTest::newRow("handed-over socket implies escpos")
        << QStringList{"handed-over", "1,0"} << run << "1,0" << escpos << "";
    QTest::newRow("handed-over socket keeps start when asked")
        << QStringList{"handed-over", "--match=start"} << run << "" << start << "";
    // So is a web door's socket a web door as --http makes one, alone or beside the print port's.
    QTest::newRow("handed-over web socket implies escpos")
        << QStringList{"handed-over-web", "1,0"} << run << "1,0" << escpos << "";
    QTest::newRow("handed-over web socket keeps star when asked")
        << QStringList{"--match=star", "handed-over-web"} << run << ""
        << static_cast<int>(MatchMode::Star) << "";
    QTest::newRow("both handed over")
        << QStringList{"handed-over-web", "handed-over", "0,1"} << run << "0,1" << escpos << "";
    QTest::newRow("handed-over web socket, refused option")
        << QStringList{"handed-over-web", "--printer-width=7"} << refuse << "" << start << "";
    QTest::newRow("help") << QStringList{"1,0", "--help"}
                          << static_cast<int>(CommandLine::Action::ShowHelp) << "1,0" << start
                          << "";
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    HandedOverSockets handedOver;
    if (arguments.removeAll(QStringLiteral("handed-over")) > 0)
        handedOver.printPort = 3;
    if (arguments.removeAll(QStringLiteral("handed-over-web")) > 0)
        handedOver.webDoor = 4;
    const qintptr socket = handedOver.printPort;

    const CommandLine line = CommandLine::parse(arguments, QStringLiteral("1.2.3"), handedOver);
    QCOMPARE(static_cast<int>(line.action), action);
    QTEST(line.run.argumentText, "argumentText");
    if (line.action == CommandLine::Action::Refuse) {
        QVERIFY(line.message.contains(QLatin1String("--help")));
        return;
    }
    if (line.action == CommandLine::Action::ShowHelp) {
        QVERIFY(line.message.contains(QLatin1String("--printer")));
        QVERIFY(line.message.contains(QLatin1String("any (every received text")));
        return;
    }
    QTEST(static_cast<int>(line.run.match), "match");
    QTEST(line.run.printer ? line.run.printer->port : QString(), "printer");
    QCOMPARE(line.run.listenSocket, socket);
    QCOMPARE(line.run.httpSocket, handedOver.webDoor);
    const bool webDoor =
        handedOver.webDoor >= 0 ||
        !arguments.filter(QRegularExpression(QStringLiteral("^--http="))).isEmpty();
    QCOMPARE(line.run.http.has_value(), webDoor);
    if (arguments.contains(QLatin1String("--http=8069"))) {
        QCOMPARE(line.run.http->text(), QStringLiteral("127.0.0.1:8069"));
        QCOMPARE(line.run.httpOrigins.listed(),
                 QStringList({"https://shop.example", "http://pos.test:81"}));
    }
    QCOMPARE(line.run.idleTimeoutMs,
             arguments.contains(QLatin1String("--idle-timeout=5")) ? 5000 : 30000);
    const bool listens = socket >= 0 || arguments.join(QString()).contains(QLatin1String("listen"));
    QCOMPARE(line.run.listen.has_value(), listens);
    if (line.run.listen)
        QCOMPARE(line.run.listen->text(), arguments.contains(QLatin1String("--listen=[::1]:9100"))
                                              ? QStringLiteral("[::1]:9100")
                                              : QStringLiteral("127.0.0.1:9100"));
}

void TestCommandLine::https_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("handedOver"); // the service manager's socket named for TLS
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("https");       // its address, empty for none
    QTest::addColumn<QString>("certificate"); // "cert|key", empty for the till's own

    const int run = static_cast<int>(CommandLine::Action::Run);
    const int refuse = static_cast<int>(CommandLine::Action::Refuse);
    QTest::newRow("https alone") << QStringList{"--https=8443"} << false << run << "127.0.0.1:8443"
                                 << "";
    QTest::newRow("beside http, given pair")
        << QStringList{"--http=8069", "--https", "[::1]:8443",
                       "--https-certificate=/etc/pos/c.pem, /etc/pos/k.pem"}
        << false << run << "[::1]:8443"
        << "/etc/pos/c.pem|/etc/pos/k.pem";
    QTest::newRow("handed over") << QStringList{"1,0"} << true << run << "127.0.0.1:9100"
                                 << "";
    QTest::newRow("handed over beside an http socket on the same address")
        << QStringList{"--http=9100"} << true << run << "127.0.0.1:9100"
        << "";
    QTest::newRow("one address for both")
        << QStringList{"--http=8069", "--https=127.0.0.1:8069"} << false << refuse << ""
        << "";
    QTest::newRow("pair without https")
        << QStringList{"--https-certificate=c.pem,k.pem"} << false << refuse << ""
        << "";
    for (const char *bad : {"--https-certificate=c.pem", "--https-certificate=c.pem,",
                            "--https-certificate=a,b,c", "--https=host:443"})
        QTest::newRow(bad) << QStringList{"--https=8443", bad} << false << refuse << ""
                           << "";
    QTest::newRow("certificate path")
        << QStringList{"--https-certificate-path"} << false
        << static_cast<int>(CommandLine::Action::ShowCertificatePath) << ""
        << "";
}

// --https makes the same door over TLS, from its own option or from its own handed-over socket,
// and takes a given certificate only for it.
void TestCommandLine::https()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, handedOver);
    QFETCH(int, action);
    QFETCH(QString, https);
    QFETCH(QString, certificate);
    HandedOverSockets sockets;
    if (handedOver)
        sockets.webDoorTls = 5;

    const CommandLine line = CommandLine::parse(arguments, QStringLiteral("1.2.3"), sockets);
    QCOMPARE(static_cast<int>(line.action), action);
    if (line.action != CommandLine::Action::Run) {
        QCOMPARE(line.message.contains(QLatin1String("--help")),
                 line.action == CommandLine::Action::Refuse);
        return;
    }
    QCOMPARE(line.run.https ? line.run.https->text() : QString(), https);
    QCOMPARE(line.run.httpsSocket, sockets.webDoorTls);
    QCOMPARE(line.run.httpsCertificateFile.isEmpty()
                 ? QString()
                 : line.run.httpsCertificateFile + QLatin1Char('|') + line.run.httpsKeyFile,
             certificate);
    QCOMPARE(line.run.match, MatchMode::EscPos);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"

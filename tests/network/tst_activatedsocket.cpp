#include "activatedsocket.h"

#include <QtTest>

class TestActivatedSocket : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roles_data();
    void roles();
};

void TestActivatedSocket::roles_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("printPort");
    QTest::addColumn<int>("webDoor");
    QTest::addColumn<int>("webDoorTls");

    QTest::newRow("none") << QStringList{} << -1 << -1 << -1;
    // Units that name nothing: systemd-socket-activate's "unknown", systemd's unit name.
    QTest::newRow("one unnamed") << QStringList{"unknown"} << 0 << -1 << -1;
    QTest::newRow("one by its unit's name") << QStringList{"tralvo.socket"} << 0 << -1 << -1;
    QTest::newRow("two unnamed: the first") << QStringList{"unknown", "unknown"} << 0 << -1 << -1;
    QTest::newRow("web alone") << QStringList{"web"} << -1 << 0 << -1;
    QTest::newRow("print, web") << QStringList{"print", "web"} << 0 << 1 << -1;
    QTest::newRow("web, print") << QStringList{"web", "print"} << 1 << 0 << -1;
    QTest::newRow("web beside an unnamed one")
        << QStringList{"web", "tralvo.socket"} << 1 << 0 << -1;
    QTest::newRow("print named wins over unnamed")
        << QStringList{"unknown", "print"} << 1 << -1 << -1;
    QTest::newRow("two web: the first, and no print port")
        << QStringList{"web", "web"} << -1 << 0 << -1;
    QTest::newRow("names are exact") << QStringList{"Web", "web "} << 0 << -1 << -1;
    QTest::newRow("https alone: no print port") << QStringList{"https"} << -1 << -1 << 0;
    QTest::newRow("print, web, https") << QStringList{"print", "web", "https"} << 0 << 1 << 2;
    QTest::newRow("https beside unnamed ones: the first unnamed prints")
        << QStringList{"https", "tralvo.socket", "unknown"} << 1 << -1 << 0;
    QTest::newRow("https names are exact") << QStringList{"HTTPS", "web"} << 0 << 1 << -1;
}

void TestActivatedSocket::roles()
{
    QFETCH(QStringList, names);
    const SocketRoles roles = socketRoles(names);
    QTEST(roles.printPort, "printPort");
    QTEST(roles.webDoor, "webDoor");
    QTEST(roles.webDoorTls, "webDoorTls");
}

QTEST_GUILESS_MAIN(TestActivatedSocket)
#include "tst_activatedsocket.moc"

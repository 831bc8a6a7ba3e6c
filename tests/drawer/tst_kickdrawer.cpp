#include "builtfiles.h"
#include "cashboxlibrary.h"
#include "countinglibrary.h"
#include "decimal.h"
#include "kickdrawer.h"
#include "startoptions.h"
#include "verifythrows.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestKickDrawer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    // First: once a library is loaded, the dynamic linker hands it out again by name.
    void relativeFoldersAreNeverTried();
    void profileChoice_data();
    void profileChoice();
    void absentThenPresent();
    void results_data();
    void results();
    void libraryWithoutTheFunction();

private:
    // The file name the program looks for: libCashBox.so, CashBox.dll.
    QString m_name;
};

void TestKickDrawer::initTestCase()
{
    // As the program does at start: no library from the current folder or PATH.
    CashBoxLibrary::restrictSystemSearch();
    m_name = QFileInfo(standinLibrary()).fileName();
}

void TestKickDrawer::init()
{
    qunsetenv("CASHBOX_STANDIN_RESULT");
    qunsetenv("CASHBOX_STANDIN_LOG");
}

void TestKickDrawer::profileChoice_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<int>("chosen");

    QTest::newRow("0") << "0" << 0;
    QTest::newRow("0.0") << "0.0" << 0;
    QTest::newRow("blank 0") << " 0" << 0;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("2") << "2" << 1;
    QTest::newRow("-1") << "-1" << 1;
    QTest::newRow("0.5") << "0.5" << 1;
    QTest::newRow("x") << "x" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestKickDrawer::profileChoice()
{
    QFETCH(QString, profile);
    QFETCH(int, chosen);

    StartOptions options;
    options.profileField = profile;
    CountingLibrary library;
    library.result = 7;
    if (chosen < 0) {
        VERIFY_THROWS(ConversionError, KickDrawer(options, library));
        QVERIFY(library.calls.isEmpty());
        return;
    }
    QCOMPARE(KickDrawer(options, library), 7);
    QCOMPARE(library.calls.size(), 1);
    QCOMPARE(library.calls.first(), chosen == 0 ? gpioProfile0() : gpioProfile1());
}

void TestKickDrawer::absentThenPresent()
{
    QTemporaryDir folder;
    QTemporaryDir logDir;
    const QString log = logDir.filePath(QStringLiteral("pulses"));
    qputenv("CASHBOX_STANDIN_LOG", QFile::encodeName(log));

    CashBoxLibrary library({folder.path()}, false);
    StartOptions options;
    VERIFY_THROWS(DrawerError, KickDrawer(options, library));
    QVERIFY(!library.isBound());

    QVERIFY(QFile::copy(standinLibrary(), folder.filePath(m_name)));
    QCOMPARE(KickDrawer(options, library), 0);
    QVERIFY(library.isBound());
    options.profileField = QStringLiteral("1");
    QCOMPARE(KickDrawer(options, library), 0);

    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].endsWith("\"53a\" \"5\" \"538\" \"6\" -> 0"), lines[0].constData());
    QVERIFY2(lines[1].endsWith("\"50d\" \"6\" \"501\" \"5\" -> 0"), lines[1].constData());

    // Bound for the life of the process: the file going away changes nothing. (Windows keeps a
    // loaded library's file from going away at all.)
#ifdef Q_OS_WIN
    QVERIFY(!QFile::remove(folder.filePath(m_name)));
#else
    QVERIFY(QFile::remove(folder.filePath(m_name)));
#endif
    QCOMPARE(KickDrawer(options, library), 0);
}

void TestKickDrawer::results_data()
{
    QTest::addColumn<QByteArray>("configured");
    QTest::addColumn<int>("result");
    QTest::newRow("0") << QByteArray("0") << 0;
    QTest::newRow("1") << QByteArray("1") << 1;
    QTest::newRow("-1") << QByteArray("-1") << -1;
}

void TestKickDrawer::results()
{
    QFETCH(QByteArray, configured);
    QFETCH(int, result);
    qputenv("CASHBOX_STANDIN_RESULT", configured);
    CashBoxLibrary library({standinFolder()}, false);
    QCOMPARE(KickDrawer(StartOptions(), library), result);
}

void TestKickDrawer::libraryWithoutTheFunction()
{
    // Another shared library under the drawer library's name.
    QTemporaryDir folder;
    QVERIFY(QFile::copy(otherLibrary(), folder.filePath(m_name)));
    CashBoxLibrary library({folder.path()}, false);
    VERIFY_THROWS(DrawerError, KickDrawer(StartOptions(), library));
    QVERIFY(!library.isBound());

    // Nothing was kept: once the right library is there, the next pulse binds it.
    QVERIFY(QFile::remove(folder.filePath(m_name)));
    QVERIFY(QFile::copy(standinLibrary(), folder.filePath(m_name)));
    QCOMPARE(KickDrawer(StartOptions(), library), 0);
}

void TestKickDrawer::relativeFoldersAreNeverTried()
{
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkdir(QStringLiteral("lib")));
    QVERIFY(QFile::copy(standinLibrary(), work.filePath(QStringLiteral("lib/") + m_name)));
    QVERIFY(QFile::copy(standinLibrary(), work.filePath(m_name)));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    CashBoxLibrary library({QStringLiteral("lib"), QStringLiteral(".")}, true);
    const bool bound = [&] {
        try {
            KickDrawer(StartOptions(), library);
            return true;
        } catch (const DrawerError &) {
            return false;
        }
    }();
    QDir::setCurrent(previous);
    // Only the system search is left, and the stand-in is not installed there.
    QVERIFY(!bound);
}

QTEST_GUILESS_MAIN(TestKickDrawer)
#include "tst_kickdrawer.moc"

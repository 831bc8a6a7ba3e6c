#include "ptypair.h"
#include "qtcommcontrol.h"
#include "verifythrows.h"

#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QByteArray escP("\x1b\x70", 2);

void configure(CommControl &c, qint16 port)
{
    c.setCommPort(port);
    c.setSettings(QStringLiteral("9600,N,8,1"));
}

// Takes every waiting byte, one read at a time, as the receive handler does.
QByteArray drain(CommControl &c)
{
    QByteArray all;
    while (c.available() > 0)
        all += c.read(1);
    return all;
}

} // namespace

class TestQtCommControl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void opensAndReceives();
    void missingPortFails();
    void heldPortFailsAndIsFreeAfterClose();
    void bytesWaitingBeforeOpenAreDiscarded();
    void settingsKeptWhileClosedApplyAtOpen();
    void refusedValues();
    void closedPortRefusesReadsAndWrites();
    void outputLeavesBeforeClose();
    void lostPeerClosesPortOnce();
    void noEventWhileHandlerRuns();
    void floodArrivesWhole();

private:
    std::unique_ptr<ComDir> m_dir;
};

void TestQtCommControl::init()
{
    m_dir = std::make_unique<ComDir>();
    qputenv("TRALVO_COMDIR", QFile::encodeName(m_dir->path()));
}

void TestQtCommControl::opensAndReceives()
{
    Pty pty;
    QVERIFY(pty.isValid() && m_dir->link(9, pty.slavePath()));
    QtCommControl c;
    configure(c, 9);
    c.setPortOpen(true);
    QVERIFY(c.portOpen());

    QSignalSpy events(&c, &CommControl::received);
    QVERIFY(pty.write(escP + QByteArray("\x00\x19\xfa", 3)));
    QVERIFY(events.wait(5000));
    QTRY_COMPARE(c.available(), qint64(5));
    QCOMPARE(c.read(1), QByteArray("\x1b", 1));
    QCOMPARE(c.available(), qint64(4));
    QCOMPARE(c.read(100), QByteArray("\x70\x00\x19\xfa", 4));
    QCOMPARE(c.available(), qint64(0));
    QCOMPARE(c.read(1), QByteArray());
}

void TestQtCommControl::missingPortFails()
{
    QtCommControl c;
    configure(c, 7);
    // The reason names the port's whole path, as the user gives it.
    QString reason;
    try {
        c.setPortOpen(true);
    } catch (const CommError &e) {
        reason = QString::fromStdString(e.what());
    }
    QVERIFY2(reason.startsWith(QStringLiteral("cannot open ") + m_dir->port(7) + QLatin1Char(':')),
             qPrintable(reason));
    QVERIFY(!c.portOpen());
}

void TestQtCommControl::heldPortFailsAndIsFreeAfterClose()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    {
        PortHolder other(m_dir->port(9));
        QVERIFY(other.held());
        QtCommControl c;
        configure(c, 9);
        VERIFY_THROWS(CommError, c.setPortOpen(true));
        QVERIFY(!c.portOpen());
    }
    QtCommControl c;
    configure(c, 9);
    c.setPortOpen(true);
    c.setPortOpen(false);
    PortHolder after(m_dir->port(9));
    QVERIFY(after.held());
}

void TestQtCommControl::bytesWaitingBeforeOpenAreDiscarded()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    QVERIFY(pty.write(escP));
    QtCommControl c;
    configure(c, 9);
    c.setPortOpen(true);
    QSignalSpy events(&c, &CommControl::received);
    QVERIFY(pty.write(QByteArray("x")));
    QVERIFY(events.wait(5000));
    QCOMPARE(drain(c), QByteArray("x"));
}

void TestQtCommControl::settingsKeptWhileClosedApplyAtOpen()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    QtCommControl c;
    configure(c, 9);
    // A pseudo-terminal keeps 8 bits and no parity whatever it is told; speed and stop bits show.
    c.setSettings(QStringLiteral("19200,N,8,2"));
    c.setPortOpen(true);

    termios tio{};
    QCOMPARE(::tcgetattr(pty.slaveFd(), &tio), 0);
    QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
    QVERIFY(tio.c_cflag & CSTOPB);

    // While open, a new text applies at once.
    c.setSettings(QStringLiteral("9600,N,8,1"));
    QCOMPARE(::tcgetattr(pty.slaveFd(), &tio), 0);
    QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    QVERIFY(!(tio.c_cflag & CSTOPB));
}

void TestQtCommControl::refusedValues()
{
    QtCommControl c;
    VERIFY_THROWS(CommError, c.setSettings(QStringLiteral("9600,N,9,1")));
    VERIFY_THROWS(CommError, c.setSettings(QStringLiteral("9600,N,8")));
    VERIFY_THROWS(CommError, c.setSettings(QStringLiteral("9600,N,8,1,dtr")));
    VERIFY_THROWS(CommError, c.setCommPort(0));
    for (const char *flow : {"none", "rtscts", "xonxoff"})
        c.setSettings(QStringLiteral("9600,N,8,1,") + QLatin1String(flow));
}

void TestQtCommControl::closedPortRefusesReadsAndWrites()
{
    QtCommControl c;
    VERIFY_THROWS(CommError, c.available());
    VERIFY_THROWS(CommError, c.read(1));
    VERIFY_THROWS(CommError, c.setOutput(escP));
    c.setPortOpen(false); // closing a closed port is harmless
    QVERIFY(!c.portOpen());
}

void TestQtCommControl::outputLeavesBeforeClose()
{
    Pty pty;
    QVERIFY(m_dir->link(8, pty.slavePath()));
    QtCommControl c;
    configure(c, 8);
    c.setPortOpen(true);
    c.setOutput(escP);
    c.setPortOpen(false);
    QCOMPARE(pty.read(3, 1000), escP);
}

void TestQtCommControl::lostPeerClosesPortOnce()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    QtCommControl c;
    configure(c, 9);
    c.setPortOpen(true);
    QSignalSpy events(&c, &CommControl::lost);
    pty.closeMaster();
    QVERIFY(events.wait(5000));
    QVERIFY(!c.portOpen());
    QVERIFY(events.first().first().toString().startsWith(QLatin1String("port lost: ")));
    // A read learns of it too, with the same reason.
    VERIFY_THROWS(CommError, c.available());
    QTest::qWait(300);
    QCOMPARE(events.count(), 1);
}

void TestQtCommControl::noEventWhileHandlerRuns()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    QtCommControl c;
    configure(c, 9);
    c.setPortOpen(true);

    int depth = 0;
    int deepest = 0;
    int calls = 0;
    QByteArray received;
    connect(&c, &CommControl::received, this, [&] {
        ++calls;
        deepest = std::max(deepest, ++depth);
        if (calls == 1) {
            pty.write(QByteArray("b"));
            QTest::qWait(200); // lets the port see the new byte while this handler runs
        }
        received += drain(c);
        --depth;
    });
    QVERIFY(pty.write(QByteArray("a")));
    QTRY_COMPARE(received, QByteArray("ab"));
    QCOMPARE(deepest, 1);
}

void TestQtCommControl::floodArrivesWhole()
{
    Pty pty;
    QVERIFY(m_dir->link(9, pty.slavePath()));
    QtCommControl c;
    configure(c, 9);
    c.setPortOpen(true);
    ::fcntl(pty.masterFd(), F_SETFL, ::fcntl(pty.masterFd(), F_GETFL) | O_NONBLOCK);

    QByteArray sent(300 * 1024, Qt::Uninitialized);
    for (int i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    QByteArray received;
    qsizetype offset = 0;
    QDeadlineTimer deadline(20000);
    while (received.size() < sent.size() && !deadline.hasExpired()) {
        if (offset < sent.size()) {
            const ssize_t n = ::write(pty.masterFd(), sent.constData() + offset,
                                      static_cast<size_t>(sent.size() - offset));
            if (n > 0)
                offset += n;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (c.available() > 0) {
            received += c.read(1);
            QCoreApplication::processEvents();
        }
    }
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
}

QTEST_GUILESS_MAIN(TestQtCommControl)
#include "tst_qtcommcontrol.moc"

#include "printerturns.h"

#include <QSignalSpy>
#include <QtTest>

#include <map>
#include <memory>

namespace {

// A printer that takes up to `free` bytes and remembers them; its jobs are written when the
// test says so, oldest first.
class Printer : public Onward
{
public:
    qint64 room() const override { return free; }
    qint64 send(const QByteArray &bytes) override
    {
        printed += bytes;
        return bytes.size();
    }
    void waitForRoom() override { ++waitsForRoom; }
    void endJob() override { ++jobsEnded; }
    void writeJob()
    {
        QVERIFY(jobsEnded > jobsWritten);
        ++jobsWritten;
        Q_EMIT jobWritten();
    }
    qint64 free = 100;
    QByteArray printed;
    int waitsForRoom = 0;
    int jobsEnded = 0;
    int jobsWritten = 0;
};

} // namespace

class TestPrinterTurns : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void turns();
    void roomIsAQuery_data();
    void roomIsAQuery();
    void jobWrittenInEachGatesOrder_data();
    void jobWrittenInEachGatesOrder();
};

// Jobs hold the printer in the order they asked, its replies go to the holder, and a serial
// source's turn ends at a pause in its input, unless a full printer holds it back.
void TestPrinterTurns::turns()
{
    Printer printer;
    PrinterTurns turns(printer);
    PrinterGate serial(turns, 50), a(turns);
    auto b = std::make_unique<PrinterGate>(turns);
    QSignalSpy aTurn(&a, &Onward::roomAvailable);
    QSignalSpy serialReplies(&serial, &Onward::replied);
    QCOMPARE(serial.send("pos"), qint64(3));
    QCOMPARE(b->room(), qint64(0));
    b->waitForRoom();
    QCOMPARE(a.send("a"), qint64(0));
    Q_EMIT printer.replied("\x16");
    QCOMPARE(serialReplies.count(), 1);
    printer.free = 0;
    QCOMPARE(serial.room(), qint64(0)); // the serial source has more, and waits
    serial.waitForRoom();
    QCOMPARE(printer.waitsForRoom, 1);
    QTest::qWait(150);
    QCOMPARE(turns.holder(), &serial);
    printer.free = 100;
    Q_EMIT printer.roomAvailable();        // woken, it finds room and has nothing more
    QTRY_COMPARE(turns.holder(), b.get()); // b asked before a
    b.reset();                             // a job that goes gives the printer up
    QCOMPARE(aTurn.count(), 1);
    QCOMPARE(a.send("a"), qint64(1));
    QCOMPARE(printer.printed, QByteArray("posa"));
    // A serial source that asks for the printer and sends nothing lets the next job have it.
    a.endJob();
    printer.free = 0;
    serial.waitForRoom();
    QCOMPARE(turns.holder(), &serial);
    a.waitForRoom();
    printer.free = 100;
    Q_EMIT printer.roomAvailable();
    QCOMPARE(a.room(), qint64(0));
    QTRY_COMPARE(turns.holder(), &a);
}

void TestPrinterTurns::roomIsAQuery_data()
{
    QTest::addColumn<bool>("otherHolds");
    QTest::addColumn<qint64>("free");
    QTest::addColumn<qint64>("room");
    QTest::newRow("turn free") << false << qint64(100) << qint64(100);
    QTest::newRow("turn free, printer full") << false << qint64(0) << qint64(0);
    QTest::newRow("another holds it") << true << qint64(100) << qint64(0);
}

// Asking for room takes no turn and joins no wait: once the turn is free again, nobody has it.
void TestPrinterTurns::roomIsAQuery()
{
    QFETCH(bool, otherHolds);
    Printer printer;
    QFETCH(qint64, free);
    printer.free = free;
    PrinterTurns turns(printer);
    PrinterGate asking(turns), other(turns);
    if (otherHolds)
        QCOMPARE(other.send("job"), qint64(3));
    QSignalSpy woken(&asking, &Onward::roomAvailable);
    for (int i = 0; i < 3; ++i)
        QTEST(asking.room(), "room");
    other.endJob();
    QCOMPARE(turns.holder(), nullptr);
    QCOMPARE(woken.count(), 0);
    QCOMPARE(printer.waitsForRoom, 0);
}

void TestPrinterTurns::jobWrittenInEachGatesOrder_data()
{
    // Steps: a, b: that gate sends a byte; A, B: it ends its job; w: the printer writes its
    // oldest job (logged as '.'); x: gate b goes away. The log: whose jobWritten() came, in order.
    QTest::addColumn<QByteArray>("steps");
    QTest::addColumn<QByteArray>("log");
    QTest::newRow("each job once written") << QByteArray("aAbBww") << QByteArray(".a.b");
    QTest::newRow("nothing sent: at once") << QByteArray("A") << QByteArray("a");
    QTest::newRow("ended in the wait: at once") << QByteArray("abBAw") << QByteArray("b.a");
    QTest::newRow("an empty job after one going out")
        << QByteArray("aAbABww") << QByteArray(".aa.b");
    QTest::newRow("a gate gone hears nothing") << QByteArray("aAbxww") << QByteArray(".a.");
    QTest::newRow("a waiting gate gone") << QByteArray("abxAw") << QByteArray(".a");
}

void TestPrinterTurns::jobWrittenInEachGatesOrder()
{
    QFETCH(QByteArray, steps);
    Printer printer;
    PrinterTurns turns(printer);
    std::map<char, std::unique_ptr<PrinterGate>> gates;
    QByteArray log;
    for (const char name : {'a', 'b'}) {
        gates[name] = std::make_unique<PrinterGate>(turns);
        connect(gates[name].get(), &Onward::jobWritten, this, [&log, name] { log += name; });
    }
    for (const char step : std::as_const(steps)) {
        if (step == 'w') {
            log += '.';
            printer.writeJob();
        } else if (step == 'x') {
            gates['b'].reset();
        } else if (step == 'a' || step == 'b') {
            gates[step]->send(QByteArray(1, step));
        } else {
            gates[static_cast<char>(step - 'A' + 'a')]->endJob();
        }
    }
    QTEST(log, "log");
}

QTEST_GUILESS_MAIN(TestPrinterTurns)
#include "tst_printerturns.moc"

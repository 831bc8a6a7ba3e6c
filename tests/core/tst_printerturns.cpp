#include "printerturns.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// A printer that takes up to `free` bytes and remembers them.
class Printer : public Onward
{
public:
    qint64 room() const override { return free; }
    qint64 send(const QByteArray &bytes) override
    {
        printed += bytes;
        return bytes.size();
    }
    void waitForRoom() override {}
    void endJob() override { Q_EMIT jobWritten(); }
    qint64 free = 100;
    QByteArray printed;
};

} // namespace

class TestPrinterTurns : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void turns();
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
    QTest::qWait(150);
    QCOMPARE(turns.holder(), &serial);
    printer.free = 100;
    Q_EMIT printer.roomAvailable();
    QCOMPARE(serial.room(), qint64(100));  // woken, it finds room and has nothing more
    QTRY_COMPARE(turns.holder(), b.get()); // b asked before a
    b.reset();                             // a job that goes gives the printer up
    QCOMPARE(aTurn.count(), 1);
    QCOMPARE(a.send("a"), qint64(1));
    QCOMPARE(printer.printed, QByteArray("posa"));
    // A serial source that asks for the printer and sends nothing lets the next job have it.
    a.release();
    QCOMPARE(serial.room(), qint64(100));
    serial.waitForRoom();
    QCOMPARE(a.room(), qint64(0));
    a.waitForRoom();
    QTRY_COMPARE(turns.holder(), &a);
}

QTEST_GUILESS_MAIN(TestPrinterTurns)
#include "tst_printerturns.moc"

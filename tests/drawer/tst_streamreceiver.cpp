#include "countinglibrary.h"
#include "fakecommcontrol.h"
#include "recordingview.h"
#include "startoptions.h"
#include "streamreceiver.h"

#include <QtTest>

namespace {

const QByteArray kick("\x1b\x70\x00\x19\xfa", 5);
const QByteArray initialise("\x1b\x40", 2);
// GS v 0 raster, 2 x 2 bytes, whose data is a kick's opening.
const QByteArray image = QByteArray("\x1d\x76\x30\x00\x02\x00\x02\x00", 8) + kick.left(4);

QList<QByteArray> texts(std::initializer_list<QByteArray> list)
{
    return QList<QByteArray>(list);
}

// The Device port, a printer that takes `room` bytes until told otherwise, and the receiver.
struct Line
{
    Line(MatchMode mode, qint64 printerRoom)
        : room(printerRoom),
          receiver(devicePort, view, options, library, EventPump{[] {}, [](auto &&, int) {}}, mode,
                   Onward{[this] { return room; },
                          [this](const QByteArray &bytes) {
                              printed += bytes;
                              room -= bytes.size();
                          }})
    {
        devicePort.setPortOpen(true);
    }
    void receive(const QByteArray &bytes)
    {
        devicePort.hold(bytes);
        devicePort.raise();
        receiver.onComm();
    }
    FakeCommControl devicePort;
    RecordingView view;
    StartOptions options;
    CountingLibrary library;
    qint64 room;
    QByteArray printed;
    StreamReceiver receiver;
};

} // namespace

class TestStreamReceiver : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pulses_data();
    void pulses();
    void slowPrinterHoldsTheRest();
};

void TestStreamReceiver::pulses_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<QByteArray>>("texts");
    QTest::addColumn<int>("pulses");

    const int escpos = static_cast<int>(MatchMode::EscPos);
    const int start = static_cast<int>(MatchMode::Start);
    QTest::newRow("receipt then kick")
        << escpos << texts({QByteArray("Total 4.20\n") + initialise + kick}) << 1;
    QTest::newRow("two kicks, one text: one pulse") << escpos << texts({kick + kick}) << 1;
    QTest::newRow("kick cut across texts") << escpos << texts({kick.left(3), kick.mid(3)}) << 1;
    QTest::newRow("image holding kick bytes") << escpos << texts({image + QByteArray("\n")}) << 0;
    QTest::newRow("one pulse per text") << escpos << texts({kick, QByteArray("x") + kick}) << 2;
    QTest::newRow("start: kick first") << start << texts({kick + QByteArray("text")}) << 1;
    QTest::newRow("start: kick after text") << start << texts({QByteArray("text") + kick}) << 0;
    QTest::newRow("star: BEL") << static_cast<int>(MatchMode::Star)
                               << texts({QByteArray("receipt\n\x07", 9)}) << 1;
}

// Every byte goes on unchanged, whatever the mode, and kicks pulse once per received text.
void TestStreamReceiver::pulses()
{
    QFETCH(int, mode);
    QFETCH(QList<QByteArray>, texts);
    QFETCH(int, pulses);

    Line line(static_cast<MatchMode>(mode), qint64{1} << 20);
    QByteArray sent;
    for (const QByteArray &text : std::as_const(texts)) {
        line.receive(text);
        sent += text;
    }
    QCOMPARE(line.printed, sent);
    QCOMPARE(line.library.calls.size(), pulses);
    QCOMPARE(line.view.writes().count(QStringLiteral("Label8=Receive Success")), pulses);
}

// A printer that is behind stops the reading; nothing is lost, and resume() goes on in order.
void TestStreamReceiver::slowPrinterHoldsTheRest()
{
    Line line(MatchMode::EscPos, 7);
    const QByteArray job = "0123456789" + kick + "abc";
    line.receive(job);
    QCOMPARE(line.printed, job.left(7));
    QCOMPARE(line.devicePort.waiting(), job.mid(7));
    QVERIFY(line.library.calls.isEmpty());

    line.room = 4;
    line.receiver.resume();
    QCOMPARE(line.printed, job.left(11));
    line.room = 100;
    line.receiver.resume();
    QCOMPARE(line.printed, job);
    QCOMPARE(line.library.calls.size(), 1);
    QVERIFY(line.devicePort.waiting().isEmpty());
}

QTEST_GUILESS_MAIN(TestStreamReceiver)
#include "tst_streamreceiver.moc"

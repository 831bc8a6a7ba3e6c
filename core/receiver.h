#pragma once

#include "kickscanner.h"
#include "matchmode.h"
#include "statusboard.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class ByteSource;
class Drawer;
class Onward;

// What the receiver needs of the window's event loop while it reads a line.
struct EventPump
{
    // Processes all pending window events once.
    std::function<void()> processEvents;

    // The application's own event loop; tests give a pump of their own.
    static EventPump applicationLoop();
};

// What a receiver reads: a line that goes on for ever (the Device port), or a job that ends (a
// network connection).
enum class SourceKind { Line, Job };

// Whether the receiver raises statusRequested() for the status requests the POS sends.
enum class StatusRequests { Ignored, Found };

// How long a text that is so far only the opening of a drawer command (ESC) stays open for its
// next byte: a USB adapter's 16 ms latency timer, or two characters at 9600 baud, fit well
// within it.
constexpr int commandOpeningWaitMs = 20;

// The one receiver of a source of POS bytes. On every receive event it drains what waits into a
// received text; each read goes onward (the printer) before the mode's rule sees what onward
// took; and a text the rule marks kicked pulses the drawer once, shown in the source's state
// field. The mode's row (receivePolicy) says how it reads and what one text is: one drain, or a
// whole job. A transport cuts a command wherever its chunk ends, so where the row says so a text
// that is so far only a command's opening stays open commandOpeningWaitMs for its next byte:
// bytes that come meanwhile continue it, and when the time is up it is decided.
//
// A line is read with the window's events processed between reads, byte-paced where the row
// says so; a job, which may end and be deleted while the window runs, is read without. When
// onward has no room the drain stops reading, the source's own buffers fill until the sender
// waits, and it goes on when onward's roomAvailable() comes; bytes read but not taken are kept
// and go first.
class Receiver : public QObject
{
    Q_OBJECT
public:
    Receiver(ByteSource &source, SourceKind kind, Field stateField, StatusBoard &board,
             Drawer &drawer, MatchMode mode, Onward *onward = nullptr,
             StatusRequests statusRequests = StatusRequests::Ignored,
             EventPump pump = EventPump::applicationLoop(), QObject *parent = nullptr);
    ~Receiver() override;

    // The receive event: drains the waiting bytes. ByteSource never raises it inside its own
    // handler, so the events that the drain lets the window process do not start another drain.
    void DrainInput();
    // The source was opened afresh: a command in progress, and an open text, are forgotten.
    void restart();
    // Receive events are no longer handled (shutdown); a drain in progress finds its source closed.
    void stop();
    // The job's last byte has been read: onward's job ends once what was read has gone on.
    void finishJob();
    // Whether a text is open, waiting for the next byte of a command's opening.
    bool awaitsRest() const { return m_openText.has_value(); }

    // Bytes read at most at a time in chunks.
    static constexpr qint64 chunkSize = qint64{16} * 1024;

Q_SIGNALS:
    // The status requests DLE EOT n that the bytes onward took hold, one byte n (1 to 4) each, in
    // order. Raised only for StatusRequests::Found.
    void statusRequested(const QByteArray &requests);
    // A received text pulsed the drawer: whether the library reported success.
    void pulsed(bool succeeded);

private:
    // The drawer's pulse for a kicked text; a failure goes on to the drain's trap.
    void pulse();
    enum class Stop { Drained, NoRoom };
    Stop drain(ReceivedText &text);
    Stop drainText();
    Stop drainJob();
    bool passOn(ReceivedText &text);
    void take(ReceivedText &text, const QByteArray &bytes);
    void endJobWhenSent();
    void resume();
    void sourceLost(const QString &reason);

    ByteSource &m_source;
    SourceKind m_kind;
    Field m_stateField;
    StatusBoard &m_board;
    Drawer &m_drawer;
    ReceivePolicy m_policy;
    std::unique_ptr<KickRule> m_rule;
    Onward *m_onward;
    bool m_findsStatusRequests;
    // For a rule that does not follow ESC/POS, the status requests are found here.
    std::optional<KickScanner> m_statusScanner;
    EventPump m_pump;
    qint64 m_readSize;
    std::optional<ReceivedText> m_jobText; // the one text, when the whole job is one
    bool m_jobPulsed = false;
    std::optional<ReceivedText> m_openText; // a text waiting for its command's next byte
    QTimer m_openTextWait;
    bool m_openTextDue = false; // the wait is over: the text is decided at this drain's end
    QByteArray m_unsent;        // read, and not yet taken onward
    int m_drains = 0; // drains running: one, but for a source that raises received() past the guard
    bool m_waitingForRoom = false;
    bool m_jobFinished = false;
};

#pragma once

#include "matchmode.h"
#include "statusboard.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class ByteSource;
class DrawerLibrary;
class Onward;
struct StartOptions;

// What the receiver needs of the window's event loop.
struct EventPump
{
    // Processes all pending window events once.
    std::function<void()> processEvents;
    // Runs the window until ready() holds or timeoutMs has passed, sleeping between events.
    std::function<void(const std::function<bool()> &ready, int timeoutMs)> waitUntil;

    // The application's own event loop; tests give a pump of their own.
    static EventPump applicationLoop();
    // No pump at all: the drain reads what waits and returns. For a source that may end and be
    // deleted while the window runs (a network job), and that gains nothing from a byte at a time.
    static EventPump none();
};

// How long a drain whose text is only the opening of a drawer command (ESC) waits for the next
// byte: a USB adapter's 16 ms latency timer, or two characters at 9600 baud, fit well within it.
constexpr int commandOpeningWaitMs = 20;

// The one receiver of a source of POS bytes. On every receive event it drains what waits into
// one received text, letting the window run between reads; each read goes onward (the printer)
// before the mode's rule sees it; and a text the rule marks kicked pulses the drawer once, shown
// in the source's state field. A transport cuts a command wherever its chunk ends, so a text that
// is so far only a command's opening is given commandOpeningWaitMs for its next byte.
//
// Without onward and in the start mode it reads one byte at a time, as the classic handler does;
// otherwise in large chunks. When onward has no room, the drain stops reading and the source's
// own buffers fill until the sender waits; it goes on when room comes back.
class Receiver : public QObject
{
    Q_OBJECT
public:
    Receiver(ByteSource &source, Field stateField, StatusBoard &board, const StartOptions &options,
             DrawerLibrary &library, EventPump pump, MatchMode mode, Onward *onward = nullptr,
             QObject *parent = nullptr);
    ~Receiver() override;

    // The receive event: drains the waiting bytes. A drain that lets the window run may see
    // another one run to its end inside it, with a text of its own.
    void DrainInput();
    // All the source gives is one received text (a network job), however many drains read it:
    // it pulses once, as soon as the rule has marked it kicked.
    void takeWholeSourceAsOneText() { m_wholeSource.emplace(); }
    // The source was opened afresh: a command in progress is forgotten.
    void restart();
    // Receive events are no longer handled (shutdown); a drain in progress finds its source closed.
    void stop();

    // Bytes read at most at a time in chunks.
    static constexpr qint64 chunkSize = qint64{16} * 1024;

Q_SIGNALS:
    // A received text pulsed the drawer: whether the library reported 0.
    void pulsed(bool succeeded);

private:
    void pulse();
    bool moreToCome(const ReceivedText &text);
    void drain(ReceivedText &text);
    void resume();
    void sourceLost(const QString &reason);

    ByteSource &m_source;
    Field m_stateField;
    StatusBoard &m_board;
    const StartOptions &m_options;
    DrawerLibrary &m_library;
    EventPump m_pump;
    std::unique_ptr<KickRule> m_rule;
    Onward *m_onward;
    qint64 m_readSize;
    std::optional<ReceivedText> m_wholeSource; // the one text, when the source is one
    bool m_wholeSourcePulsed = false;
    int m_drains = 0;      // drains running, nested ones included
    bool m_heldUp = false; // a drain stopped for want of room onward
};

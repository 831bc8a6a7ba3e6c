#include "receiver.h"

#include "bytesource.h"
#include "kickdrawer.h"
#include "logging.h"
#include "onward.h"
#include "statustext.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {

// Sleeps in the event loop: every pass blocks until some event comes, and a timer makes sure
// one comes by the deadline. The timer's event alone is not enough on Windows: a precise timer
// that fires just as a pass begins is delivered before the pass blocks, and the pass would then
// sleep on with nothing left to wake it. Waking the dispatcher from the timeout ends that pass.
void waitInEventLoop(const std::function<bool()> &ready, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake, &QTimer::timeout, [] {
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->wakeUp();
    });
    while (!ready()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return;
        wake.start(static_cast<int>(left));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace

EventPump EventPump::applicationLoop()
{
    return {[] { QCoreApplication::processEvents(); }, waitInEventLoop};
}

EventPump EventPump::none()
{
    return {[] {}, [](const std::function<bool()> &, int) {}};
}

Receiver::Receiver(ByteSource &source, Field stateField, StatusBoard &board,
                   const StartOptions &options, DrawerLibrary &library, EventPump pump,
                   MatchMode mode, Onward *onward, QObject *parent)
    : QObject(parent), m_source(source), m_stateField(stateField), m_board(board),
      m_options(options), m_library(library), m_pump(std::move(pump)), m_rule(makeKickRule(mode)),
      m_onward(onward), m_readSize(mode == MatchMode::Start && !onward ? 1 : chunkSize)
{
    connect(&m_source, &ByteSource::received, this, &Receiver::DrainInput);
    connect(&m_source, &ByteSource::lost, this, &Receiver::sourceLost);
    if (m_onward)
        connect(m_onward, &Onward::roomAvailable, this, &Receiver::resume);
}

Receiver::~Receiver() = default;

void Receiver::DrainInput()
{
    ++m_drains;
    m_heldUp = false;
    try {
        if (m_wholeSource) {
            drain(*m_wholeSource);
            if (m_wholeSource->kicked && !m_wholeSourcePulsed) {
                m_wholeSourcePulsed = true;
                kickAndShow(m_options, m_library, m_board, m_stateField);
            }
        } else {
            ReceivedText text;
            drain(text);
            if (text.kicked)
                kickAndShow(m_options, m_library, m_board, m_stateField);
        }
    } catch (...) {
        reportCurrentFailure(m_board, m_stateField, StatusText::receiveFailed());
    }
    --m_drains;
}

void Receiver::drain(ReceivedText &text)
{
    for (;;) {
        m_pump.processEvents();
        if (!moreToCome(text))
            return;
        const qint64 room = m_onward ? m_onward->room() : m_readSize;
        if (room <= 0) {
            m_heldUp = true;
            m_onward->waitForRoom();
            return;
        }
        const QByteArray bytes = m_source.read(std::min(room, m_readSize));
        if (bytes.isEmpty())
            throw std::runtime_error("a waiting byte could not be read");
        if (m_onward)
            m_onward->send(bytes);
        m_rule->take(text, bytes);
    }
}

bool Receiver::moreToCome(const ReceivedText &text)
{
    if (m_source.available() > 0)
        return true;
    // A text that goes on past this drain waits for nothing.
    if (m_wholeSource || !m_rule->awaitsRest(text))
        return false;
    m_pump.waitUntil([this] { return m_source.available() > 0; }, commandOpeningWaitMs);
    return m_source.available() > 0;
}

void Receiver::resume()
{
    // A drain that is still running takes what the room lets through by itself.
    if (m_heldUp && m_drains == 0)
        DrainInput();
}

void Receiver::restart()
{
    m_heldUp = false;
    m_rule->restart();
}

void Receiver::stop()
{
    disconnect(&m_source, &ByteSource::received, this, &Receiver::DrainInput);
    m_heldUp = false;
}

void Receiver::sourceLost(const QString &reason)
{
    // A drain in progress finds the source closed at its next read and reports it there.
    if (m_drains > 0)
        return;
    qCWarning(lcTralvo, "%s: %s", roleName(m_stateField), qPrintable(reason));
    m_board.setText(m_stateField, StatusText::receiveFailed());
}

#include "receiver.h"

#include "bytesource.h"
#include "drawer.h"
#include "drawercommand.h"
#include "logging.h"
#include "onward.h"
#include "statustext.h"

#include <QCoreApplication>

#include <algorithm>
#include <stdexcept>
#include <utility>

EventPump EventPump::applicationLoop()
{
    return {[] { QCoreApplication::processEvents(); }};
}

Receiver::Receiver(ByteSource &source, SourceKind kind, Field stateField, StatusBoard &board,
                   Drawer &drawer, MatchMode mode, Onward *onward, StatusRequests statusRequests,
                   EventPump pump, QObject *parent)
    : QObject(parent), m_source(source), m_kind(kind), m_stateField(stateField), m_board(board),
      m_drawer(drawer), m_policy(receivePolicy(mode)), m_rule(makeKickRule(mode)), m_onward(onward),
      m_findsStatusRequests(statusRequests == StatusRequests::Found), m_pump(std::move(pump)),
      m_readSize(kind == SourceKind::Line && !onward &&
                         m_policy.pace == ReceivePolicy::Pace::BytesWithoutOnward
                     ? 1
                     : chunkSize)
{
    if (m_findsStatusRequests && m_policy.escPos == ReceivePolicy::EscPos::NotFollowed)
        m_statusScanner.emplace(KickScanner::CommandSet::EscPos);
    if (kind == SourceKind::Job && m_policy.jobText == ReceivePolicy::JobText::WholeJob)
        m_jobText.emplace();
    m_openTextWait.setSingleShot(true);
    m_openTextWait.setTimerType(Qt::PreciseTimer);
    m_openTextWait.setInterval(commandOpeningWaitMs);
    // Bytes already waiting when the time is up came in time: they still continue the text.
    connect(&m_openTextWait, &QTimer::timeout, this, [this] {
        m_openTextDue = true;
        DrainInput();
        m_openTextDue = false;
    });
    connect(&m_source, &ByteSource::received, this, &Receiver::DrainInput);
    connect(&m_source, &ByteSource::lost, this, &Receiver::sourceLost);
    if (m_onward)
        connect(m_onward, &Onward::roomAvailable, this, &Receiver::resume);
}

Receiver::~Receiver() = default;

void Receiver::DrainInput()
{
    m_waitingForRoom = false;
    ++m_drains;
    try {
        const Stop ended = m_jobText ? drainJob() : drainText();
        if (ended == Stop::NoRoom) {
            m_waitingForRoom = true;
            m_onward->waitForRoom();
        } else {
            endJobWhenSent();
        }
    } catch (...) {
        reportCurrentFailure(m_board, m_stateField, StatusText::receiveFailed());
    }
    --m_drains;
}

Receiver::Stop Receiver::drainText()
{
    ReceivedText text = m_openText.value_or(ReceivedText{});
    m_openText.reset();
    const Stop ended = drain(text);
    if (ended == Stop::Drained && !m_openTextDue &&
        m_policy.loneEsc == ReceivePolicy::LoneEsc::Waits && isDrawerCommandOpening(text.opening)) {
        // A receive event that brought nothing does not put the decision off.
        m_openText = std::move(text);
        if (!m_openTextWait.isActive())
            m_openTextWait.start();
        return ended;
    }
    m_openTextWait.stop();
    if (text.kicked)
        pulse();
    return ended;
}

void Receiver::pulse()
{
    bool succeeded = false;
    try {
        succeeded = m_drawer.kickAndShow(m_stateField);
    } catch (...) {
        Q_EMIT pulsed(false);
        throw;
    }
    Q_EMIT pulsed(succeeded);
}

Receiver::Stop Receiver::drainJob()
{
    const Stop ended = drain(*m_jobText);
    if (m_jobText->kicked && !m_jobPulsed) {
        m_jobPulsed = true;
        pulse();
    }
    return ended;
}

Receiver::Stop Receiver::drain(ReceivedText &text)
{
    for (;;) {
        if (m_kind == SourceKind::Line)
            m_pump.processEvents();
        if (m_unsent.isEmpty()) {
            if (m_source.available() <= 0)
                return Stop::Drained;
            const qint64 room = m_onward ? m_onward->room() : m_readSize;
            if (room <= 0)
                return Stop::NoRoom;
            m_unsent = m_source.read(std::min(room, m_readSize));
            if (m_unsent.isEmpty())
                throw std::runtime_error("a waiting byte could not be read");
        }
        if (!passOn(text))
            return Stop::NoRoom;
    }
}

// Sends what was read onward, as far as it takes it; the rule sees what it took. False when some
// is left for later.
bool Receiver::passOn(ReceivedText &text)
{
    const qint64 size = m_unsent.size();
    const qint64 taken = m_onward ? std::clamp<qint64>(m_onward->send(m_unsent), 0, size) : size;
    if (taken == size) {
        take(text, std::exchange(m_unsent, {}));
        return true;
    }
    if (taken > 0) {
        take(text, m_unsent.left(static_cast<int>(taken)));
        m_unsent.remove(0, static_cast<int>(taken));
    }
    return false;
}

void Receiver::take(ReceivedText &text, const QByteArray &bytes)
{
    QByteArray requests;
    const bool ruleFinds = m_findsStatusRequests && !m_statusScanner;
    m_rule->take(text, bytes, ruleFinds ? &requests : nullptr);
    if (m_statusScanner)
        m_statusScanner->feed(bytes.constData(), bytes.size(), nullptr, &requests);
    if (!requests.isEmpty())
        Q_EMIT statusRequested(requests);
}

void Receiver::finishJob()
{
    m_jobFinished = true;
    endJobWhenSent();
}

void Receiver::endJobWhenSent()
{
    if (!m_jobFinished || !m_unsent.isEmpty())
        return;
    m_jobFinished = false;
    if (m_onward)
        m_onward->endJob();
}

void Receiver::resume()
{
    // Only a drain that has returned waits; one that is running takes the room by itself.
    if (m_waitingForRoom)
        DrainInput();
}

void Receiver::restart()
{
    m_openText.reset();
    m_openTextWait.stop();
    m_rule->restart();
    if (m_statusScanner)
        m_statusScanner->reset();
}

void Receiver::stop()
{
    disconnect(&m_source, &ByteSource::received, this, &Receiver::DrainInput);
    m_openText.reset();
    m_openTextWait.stop();
    m_waitingForRoom = false;
}

void Receiver::sourceLost(const QString &reason)
{
    m_openText.reset();
    m_openTextWait.stop();
    // A drain in progress finds the source closed at its next read and reports it there.
    if (m_drains > 0)
        return;
    qCWarning(lcTralvo, "%s: %s", roleName(m_stateField), qPrintable(reason));
    m_board.setText(m_stateField, StatusText::receiveFailed());
}

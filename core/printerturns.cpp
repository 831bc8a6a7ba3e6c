#include "printerturns.h"

#include <algorithm>

PrinterTurns::PrinterTurns(Onward &printer, QObject *parent) : QObject(parent), m_printer(printer)
{
    connect(&m_printer, &Onward::replied, this, [this](const QByteArray &bytes) {
        if (const PrinterGate *to = m_holder ? m_holder : m_lastHolder)
            Q_EMIT repliedTo(to, bytes);
    });
    connect(&m_printer, &Onward::roomAvailable, this, [this] {
        if (m_holder)
            Q_EMIT roomFor(m_holder);
    });
    connect(&m_printer, &Onward::jobWritten, this, &PrinterTurns::printerWroteJob);
}

bool PrinterTurns::isOpenTo(const PrinterGate &gate) const
{
    return m_holder == &gate || (!m_holder && m_waiting.empty());
}

bool PrinterTurns::ask(PrinterGate &gate)
{
    if (!m_holder && m_waiting.empty())
        m_holder = m_lastHolder = &gate;
    if (m_holder == &gate)
        return true;
    if (std::find(m_waiting.begin(), m_waiting.end(), &gate) == m_waiting.end())
        m_waiting.push_back(&gate);
    return false;
}

void PrinterTurns::giveUp(PrinterGate &gate)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), &gate), m_waiting.end());
    if (m_holder == &gate) {
        giveUpTurn(&gate);
        return;
    }
    // Nothing of it has gone to the printer since its last job end: this job is written with
    // that one, or now if that one is.
    const auto last = std::find_if(m_jobEnds.rbegin(), m_jobEnds.rend(),
                                   [&gate](const JobEnd &end) { return end.gate == &gate; });
    if (last != m_jobEnds.rend())
        ++last->count;
    else
        Q_EMIT jobWrittenFor(&gate);
}

void PrinterTurns::forget(const PrinterGate &gate)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), &gate), m_waiting.end());
    for (JobEnd &end : m_jobEnds) {
        if (end.gate == &gate)
            end.gate = nullptr;
    }
    if (m_lastHolder == &gate)
        m_lastHolder = nullptr;
    if (m_holder == &gate)
        giveUpTurn(nullptr);
}

void PrinterTurns::giveUpTurn(const PrinterGate *endingFor)
{
    m_holder = nullptr;
    // Placed before the printer hears of it, which may say at once that the job is written.
    m_jobEnds.push_back({endingFor, 1});
    m_printer.endJob();
    if (m_waiting.empty())
        return;
    m_holder = m_lastHolder = m_waiting.front();
    m_waiting.pop_front();
    Q_EMIT turnGiven(m_holder);
}

void PrinterTurns::printerWroteJob()
{
    if (m_jobEnds.empty())
        return;
    const JobEnd end = m_jobEnds.front();
    m_jobEnds.pop_front();
    for (int i = 0; end.gate && i < end.count; ++i)
        Q_EMIT jobWrittenFor(end.gate);
}

PrinterGate::PrinterGate(PrinterTurns &turns, int pauseMs, QObject *parent)
    : Onward(parent), m_turns(turns)
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(pauseMs);
    connect(&m_pause, &QTimer::timeout, this, &PrinterGate::pauseEnded);
    connect(&m_turns, &PrinterTurns::turnGiven, this, [this](const PrinterGate *gate) {
        if (gate != this)
            return;
        // A source that asked for the printer and then sends nothing has paused as well.
        m_heldBack = false;
        startPause();
        Q_EMIT roomAvailable();
    });
    connect(&m_turns, &PrinterTurns::roomFor, this, [this](const PrinterGate *gate) {
        if (gate != this)
            return;
        m_heldBack = false;
        Q_EMIT roomAvailable();
    });
    connect(&m_turns, &PrinterTurns::repliedTo, this,
            [this](const PrinterGate *gate, const QByteArray &bytes) {
                if (gate == this)
                    Q_EMIT replied(bytes);
            });
    connect(&m_turns, &PrinterTurns::jobWrittenFor, this, [this](const PrinterGate *gate) {
        if (gate == this)
            Q_EMIT jobWritten();
    });
}

PrinterGate::~PrinterGate()
{
    m_pause.stop();
    m_turns.forget(*this);
}

qint64 PrinterGate::room() const
{
    return m_turns.isOpenTo(*this) ? m_turns.printer().room() : 0;
}

qint64 PrinterGate::send(const QByteArray &bytes)
{
    if (!m_turns.ask(*this))
        return 0;
    startPause();
    const qint64 taken = m_turns.printer().send(bytes);
    m_heldBack = taken < bytes.size();
    return taken;
}

void PrinterGate::waitForRoom()
{
    if (!m_turns.ask(*this))
        return; // turnGiven() brings roomAvailable()
    // It holds the turn and the printer is full: it keeps the turn until there is room.
    m_heldBack = true;
    startPause();
    m_turns.printer().waitForRoom();
}

void PrinterGate::endJob()
{
    m_pause.stop();
    m_heldBack = false;
    m_turns.giveUp(*this);
}

void PrinterGate::startPause()
{
    if (m_pause.interval() > 0)
        m_pause.start();
}

void PrinterGate::pauseEnded()
{
    if (m_heldBack)
        m_pause.start();
    else
        endJob();
}

#include "printerturns.h"

#include <algorithm>

PrinterTurns::PrinterTurns(Onward &printer, QObject *parent) : QObject(parent), m_printer(printer)
{
    connect(&m_printer, &Onward::replied, this, [this](const QByteArray &bytes) {
        if (PrinterGate *to = m_holder ? m_holder : m_lastHolder)
            Q_EMIT to->replied(bytes);
    });
    connect(&m_printer, &Onward::roomAvailable, this, [this] {
        if (m_holder)
            Q_EMIT m_holder->roomAvailable();
    });
}

bool PrinterTurns::askFor(PrinterGate *gate)
{
    if (!m_holder)
        handTo(gate);
    if (m_holder == gate)
        return true;
    if (std::find(m_waiting.begin(), m_waiting.end(), gate) == m_waiting.end())
        m_waiting.push_back(gate);
    return false;
}

void PrinterTurns::giveUp(PrinterGate *gate, const std::function<void()> &whenWritten)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), gate), m_waiting.end());
    if (m_holder != gate) {
        if (whenWritten)
            whenWritten();
        return;
    }
    m_holder = nullptr;
    m_printer.endJob(whenWritten);
    if (m_waiting.empty())
        return;
    handTo(m_waiting.front());
    m_waiting.pop_front();
    Q_EMIT m_holder->roomAvailable();
}

PrinterGate::PrinterGate(PrinterTurns &turns, int pauseMs, QObject *parent)
    : Onward(parent), m_turns(turns)
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(pauseMs);
    // A source held back by a full printer has not paused: its turn goes on.
    connect(&m_pause, &QTimer::timeout, this, [this] {
        if (m_heldBack)
            m_pause.start();
        else
            release();
    });
}

void PrinterTurns::handTo(PrinterGate *gate)
{
    m_holder = m_lastHolder = gate;
    // A source that asked for the printer and then sends nothing has paused as well.
    if (gate->m_pause.interval() > 0)
        gate->m_pause.start();
}

void PrinterTurns::forget(PrinterGate *gate)
{
    giveUp(gate, {});
    if (m_lastHolder == gate)
        m_lastHolder = nullptr;
}

PrinterGate::~PrinterGate()
{
    m_pause.stop();
    m_turns.forget(this);
}

qint64 PrinterGate::room() const
{
    // Asking for room is asking for the turn: the queue, not this gate, changes.
    const qint64 room =
        m_turns.askFor(const_cast<PrinterGate *>(this)) ? m_turns.m_printer.room() : 0;
    m_heldBack = room <= 0;
    return room;
}

qint64 PrinterGate::send(const QByteArray &bytes)
{
    if (!m_turns.askFor(this))
        return 0;
    if (m_pause.interval() > 0)
        m_pause.start();
    const qint64 taken = m_turns.m_printer.send(bytes);
    m_heldBack = taken < bytes.size();
    return taken;
}

void PrinterGate::release(const std::function<void()> &whenWritten)
{
    m_pause.stop();
    m_turns.giveUp(this, whenWritten);
}

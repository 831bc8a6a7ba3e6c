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
    connect(&m_printer, &Onward::jobWritten, this, [this] {
        if (m_jobsEnded.empty())
            return;
        const QPointer<PrinterGate> gate = m_jobsEnded.front();
        m_jobsEnded.pop_front();
        if (gate)
            Q_EMIT gate->jobWritten();
    });
}

bool PrinterTurns::mayHave(const PrinterGate *gate) const
{
    return m_holder == gate || (!m_holder && m_waiting.empty());
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

void PrinterTurns::giveUp(PrinterGate *gate)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), gate), m_waiting.end());
    if (m_holder != gate) {
        Q_EMIT gate->jobWritten();
        return;
    }
    m_holder = nullptr;
    m_jobsEnded.emplace_back(gate);
    m_printer.endJob();
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
    // Woken, the source sends what it has, and is held back again only if the printer is full.
    connect(this, &Onward::roomAvailable, this, [this] { m_heldBack = false; });
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
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), gate), m_waiting.end());
    if (m_holder == gate)
        giveUp(gate);
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
    return m_turns.mayHave(this) ? m_turns.m_printer.room() : 0;
}

void PrinterGate::waitForRoom()
{
    m_heldBack = true;
    // With the turn and room already, nothing else would wake the sender.
    if (m_turns.askFor(this) && m_turns.m_printer.room() > 0)
        QTimer::singleShot(0, this, [this] { Q_EMIT roomAvailable(); });
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

void PrinterGate::release()
{
    m_pause.stop();
    m_turns.giveUp(this);
}

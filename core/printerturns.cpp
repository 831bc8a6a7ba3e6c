#include "printerturns.h"

#include <algorithm>

PrinterTurns::PrinterTurns(Onward &printer, QObject *parent) : QObject(parent), m_printer(printer)
{
    connect(&m_printer, &Onward::replied, this, [this](const QByteArray &bytes) {
        if (m_holder)
            Q_EMIT m_holder->replied(bytes);
    });
    connect(&m_printer, &Onward::roomAvailable, this, [this] {
        if (m_holder)
            Q_EMIT m_holder->roomAvailable();
    });
}

bool PrinterTurns::askFor(PrinterGate *gate)
{
    if (!m_holder)
        m_holder = gate;
    if (m_holder == gate)
        return true;
    if (std::find(m_waiting.begin(), m_waiting.end(), gate) == m_waiting.end())
        m_waiting.push_back(gate);
    return false;
}

void PrinterTurns::giveUp(PrinterGate *gate)
{
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), gate), m_waiting.end());
    if (m_holder != gate)
        return;
    m_holder = nullptr;
    if (m_waiting.empty())
        return;
    m_holder = m_waiting.front();
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
        if (m_turns.m_printer.room() <= 0)
            m_pause.start();
        else
            release();
    });
}

PrinterGate::~PrinterGate()
{
    release();
}

qint64 PrinterGate::room() const
{
    // Asking for room is asking for the turn: the queue, not this gate, changes.
    return m_turns.askFor(const_cast<PrinterGate *>(this)) ? m_turns.m_printer.room() : 0;
}

qint64 PrinterGate::send(const QByteArray &bytes)
{
    if (!m_turns.askFor(this))
        return 0;
    if (m_pause.interval() > 0)
        m_pause.start();
    return m_turns.m_printer.send(bytes);
}

void PrinterGate::release()
{
    m_pause.stop();
    m_turns.giveUp(this);
}

#pragma once

#include "onward.h"

#include <QPointer>
#include <QTimer>

#include <deque>

class PrinterGate;

// One printer shared by several sources of POS bytes (the Device port, network jobs), so that
// jobs never interleave at it: a source holds the printer from its first byte to the end of its
// job, the others wait their turn in the order they asked, and the printer's replies go to the
// holder, or, between turns, to the last holder (whose job may still be going out). Each source
// reaches the printer through a gate of its own.
class PrinterTurns : public QObject
{
    Q_OBJECT
public:
    explicit PrinterTurns(Onward &printer, QObject *parent = nullptr);

    const PrinterGate *holder() const { return m_holder; }

private:
    friend class PrinterGate;
    bool askFor(PrinterGate *gate);
    // Whether the gate may send now: it holds the turn, or the turn is free and nobody waits.
    bool mayHave(const PrinterGate *gate) const;
    void giveUp(PrinterGate *gate);
    void handTo(PrinterGate *gate);
    void forget(PrinterGate *gate);

    Onward &m_printer;
    PrinterGate *m_holder = nullptr;
    PrinterGate *m_lastHolder = nullptr;
    std::deque<PrinterGate *> m_waiting;
    // Whose jobs the printer is writing, in the order they ended.
    std::deque<QPointer<PrinterGate>> m_jobsEnded;
};

// A source's way to the shared printer. Its room is the printer's while it holds the turn (or the
// turn is free) and none while another source does; sending, or waiting for room, joins the
// queue. The turn ends, and with it a job at the printer, with release(), or, for a source whose
// jobs have no end of their own (the serial line), once it has sent nothing for pauseMs.
class PrinterGate : public Onward
{
    Q_OBJECT
public:
    explicit PrinterGate(PrinterTurns &turns, int pauseMs = 0, QObject *parent = nullptr);
    ~PrinterGate() override;

    qint64 room() const override;
    qint64 send(const QByteArray &bytes) override;
    void waitForRoom() override;
    // The job has ended: the next source may have the printer. jobWritten() follows once the
    // printer has written the job's last byte.
    void release();
    void endJob() override { release(); }

private:
    friend class PrinterTurns;

    PrinterTurns &m_turns;
    QTimer m_pause;
    // The printer took less than the source had for it: the source waits for room, not idle.
    bool m_heldBack = false;
};

#pragma once

#include "onward.h"

#include <QTimer>

#include <deque>

class PrinterGate;

// One printer shared by several sources of POS bytes (the Device port, network jobs), so that
// jobs never interleave at it: a source holds the printer from its first byte to the end of its
// job, the others wait their turn in the order they asked, and the printer's replies go to the
// holder, or, between turns, to the last holder (whose job may still be going out). Each source
// reaches the printer through a gate of its own, which hears of its turn, of room and of replies
// through the signals below, each naming the gate it is for.
class PrinterTurns : public QObject
{
    Q_OBJECT
public:
    explicit PrinterTurns(Onward &printer, QObject *parent = nullptr);

    Onward &printer() const { return m_printer; }
    const PrinterGate *holder() const { return m_holder; }
    // Whether the gate may send now: it holds the turn, or the turn is free and nobody waits.
    bool isOpenTo(const PrinterGate &gate) const;

    // The gate holds the turn after this (true: it had it, or it was free), or waits in line
    // for it (false), and turnGiven() comes when its turn does.
    bool ask(PrinterGate &gate);
    // The gate's job ends: if it holds the turn, its job at the printer ends and the next in
    // line has the turn; jobWrittenFor() follows once the job is written, after any earlier one
    // of the gate's.
    void giveUp(PrinterGate &gate);
    // The gate goes away: it gives up, and nothing more is said of it.
    void forget(const PrinterGate &gate);

Q_SIGNALS:
    // From the wait, the gate holds the turn now.
    void turnGiven(const PrinterGate *gate);
    // The printer has room again for the holder.
    void roomFor(const PrinterGate *holder);
    void repliedTo(const PrinterGate *gate, const QByteArray &bytes);
    void jobWrittenFor(const PrinterGate *gate);

private:
    // A job end at the printer, and how many of its gate's job ends it stands for.
    struct JobEnd
    {
        const PrinterGate *gate; // null once forgotten
        int count;
    };
    void giveUpTurn(const PrinterGate *endingFor);
    void printerWroteJob();

    Onward &m_printer;
    const PrinterGate *m_holder = nullptr;
    const PrinterGate *m_lastHolder = nullptr;
    std::deque<const PrinterGate *> m_waiting;
    std::deque<JobEnd> m_jobEnds; // in the printer's order
};

// A source's way to the shared printer. Its room is the printer's while it holds the turn (or
// could have it at once) and none while another source does; send() takes the turn, and
// waitForRoom() joins the wait for it. The turn ends, and with it a job at the printer, with
// endJob(), or, for a source whose jobs have no end of their own (the serial line), once it has
// sent nothing for pauseMs; a source held back by a full printer keeps its turn meanwhile.
class PrinterGate : public Onward
{
    Q_OBJECT
public:
    explicit PrinterGate(PrinterTurns &turns, int pauseMs = 0, QObject *parent = nullptr);
    ~PrinterGate() override;

    qint64 room() const override;
    qint64 send(const QByteArray &bytes) override;
    void waitForRoom() override;
    void endJob() override;

private:
    void startPause();
    void pauseEnded();

    PrinterTurns &m_turns;
    QTimer m_pause;
    // It waits for the printer's room, not idle: its pause does not end its job.
    bool m_heldBack = false;
};

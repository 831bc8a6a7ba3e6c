#pragma once

#include "kickscanner.h"
#include "onward.h"

// Where no printer can answer (none is given, or it is a print queue): takes every byte as a
// printer would, or passes it on to the queue, and answers each real-time status request, DLE EOT
// n with n 1 to 4, as a printer that is online, has paper and no error. The stream is followed as
// the kick scanner follows it, so a status request's bytes inside an image are no request. See
// docs/printer-line.md for the bits.
class StatusResponder : public Onward
{
    Q_OBJECT
public:
    // next: where the bytes go on to (a print queue), null for nowhere.
    explicit StatusResponder(Onward *next = nullptr, QObject *parent = nullptr);

    // The answer to every DLE EOT n: bit 1 and bit 4 set, every state bit clear. Bit 2 of the
    // answer to n = 1 tells the drawer's pin 3, which Tralvo does not know, so low.
    static constexpr char onlineWithPaper = '\x12';

    qint64 room() const override { return m_next ? m_next->room() : qint64{1} << 30; }
    qint64 send(const QByteArray &bytes) override;
    void waitForRoom() override;
    void endJob() override;

private:
    Onward *m_next;
    KickScanner m_scanner{KickScanner::CommandSet::EscPos};
};

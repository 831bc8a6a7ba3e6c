#pragma once

#include "matchmode.h"
#include "receiver.h"
#include "statusboard.h"

#include <QObject>

#include <memory>

class ByteSource;
class Drawer;
class Onward;
class PrinterGate;
class PrinterTurns;

// What every source's path is made of: the board its outcomes show on, the drawer, the mode,
// and the printer's turns (none without a printer).
struct PathParts
{
    StatusBoard &board;
    Drawer &drawer;
    MatchMode match;
    PrinterTurns *turns;
    bool printerAnswersStatus;
};

// The one path a source's bytes take: a receiver of its own, and onward its gate at the printer's
// turns; the printer's replies, or Tralvo's own answers to status requests where no printer
// gives them, come back through replied() for the source to send. Made alike for the Device
// port, every network job and every web request, so a new kind of source is one more maker of it.
class SourcePath : public QObject
{
    Q_OBJECT
public:
    enum class Kind {
        Line,    // the Device port: no end of its own; its job at the printer ends after a pause
        Job,     // a network job: its end is the source's own
        Request, // a web request: a job whose client hears no printer's replies
    };

    SourcePath(ByteSource &source, Kind kind, Field stateField, const PathParts &parts,
               QObject *parent = nullptr);
    ~SourcePath() override;

    Receiver &receiver() { return *m_receiver; }
    // The source's job is over: jobWritten() follows once the printer has been handed its last
    // byte, at once where there is no printer.
    void endJob();

    // The answer to every DLE EOT n where no printer answers: bit 1 and bit 4 set, every state
    // bit clear, as a printer that is online, has paper and no error. Bit 2 of the answer to
    // n = 1 tells the drawer's pin 3, which Tralvo does not know, so low.
    static constexpr char onlineWithPaper = '\x12';

Q_SIGNALS:
    void replied(const QByteArray &bytes);
    void jobWritten();

private:
    std::unique_ptr<PrinterGate> m_gate;
    std::unique_ptr<Receiver> m_receiver;
};

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// How kicks are recognised in what the POS sends. Every mode is one row of the table in
// matchmode.cpp: its name, what Request sends in it, its rule and how the receiver reads for it.
enum class MatchMode {
    Start,  // a received text whose first two bytes are ESC p (the default)
    EscPos, // ESC/POS kicks anywhere in the stream
    Star,   // Star Line Mode drawer commands anywhere in the stream
    Any,    // every received text, whatever it holds
};

// The option names, "start", "escpos", "star", "any" (any letter case); nullopt for others.
std::optional<MatchMode> matchModeFromName(const QString &name);
QString matchModeName(MatchMode mode);
// Every mode's name, in the table's order.
QStringList matchModeNames();
// Every mode's name and what it pulses for, "start (a received text that ...), escpos (...)".
QString matchModeSummaries();

// The bytes the Request button sends in a mode: ESC p alone by default; a whole ESC/POS kick,
// ESC p 0 25 250, in escpos, so a printer downstream is not left waiting for parameters; BEL in
// star.
QByteArray requestBytes(MatchMode mode);

// How the receiver reads in a mode, and what one received text is there.
struct ReceivePolicy
{
    enum class Pace {
        Chunks,            // reads in chunks
        BytesWithoutOnward // a line with nothing onward (no printer) is read a byte at a time,
                           // the window running between bytes, as the classic handler does
    };
    enum class JobText {
        EachDrain, // every drain of a job reads one text, as on a line
        WholeJob   // a job (a network connection) is one text, however many drains read it
    };
    enum class LoneEsc {
        Decided, // a text that is so far ESC alone is decided when its drain ends
        Waits    // it is kept open for its next byte a moment (a command cut by the transport)
    };
    enum class EscPos {
        NotFollowed, // the rule does not follow the stream as ESC/POS
        Followed     // it does, and so finds the stream's status requests too
    };
    Pace pace;
    JobText jobText;
    LoneEsc loneEsc;
    EscPos escPos;
};

ReceivePolicy receivePolicy(MatchMode mode);

// What one received text has shown so far.
struct ReceivedText
{
    // Its first bytes, up to the longest drawer command: no more of it can decide the start rule,
    // so a flood of any length costs no memory.
    QByteArray opening;
    bool kicked = false;
};

// A mode's recognition rule. The receiver hands it each piece of a received text in order; the
// text gives one pulse when the rule has marked it kicked by its end.
class KickRule
{
public:
    virtual ~KickRule() = default;
    // Reads the next bytes of the text (never empty), marking it kicked when they complete a kick.
    // A rule that follows ESC/POS appends the n of each status request DLE EOT n (1 to 4) they
    // complete to statusRequests, when given; the others leave it alone.
    virtual void take(ReceivedText &text, const QByteArray &bytes, QByteArray *statusRequests) = 0;
    // The source was opened afresh: a command in progress is forgotten.
    virtual void restart() {}

protected:
    KickRule() = default;
    KickRule(const KickRule &) = default;
    KickRule &operator=(const KickRule &) = default;
};

std::unique_ptr<KickRule> makeKickRule(MatchMode mode);

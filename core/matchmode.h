#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// How kicks are recognised in what the POS sends. Every mode is one row of the table in
// matchmode.cpp: its name, what Request sends in it, and its rule.
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

// The bytes the Request button sends in a mode: ESC p alone by default; a whole ESC/POS kick,
// ESC p 0 25 250, in escpos, so a printer downstream is not left waiting for parameters; BEL in
// star.
QByteArray requestBytes(MatchMode mode);

// What one received text (all that one drain reads) has shown so far.
struct ReceivedText
{
    // Its first bytes, up to the longest drawer command: no more of it can decide the start rule,
    // so a flood of any length costs no memory.
    QByteArray opening;
    bool empty = true;
    bool kicked = false;
};

// A mode's recognition rule. The receiver hands it each piece of a received text in order; the
// text gives one pulse when the rule has marked it kicked by its end.
class KickRule
{
public:
    virtual ~KickRule() = default;
    // Reads the next bytes of the text (never empty), marking it kicked when they complete a kick.
    virtual void take(ReceivedText &text, const QByteArray &bytes) = 0;
    // True when the text so far is only the opening of a kick, and its next byte decides.
    virtual bool awaitsRest(const ReceivedText &text) const;
    // The source was opened afresh: a command in progress is forgotten.
    virtual void restart() {}

protected:
    KickRule() = default;
    KickRule(const KickRule &) = default;
    KickRule &operator=(const KickRule &) = default;
};

std::unique_ptr<KickRule> makeKickRule(MatchMode mode);

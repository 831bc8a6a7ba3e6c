#include "matchmode.h"

#include "drawercommand.h"
#include "kickscanner.h"

#include <algorithm>
#include <functional>
#include <iterator>

namespace {

void keepOpening(ReceivedText &text, const QByteArray &bytes)
{
    const auto wanted = longestDrawerCommand() - static_cast<int>(text.opening.size());
    if (wanted > 0)
        text.opening += bytes.left(wanted);
}

// A text that begins with ESC p.
class StartRule : public KickRule
{
public:
    void take(ReceivedText &text, const QByteArray &bytes, QByteArray *) override
    {
        keepOpening(text, bytes);
        text.kicked = IsDrawerCommand(text.opening);
    }
};

// Kicks anywhere in the stream, followed across texts by the scanner.
class ScannerRule : public KickRule
{
public:
    explicit ScannerRule(KickScanner::CommandSet set) : m_scanner(set) {}
    void take(ReceivedText &text, const QByteArray &bytes, QByteArray *statusRequests) override
    {
        keepOpening(text, bytes);
        if (m_scanner.feed(bytes.constData(), bytes.size(), nullptr, statusRequests) > 0)
            text.kicked = true;
    }
    void restart() override { m_scanner.reset(); }

private:
    KickScanner m_scanner;
};

// Whatever a text holds: some POS software sends any byte, or a code of its own, to what it
// takes for a serial drawer.
class AnyRule : public KickRule
{
public:
    void take(ReceivedText &text, const QByteArray &bytes, QByteArray *) override
    {
        keepOpening(text, bytes);
        text.kicked = true;
    }
};

using Pace = ReceivePolicy::Pace;
using JobText = ReceivePolicy::JobText;
using LoneEsc = ReceivePolicy::LoneEsc;
using EscPos = ReceivePolicy::EscPos;

struct Mode
{
    MatchMode mode;
    const char *name;
    const char *summary; // for --help
    std::function<QByteArray()> request;
    std::function<std::unique_ptr<KickRule>()> rule;
    ReceivePolicy policy;
};

// In start, a text's opening decides: a job's opening is its one text, and ESC alone waits for
// its p. In any, a job pulses once however it is cut.
const Mode modes[] = {
    {MatchMode::Start,
     "start",
     "a received text that begins with ESC p; the default",
     drawerKickOpening,
     [] { return std::make_unique<StartRule>(); },
     {Pace::BytesWithoutOnward, JobText::WholeJob, LoneEsc::Waits, EscPos::NotFollowed}},
    {MatchMode::EscPos,
     "escpos",
     "an ESC/POS kick anywhere in the stream, print jobs included",
     [] { return drawerKickOpening() + QByteArrayLiteral("\x00\x19\xfa"); },
     [] { return std::make_unique<ScannerRule>(KickScanner::CommandSet::EscPos); },
     {Pace::Chunks, JobText::EachDrain, LoneEsc::Decided, EscPos::Followed}},
    {MatchMode::Star,
     "star",
     "Star Line Mode drawer commands",
     [] { return QByteArrayLiteral("\x07"); },
     [] { return std::make_unique<ScannerRule>(KickScanner::CommandSet::Star); },
     {Pace::Chunks, JobText::EachDrain, LoneEsc::Decided, EscPos::NotFollowed}},
    {MatchMode::Any,
     "any",
     "every received text, whatever it holds",
     drawerKickOpening,
     [] { return std::make_unique<AnyRule>(); },
     {Pace::Chunks, JobText::WholeJob, LoneEsc::Decided, EscPos::NotFollowed}},
};

const Mode &row(MatchMode mode)
{
    const auto *found = std::find_if(std::begin(modes), std::end(modes),
                                     [mode](const Mode &entry) { return entry.mode == mode; });
    return found == std::end(modes) ? modes[0] : *found;
}

} // namespace

ReceivePolicy receivePolicy(MatchMode mode)
{
    return row(mode).policy;
}

std::optional<MatchMode> matchModeFromName(const QString &name)
{
    const auto *found = std::find_if(std::begin(modes), std::end(modes), [&name](const Mode &m) {
        return name.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0;
    });
    if (found == std::end(modes))
        return std::nullopt;
    return found->mode;
}

QString matchModeName(MatchMode mode)
{
    return QLatin1String(row(mode).name);
}

QString matchModeSummaries()
{
    QStringList parts;
    for (const Mode &m : modes)
        parts << QStringLiteral("%1 (%2)").arg(QLatin1String(m.name), QLatin1String(m.summary));
    return parts.join(QLatin1String(", "));
}

QStringList matchModeNames()
{
    QStringList names;
    for (const Mode &m : modes)
        names << QLatin1String(m.name);
    return names;
}

QByteArray requestBytes(MatchMode mode)
{
    return row(mode).request();
}

std::unique_ptr<KickRule> makeKickRule(MatchMode mode)
{
    return row(mode).rule();
}

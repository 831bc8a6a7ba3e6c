#include "matchmode.h"

#include "drawercommand.h"
#include "kickscanner.h"

#include <algorithm>
#include <functional>
#include <iterator>

namespace {

void keepOpening(ReceivedText &text, const QByteArray &bytes)
{
    text.empty = false;
    const auto wanted = longestDrawerCommand() - static_cast<int>(text.opening.size());
    if (wanted > 0)
        text.opening += bytes.left(wanted);
}

// A text that begins with ESC p. A text that is so far only ESC waits a moment for its p.
class StartRule : public KickRule
{
public:
    void take(ReceivedText &text, const QByteArray &bytes) override
    {
        keepOpening(text, bytes);
        text.kicked = IsDrawerCommand(text.opening);
    }
    bool awaitsRest(const ReceivedText &text) const override
    {
        return isDrawerCommandOpening(text.opening);
    }
};

// Kicks anywhere in the stream, followed across texts by the scanner.
class ScannerRule : public KickRule
{
public:
    explicit ScannerRule(KickScanner::CommandSet set) : m_scanner(set) {}
    void take(ReceivedText &text, const QByteArray &bytes) override
    {
        keepOpening(text, bytes);
        if (m_scanner.feed(bytes) > 0)
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
    void take(ReceivedText &text, const QByteArray &bytes) override
    {
        keepOpening(text, bytes);
        text.kicked = true;
    }
};

struct Mode
{
    MatchMode mode;
    const char *name;
    std::function<QByteArray()> request;
    std::function<std::unique_ptr<KickRule>()> rule;
};

const Mode modes[] = {
    {MatchMode::Start, "start", drawerKickOpening, [] { return std::make_unique<StartRule>(); }},
    {MatchMode::EscPos, "escpos",
     [] { return drawerKickOpening() + QByteArrayLiteral("\x00\x19\xfa"); },
     [] { return std::make_unique<ScannerRule>(KickScanner::CommandSet::EscPos); }},
    {MatchMode::Star, "star", [] { return QByteArrayLiteral("\x07"); },
     [] { return std::make_unique<ScannerRule>(KickScanner::CommandSet::Star); }},
    {MatchMode::Any, "any", drawerKickOpening, [] { return std::make_unique<AnyRule>(); }},
};

const Mode &row(MatchMode mode)
{
    const auto *found = std::find_if(std::begin(modes), std::end(modes),
                                     [mode](const Mode &entry) { return entry.mode == mode; });
    return found == std::end(modes) ? modes[0] : *found;
}

} // namespace

bool KickRule::awaitsRest(const ReceivedText &) const
{
    return false;
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

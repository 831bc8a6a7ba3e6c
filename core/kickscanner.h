#pragma once

// Finds drawer kicks in the byte stream a POS sends to its receipt printer.
//
// The stream is followed command by command, as the printer itself reads it, so that bytes a
// command carries as data (images, logos, barcodes, 2D codes, user-defined characters, any
// command whose length its parameters give) are skipped and never taken for a kick.
//
// Getting back in step after bytes it does not know: a command opens with a prefix byte (ESC, GS,
// FS or DLE for ESC/POS; ESC for Star). When the byte after the prefix names no command the
// scanner knows, the scanner cannot know that command's length, so it assumes none:
//   - a printable function byte (0x20 and above) ends the command there: prefix and that byte are
//     taken as a two-byte command, and the next byte is read as a fresh start;
//   - a control function byte (below 0x20: ESC, GS, LF, BEL...) is not taken: the prefix alone is
//     dropped and that byte is read afresh, so a stray ESC right before a kick hides nothing.
// Unknown parameters of an unknown command are thus read as text. A known command whose
// parameters are out of range is read to its documented length and ignored, as the printer does.
// A length in a command's parameters is obeyed as given, however large.
//
// ESC/POS kicks: ESC p m t1 t2 with m in {0, 1, 48, 49} (any t1, t2), and the real-time pulse
// DLE DC4 1 m t with m in {0, 1} and t in 1..8. Out of range, the command is read and ignored.
// Star Line Mode kicks: BEL and FS (peripheral 1), EM and SUB (peripheral 2), each one byte.
// The drawer setting of Star's raster mode (ESC * r D n NUL) acts only at a page's end and is
// read as a plain command.
//
// Memory is a few counters; time is linear in the bytes fed; the kicks found, and where they
// end, do not depend on how the stream is cut into calls.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

enum class MatchMode {
    Start,  // a received text whose first two bytes are ESC p (decided per text, not here)
    EscPos, // ESC/POS kicks anywhere in the stream
    Star,   // Star Line Mode drawer commands anywhere in the stream
};

// The option names "start", "escpos", "star" (any letter case); nullopt for anything else.
std::optional<MatchMode> matchModeFromName(const QString &name);
QString matchModeName(MatchMode mode);

// The bytes the Request button sends in a mode: ESC p for Start (as always); a whole ESC/POS kick,
// ESC p 0 25 250, so a printer downstream is not left waiting for parameters; BEL for Star.
QByteArray testKick(MatchMode mode);

class KickScanner
{
public:
    // Start finds nothing here: that rule looks at each received text on its own.
    explicit KickScanner(MatchMode mode);

    MatchMode mode() const { return m_mode; }

    // Reads the next bytes of the stream and returns how many kicks they completed. When
    // kickEnds is given, the offset just past each such kick's last byte (relative to data) is
    // appended to it.
    qsizetype feed(const char *data, qsizetype size, std::vector<qsizetype> *kickEnds = nullptr);
    qsizetype feed(const QByteArray &chunk) { return feed(chunk.constData(), chunk.size()); }

    // Forgets any command in progress: the next byte is read as a fresh start.
    void reset();

    using Byte = std::uint8_t;
    static constexpr int maxParams = 12;

    // What the parameters read so far call for next (see kickscanner.cpp for the tables).
    struct Next
    {
        enum Kind : Byte { Done, Kick, More, Data, Until, Blocks, Prefix, RasterOn, RasterOff };
        using Rule = Next (*)(const Byte *params);
        Kind kind = Done;
        Byte count = 0;      // More: parameter bytes to add; Blocks: header bytes of each block
        Byte byte = 0;       // Until: terminator; Prefix: the prefix the next byte belongs to
        Rule rule = nullptr; // More: applied to all parameters; Blocks: to each block's header
        std::uint64_t length = 0; // Data: bytes to skip; Blocks: number of blocks
    };

private:
    enum class Stage : Byte { Text, Function, Params, Data, Until };
    enum class Step : Byte { Consumed, Kicked, Again };

    Step step(Byte byte);
    Step start(Byte prefix, Byte code);
    bool apply(const Next &next);
    bool endOfData();

    MatchMode m_mode;
    Stage m_stage = Stage::Text;
    bool m_raster = false; // Star raster mode, where 'b' and 'k' open raster data
    Byte m_prefix = 0;
    Byte m_terminator = 0;
    int m_have = 0; // parameter bytes read
    int m_need = 0; // parameter bytes wanted before m_rule runs
    int m_blockBase = 0;
    Byte m_blockHeader = 0;
    Next::Rule m_rule = nullptr;
    Next::Rule m_blockRule = nullptr;
    std::uint64_t m_remaining = 0; // data bytes still to skip
    std::uint64_t m_blocks = 0;    // blocks after the current one
    Byte m_params[maxParams] = {};
};

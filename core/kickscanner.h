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

#include <cstdint>
#include <vector>

// What a command's parameters call for next; the tables and rules are kickscanner.cpp's own.
struct ScanStep;

class KickScanner
{
public:
    enum class CommandSet { EscPos, Star };

    explicit KickScanner(CommandSet set);

    // Reads the next bytes of the stream and returns how many kicks they completed. When
    // kickEnds is given, the offset just past each such kick's last byte (relative to data) is
    // appended to it.
    // When statusRequests is given, the n of each status request DLE EOT n (1 to 4) completed is
    // appended to it.
    qsizetype feed(const char *data, qsizetype size, std::vector<qsizetype> *kickEnds = nullptr,
                   QByteArray *statusRequests = nullptr);
    qsizetype feed(const QByteArray &chunk) { return feed(chunk.constData(), chunk.size()); }

    // Forgets any command in progress: the next byte is read as a fresh start.
    void reset();

    using Byte = std::uint8_t;
    using Rule = ScanStep (*)(const Byte *params);
    static constexpr int maxParams = 12;

private:
    enum class Stage : Byte { Text, Function, Params, Data, Until };
    enum class Step : Byte { Consumed, Kicked, Again };

    Step step(Byte byte);
    Step begin(Byte params, Rule rule);
    bool apply(const ScanStep &next);
    bool endOfData();

    CommandSet m_set;
    Stage m_stage = Stage::Text;
    bool m_raster = false; // Star raster mode, where 'b' and 'k' open raster data
    Byte m_prefix = 0;
    Byte m_terminator = 0;
    int m_have = 0; // parameter bytes read
    int m_need = 0; // parameter bytes wanted before m_rule runs
    int m_blockBase = 0;
    Byte m_blockHeader = 0;
    Rule m_rule = nullptr;
    Rule m_blockRule = nullptr;
    std::uint64_t m_remaining = 0; // data bytes still to skip
    std::uint64_t m_blocks = 0;    // blocks after the current one
    Byte m_params[maxParams] = {};
    QByteArray *m_statusRequests = nullptr; // during feed() only
};

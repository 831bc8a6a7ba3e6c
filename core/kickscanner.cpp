#include "kickscanner.h"

#include <algorithm>
#include <cstring>

struct ScanStep
{
    using Byte = KickScanner::Byte;
    enum Kind : Byte { Done, Kick, More, Data, Until, Blocks, Prefix, RasterOn, RasterOff, Status };
    Kind kind = Done;
    Byte count = 0;                   // More: parameter bytes to add; Blocks: header bytes of each
    Byte byte = 0;                    // Until: terminator; Prefix: the prefix the next byte is of
    KickScanner::Rule rule = nullptr; // More: applied to all parameters; Blocks: to each header
    std::uint64_t length = 0;         // Data: bytes to skip; Blocks: number of blocks
};

namespace {

using Byte = KickScanner::Byte;
using Next = ScanStep;
using Rule = KickScanner::Rule;
using CommandSet = KickScanner::CommandSet;

constexpr Byte kNul = 0x00, kBel = 0x07, kFf = 0x0c, kDle = 0x10, kDc4 = 0x14, kEm = 0x19,
               kSub = 0x1a, kEsc = 0x1b, kFs = 0x1c, kGs = 0x1d, kRs = 0x1e;
// Second-level prefixes of Star Line Mode, and raster mode's bare commands; never stream bytes.
constexpr Byte kBare = 0x00, kEscGs = 0x80, kEscFs = 0x81, kEscStarR = 0x82;

// Rules: what a command's parameter bytes call for once read.
constexpr Next done()
{
    return {};
}
constexpr Next kick()
{
    return {Next::Kick};
}
constexpr Next more(Byte count, Rule rule = nullptr)
{
    return {Next::More, count, 0, rule};
}
constexpr Next data(std::uint64_t length)
{
    return {Next::Data, 0, 0, nullptr, length};
}
constexpr Next until(Byte terminator)
{
    return {Next::Until, 0, terminator};
}
constexpr Next blocks(std::uint64_t n, Byte header, Rule rule)
{
    return {Next::Blocks, header, 0, rule, n};
}
constexpr Next prefix(Byte id)
{
    return {Next::Prefix, 0, id};
}

constexpr std::uint64_t word(const Byte *p)
{
    return p[0] + 256u * p[1];
}
constexpr bool oneOf(Byte b, Byte x, Byte y)
{
    return b == x || b == y;
}

// --- ESC/POS ---------------------------------------------------------------------------------
Next drawerKick(const Byte *p) // ESC p m t1 t2
{
    return oneOf(p[0], 0, 1) || oneOf(p[0], '0', '1') ? kick() : done();
}
Next realTimePulse(const Byte *p) // DLE DC4 1 m t
{
    return oneOf(p[1], 0, 1) && p[2] >= 1 && p[2] <= 8 ? kick() : done();
}
Next realTime(const Byte *p) // DLE DC4 fn ...
{
    switch (p[0]) {
    case 1:
        return more(2, realTimePulse);
    case 2:
    case 3:
        return more(2);
    case 7:
        return more(1);
    case 8:
        return more(7);
    default:
        return done();
    }
}
Next status(const Byte *p) // DLE EOT n [a]
{
    if (p[0] >= 1 && p[0] <= 4)
        return {Next::Status, 0, p[0]};
    return oneOf(p[0], 7, 8) ? more(1) : done();
}
Next lengthAt1(const Byte *p)
{
    return data(word(p + 1));
} // x pL pH
Next longLengthAt1(const Byte *p) // GS 8 L p1 p2 p3 p4
{
    return data(word(p + 1) + (word(p + 3) << 16));
}
Next columnImage(const Byte *p) // ESC * m nL nH
{
    const std::uint64_t perColumn = oneOf(p[0], 0, 1) ? 1 : oneOf(p[0], 32, 33) ? 3 : 0;
    return perColumn != 0 ? data(word(p + 1) * perColumn) : done();
}
Next rasterSize(const Byte *p)
{
    return data(word(p + 2) * word(p + 4));
} // 0 m xL xH yL yH
Next rasterImage(const Byte *p)
{
    return p[0] == '0' ? more(5, rasterSize) : done();
}
Next downloadImage(const Byte *p)
{
    return data(std::uint64_t{p[0]} * p[1] * 8);
} // GS * x y
Next countAt1(const Byte *p)
{
    return data(p[1]);
}
Next barcode(const Byte *p) // GS k m: NUL-terminated, or a count byte first
{
    if (p[0] <= 6)
        return until(kNul);
    return p[0] >= 65 && p[0] <= 79 ? more(1, countAt1) : done();
}
Next cut(const Byte *p) // GS V m [n]
{
    const Byte m = p[0];
    return oneOf(m, 65, 66) || oneOf(m, 97, 98) || oneOf(m, 103, 104) ? more(1) : done();
}
Next userChar(const Byte *p)
{
    return data(std::uint64_t{p[0]} * p[3]);
} // y, then x
Next userChars(const Byte *p) // ESC & y c1 c2 [x d1...d(y*x)]...
{
    return p[2] >= p[1] ? blocks(p[2] - p[1] + 1u, 1, userChar) : done();
}
Next nvImage(const Byte *p)
{
    return data(word(p + 1) * word(p + 3) * 8);
} // xL xH yL yH
Next nvImages(const Byte *p)
{
    return blocks(p[0], 4, nvImage);
} // n [...]n
Next lengthAt6(const Byte *p)
{
    return data(word(p + 6));
}
Next nvMemory(const Byte *p) // FS g 1|2 m a1 a2 a3 a4 nL nH [d1...dk]
{
    return p[0] == 1 ? more(7, lengthAt6) : p[0] == 2 ? more(7) : done();
}
Next kanjiGlyph(const Byte *)
{
    return data(72);
} // 24 x 24 dots
Next untilNul(const Byte *)
{
    return until(kNul);
}

struct Command
{
    Byte prefix;
    Byte code;
    Byte params;
    Rule rule; // null: the command ends with its parameters
};

// Commands with no parameter are listed only where an unknown byte would be read otherwise.
constexpr Command escPos[] = {
    {kEsc, kFf, 0, nullptr},      {kEsc, ' ', 1, nullptr},     {kEsc, '!', 1, nullptr},
    {kEsc, '$', 2, nullptr},      {kEsc, '%', 1, nullptr},     {kEsc, '&', 3, userChars},
    {kEsc, '(', 3, lengthAt1},    {kEsc, '*', 3, columnImage}, {kEsc, '-', 1, nullptr},
    {kEsc, '3', 1, nullptr},      {kEsc, '=', 1, nullptr},     {kEsc, '?', 1, nullptr},
    {kEsc, 'B', 2, nullptr},      {kEsc, 'D', 0, untilNul},    {kEsc, 'E', 1, nullptr},
    {kEsc, 'G', 1, nullptr},      {kEsc, 'J', 1, nullptr},     {kEsc, 'K', 1, nullptr},
    {kEsc, 'M', 1, nullptr},      {kEsc, 'R', 1, nullptr},     {kEsc, 'T', 1, nullptr},
    {kEsc, 'U', 1, nullptr},      {kEsc, 'V', 1, nullptr},     {kEsc, 'W', 8, nullptr},
    {kEsc, '\\', 2, nullptr},     {kEsc, 'a', 1, nullptr},     {kEsc, 'c', 2, nullptr},
    {kEsc, 'd', 1, nullptr},      {kEsc, 'e', 1, nullptr},     {kEsc, 'f', 2, nullptr},
    {kEsc, 'p', 3, drawerKick},   {kEsc, 'r', 1, nullptr},     {kEsc, 't', 1, nullptr},
    {kEsc, 'u', 1, nullptr},      {kEsc, '{', 1, nullptr},

    {kGs, '!', 1, nullptr},       {kGs, '$', 2, nullptr},      {kGs, '(', 3, lengthAt1},
    {kGs, '*', 2, downloadImage}, {kGs, '/', 1, nullptr},      {kGs, '8', 5, longLengthAt1},
    {kGs, 'B', 1, nullptr},       {kGs, 'E', 1, nullptr},      {kGs, 'H', 1, nullptr},
    {kGs, 'I', 1, nullptr},       {kGs, 'L', 2, nullptr},      {kGs, 'P', 2, nullptr},
    {kGs, 'Q', 1, rasterImage},   {kGs, 'T', 1, nullptr},      {kGs, 'V', 1, cut},
    {kGs, 'W', 2, nullptr},       {kGs, '\\', 2, nullptr},     {kGs, '^', 3, nullptr},
    {kGs, 'a', 1, nullptr},       {kGs, 'b', 1, nullptr},      {kGs, 'f', 1, nullptr},
    {kGs, 'g', 4, nullptr},       {kGs, 'h', 1, nullptr},      {kGs, 'j', 1, nullptr},
    {kGs, 'k', 1, barcode},       {kGs, 'r', 1, nullptr},      {kGs, 'v', 1, rasterImage},
    {kGs, 'w', 1, nullptr},       {kGs, 'z', 3, nullptr},

    {kFs, '!', 1, nullptr},       {kFs, '(', 3, lengthAt1},    {kFs, '-', 1, nullptr},
    {kFs, '2', 2, kanjiGlyph},    {kFs, '?', 2, nullptr},      {kFs, 'C', 1, nullptr},
    {kFs, 'S', 2, nullptr},       {kFs, 'W', 1, nullptr},      {kFs, 'g', 1, nvMemory},
    {kFs, 'p', 2, nullptr},       {kFs, 'q', 1, nvImages},

    {kDle, 0x04, 1, status},      {kDle, 0x05, 1, nullptr},    {kDle, kDc4, 1, realTime},
};

// --- Star Line Mode --------------------------------------------------------------------------
Next starImage(const Byte *p)
{
    return data(word(p));
} // ESC K|L n1 n2, raster b|k
Next starFineImage(const Byte *p)
{
    return data(word(p) * 24);
} // ESC k n1 n2
Next starWireImage(const Byte *p)
{
    return data(word(p) * 3);
} // ESC X n1 n2
Next starUserChar(const Byte *p)
{
    return oneOf(p[1], 1, '1') ? data(48) : done();
} // c1 c2 n
Next starPageLength(const Byte *p)
{
    return p[0] == 0 ? more(1) : done();
} // ESC C [NUL] n
Next starBarcode(const Byte *)
{
    return until(kRs);
} // ESC b n1 n2 n3 n4 d1...dk RS
Next toEscGs(const Byte *)
{
    return prefix(kEscGs);
}
Next toEscFs(const Byte *)
{
    return prefix(kEscFs);
}
Next starRaster(const Byte *p)
{
    return p[0] == 'r' ? prefix(kEscStarR) : done();
} // ESC * r
Next rasterOn(const Byte *)
{
    return {Next::RasterOn};
}
Next rasterOff(const Byte *)
{
    return {Next::RasterOff};
}
Next rasterMargin(const Byte *)
{
    return until(kNul);
} // ESC * r m l|r n NUL
Next qrBlock(const Byte *p)
{
    return data(word(p + 4));
} // D 2 a, then m nL nH
Next qrBlocks(const Byte *p)
{
    return blocks(p[2], 3, qrBlock);
}
Next lengthAt3(const Byte *p)
{
    return data(word(p + 3));
}
Next qrData(const Byte *p) // ESC GS y D 1 m nL nH ..., ESC GS y D 2 a [m nL nH ...]a
{
    return p[1] == '1' ? more(3, lengthAt3) : p[1] == '2' ? more(1, qrBlocks) : done();
}
Next qrCode(const Byte *p) // ESC GS y S|D|P|I ...
{
    return p[0] == 'S' ? more(2) : p[0] == 'D' ? more(1, qrData) : done();
}
Next pdfSize(const Byte *p)
{
    return p[1] == '0' ? more(3) : more(1);
} // S 0 n p1 p2, S k n
Next pdf417(const Byte *p) // ESC GS x S|D|P|I ...
{
    return p[0] == 'S' ? more(1, pdfSize) : p[0] == 'D' ? more(2, lengthAt1) : done();
}

constexpr Command star[] = {
    {kEsc, kBel, 2, nullptr},
    {kEsc, kFf, 1, nullptr},
    {kEsc, kFs, 0, toEscFs},
    {kEsc, kGs, 0, toEscGs},
    {kEsc, kRs, 2, nullptr},
    {kEsc, ' ', 1, nullptr},
    {kEsc, '#', 0, untilNul},
    {kEsc, '$', 1, nullptr},
    {kEsc, '%', 1, nullptr},
    {kEsc, '&', 3, starUserChar},
    {kEsc, '*', 1, starRaster},
    {kEsc, '-', 1, nullptr},
    {kEsc, '/', 1, nullptr},
    {kEsc, '3', 1, nullptr},
    {kEsc, '?', 0, untilNul},
    {kEsc, 'A', 1, nullptr},
    {kEsc, 'B', 0, untilNul},
    {kEsc, 'C', 1, starPageLength},
    {kEsc, 'D', 0, untilNul},
    {kEsc, 'I', 1, nullptr},
    {kEsc, 'J', 1, nullptr},
    {kEsc, 'K', 2, starImage},
    {kEsc, 'L', 2, starImage},
    {kEsc, 'N', 1, nullptr},
    {kEsc, 'Q', 1, nullptr},
    {kEsc, 'R', 1, nullptr},
    {kEsc, 'U', 1, nullptr},
    {kEsc, 'W', 1, nullptr},
    {kEsc, 'X', 2, starWireImage},
    {kEsc, '_', 1, nullptr},
    {kEsc, 'a', 1, nullptr},
    {kEsc, 'b', 4, starBarcode},
    {kEsc, 'd', 1, nullptr},
    {kEsc, 'h', 1, nullptr},
    {kEsc, 'i', 2, nullptr},
    {kEsc, 'k', 2, starFineImage},
    {kEsc, 'l', 1, nullptr},
    {kEsc, 'r', 2, kanjiGlyph},
    {kEsc, 's', 2, nullptr},
    {kEsc, 't', 2, nullptr},
    {kEsc, 'y', 1, nullptr},
    {kEsc, 'z', 1, nullptr},

    {kEscGs, 0x03, 3, nullptr},
    {kEscGs, '#', 0, untilNul},
    {kEscGs, 'A', 2, nullptr},
    {kEscGs, 'R', 2, nullptr},
    {kEscGs, 'a', 1, nullptr},
    {kEscGs, 't', 1, nullptr},
    {kEscGs, 'x', 1, pdf417},
    {kEscGs, 'y', 1, qrCode},

    {kEscFs, 'p', 2, nullptr},
    {kEscFs, 'q', 1, nvImages},

    {kEscStarR, 'A', 0, rasterOn},
    {kEscStarR, 'B', 0, rasterOff},
    {kEscStarR, 'C', 0, nullptr},
    {kEscStarR, 'R', 0, nullptr},
    {kEscStarR, 'm', 1, rasterMargin},
    {kEscStarR, 'D', 0, untilNul},
    {kEscStarR, 'E', 0, untilNul},
    {kEscStarR, 'F', 0, untilNul},
    {kEscStarR, 'K', 0, untilNul},
    {kEscStarR, 'N', 0, untilNul},
    {kEscStarR, 'P', 0, untilNul},
    {kEscStarR, 'Q', 0, untilNul},
    {kEscStarR, 'T', 0, untilNul},
    {kEscStarR, 'V', 0, untilNul},
    {kEscStarR, 'Y', 0, untilNul},

    // Only in raster mode.
    {kBare, 'b', 2, starImage},
    {kBare, 'k', 2, starImage},
};

template <std::size_t N> const Command *find(const Command (&table)[N], Byte prefix, Byte code)
{
    const auto *end = table + N;
    const auto *found = std::find_if(table, end, [&](const Command &command) {
        return command.prefix == prefix && command.code == code;
    });
    return found == end ? nullptr : found;
}

const Command *findCommand(CommandSet set, Byte prefix, Byte code)
{
    return set == CommandSet::Star ? find(star, prefix, code) : find(escPos, prefix, code);
}

bool isPrefix(CommandSet set, Byte byte)
{
    if (set == CommandSet::Star)
        return byte == kEsc;
    return byte == kEsc || byte == kGs || byte == kFs || byte == kDle;
}

bool isKickByte(CommandSet set, Byte byte)
{
    return set == CommandSet::Star && (oneOf(byte, kBel, kFs) || oneOf(byte, kEm, kSub));
}

} // namespace

KickScanner::KickScanner(CommandSet set) : m_set(set) {}

void KickScanner::reset()
{
    *this = KickScanner(m_set);
}

qsizetype KickScanner::feed(const char *data, qsizetype size, std::vector<qsizetype> *kickEnds,
                            QByteArray *statusRequests)
{
    m_statusRequests = statusRequests;
    qsizetype kicks = 0;
    qsizetype i = 0;
    while (i < size) {
        if (m_stage == Stage::Data) {
            // Skipped whole: data bytes are never looked at.
            const auto take = std::min<std::uint64_t>(m_remaining, std::uint64_t(size - i));
            i += static_cast<qsizetype>(take);
            m_remaining -= take;
            if (m_remaining == 0 && endOfData()) {
                ++kicks;
                if (kickEnds)
                    kickEnds->push_back(i);
            }
            continue;
        }
        if (m_stage == Stage::Until) {
            const void *found = std::memchr(data + i, m_terminator, std::size_t(size - i));
            if (found == nullptr)
                return kicks;
            i = static_cast<const char *>(found) - data + 1;
            m_stage = Stage::Text;
            continue;
        }
        if (m_stage == Stage::Text && !m_raster) {
            // Every command's first byte and every kick byte is a control byte, in both sets:
            // the text between them is passed over without a step per byte.
            while (i < size && static_cast<Byte>(data[i]) >= 0x20)
                ++i;
            if (i == size)
                break;
        }
        const Step result = step(static_cast<Byte>(data[i]));
        if (result == Step::Again)
            continue; // the same byte once more, now as a fresh start
        ++i;
        if (result == Step::Kicked) {
            ++kicks;
            if (kickEnds)
                kickEnds->push_back(i);
        }
    }
    return kicks;
}

KickScanner::Step KickScanner::step(Byte byte)
{
    switch (m_stage) {
    case Stage::Text:
        if (m_raster) {
            if (const Command *command = findCommand(m_set, kBare, byte))
                return begin(command->params, command->rule);
        }
        if (isPrefix(m_set, byte)) {
            m_prefix = byte;
            m_stage = Stage::Function;
            return Step::Consumed;
        }
        return isKickByte(m_set, byte) ? Step::Kicked : Step::Consumed;
    case Stage::Function:
        if (const Command *command = findCommand(m_set, m_prefix, byte))
            return begin(command->params, command->rule);
        m_stage = Stage::Text;
        return byte < 0x20 ? Step::Again : Step::Consumed;
    case Stage::Params:
        m_params[m_have++] = byte;
        if (m_have < m_need)
            return Step::Consumed;
        return apply(m_rule != nullptr ? m_rule(m_params) : done()) ? Step::Kicked : Step::Consumed;
    case Stage::Data:
    case Stage::Until:
        break; // handled in bulk by feed()
    }
    return Step::Consumed;
}

KickScanner::Step KickScanner::begin(Byte params, Rule rule)
{
    m_have = 0;
    m_blocks = 0;
    return apply(more(params, rule)) ? Step::Kicked : Step::Consumed;
}

bool KickScanner::apply(const ScanStep &next)
{
    m_stage = Stage::Text;
    switch (next.kind) {
    case Next::Done:
        m_blocks = 0;
        return false;
    case Next::Kick:
        return true;
    case Next::More:
        if (next.count == 0)
            return apply(next.rule != nullptr ? next.rule(m_params) : done());
        if (m_have + next.count > maxParams)
            return false; // cannot happen with the tables above; never overrun the buffer
        m_need = m_have + next.count;
        m_rule = next.rule;
        m_stage = Stage::Params;
        return false;
    case Next::Data:
        m_remaining = next.length;
        if (m_remaining == 0)
            return endOfData();
        m_stage = Stage::Data;
        return false;
    case Next::Until:
        m_terminator = next.byte;
        m_stage = Stage::Until;
        return false;
    case Next::Blocks:
        if (next.length == 0)
            return false;
        m_blocks = next.length;
        m_blockBase = m_have;
        m_blockHeader = next.count;
        m_blockRule = next.rule;
        return endOfData();
    case Next::Prefix:
        m_prefix = next.byte;
        m_stage = Stage::Function;
        return false;
    case Next::RasterOn:
    case Next::RasterOff:
        m_raster = next.kind == Next::RasterOn;
        return false;
    case Next::Status:
        if (m_statusRequests)
            m_statusRequests->append(static_cast<char>(next.byte));
        return false;
    }
    return false;
}

// A command's data ended (or its blocks begin): read the next block's header, if any.
bool KickScanner::endOfData()
{
    m_stage = Stage::Text;
    if (m_blocks == 0)
        return false;
    --m_blocks;
    m_have = m_blockBase;
    return apply(more(m_blockHeader, m_blockRule));
}

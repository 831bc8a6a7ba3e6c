// Feeds arbitrary bytes to the kick scanner in both stream modes: whole, one byte at a time and
// cut into pieces chosen by the input. The kicks found, and where each ends, must be the same
// every time.
//
// Input layout: byte 0 seeds the cutting (piece lengths 0 to 63); the rest is the stream.

#include "kickscanner.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Ends = std::vector<qsizetype>;

using CommandSet = KickScanner::CommandSet;

[[noreturn]] void violated(const char *what, CommandSet mode)
{
    std::fprintf(stderr, "fuzz_kickscanner: invariant violated: %s (mode %s)\n", what,
                 mode == CommandSet::Star ? "star" : "escpos");
    std::abort();
}

// Feeds the stream in pieces whose lengths next() gives; returns where the kicks ended.
template <typename Next> Ends scan(CommandSet mode, const char *stream, qsizetype size, Next next)
{
    KickScanner scanner(mode);
    Ends ends;
    for (qsizetype at = 0; at < size;) {
        const qsizetype piece = std::min(next(), size - at);
        Ends found;
        if (scanner.feed(stream + at, piece, &found) != qsizetype(found.size()))
            violated("the count differs from the kicks reported", mode);
        for (const qsizetype end : found) {
            if (end < 1 || end > piece)
                violated("a kick ends outside its piece", mode);
            ends.push_back(at + end);
        }
        at += piece;
    }
    return ends;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto *stream = reinterpret_cast<const char *>(data + 1);
    const auto length = static_cast<qsizetype>(size - 1);
    for (const CommandSet mode : {CommandSet::EscPos, CommandSet::Star}) {
        const Ends whole = scan(mode, stream, length, [&] { return length; });
        if (scan(mode, stream, length, [] { return qsizetype(1); }) != whole)
            violated("byte by byte differs from whole", mode);
        std::uint32_t state = data[0] * 2654435761u + 1u;
        const auto randomPiece = [&] {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return qsizetype(state % 64);
        };
        if (scan(mode, stream, length, randomPiece) != whole)
            violated("cut into pieces differs from whole", mode);
    }
    return 0;
}

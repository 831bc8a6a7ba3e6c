// Translates arbitrary documents, as they come and inside <epos-print>. A result is either a
// success or a SchemaError with a reason and no bytes; the same document gives the same result.
//
// Input layout: byte 0 even: the rest is the whole document; odd: the rest goes inside
// <epos-print>, so that the elements' own rules are reached more often.

#include "eposprint.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void violated(const char *what)
{
    std::fprintf(stderr, "fuzz_eposprint: invariant violated: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    QByteArray body(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    if ((data[0] & 1) != 0)
        body = R"(<epos-print xmlns="http://www.epson-pos.com/schemas/2011/03/epos-print">)" +
               body + "</epos-print>";
    const EposPrintResult result = EposPrintTranslator::translate(body);
    if (result.ok()) {
        if (!result.reason.isEmpty() || !result.failedElement.isEmpty())
            violated("a success with a failure's reason");
        if (!result.printsAnything && !result.holdsPulse && result.bytes.size() > 64 * 1024)
            violated("many bytes that neither print nor kick");
    } else {
        if (result.code != QLatin1String("SchemaError"))
            violated("a failure other than SchemaError");
        if (result.reason.isEmpty())
            violated("a failure without a reason");
        if (!result.bytes.isEmpty() || result.holdsPulse || result.printsAnything)
            violated("a failure that still holds something");
    }
    const EposPrintResult again = EposPrintTranslator::translate(body);
    if (again.bytes != result.bytes || again.code != result.code || again.reason != result.reason)
        violated("the same document translated twice differs");
    return 0;
}

// Feeds arbitrary bytes to the HTTP request reader whole, one byte at a time and cut into pieces
// chosen by the input. The requests, the error and the bytes taken must be the same every
// time; no body may pass the bound, and after an error or the end nothing more is taken.
//
// Input layout: byte 0 seeds the cutting (piece lengths 0 to 63); the rest is the connection.

#include "httprequestreader.h"

#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void violated(const char *what)
{
    std::fprintf(stderr, "fuzz_httprequest: invariant violated: %s\n", what);
    std::abort();
}

struct Outcome
{
    QList<QByteArray> requests; // each flattened into one comparable text
    HttpRequestError error = HttpRequestError::None;
    QString errorText;
    bool finished = false;
    qsizetype taken = 0;

    bool operator==(const Outcome &o) const
    {
        return requests == o.requests && error == o.error && errorText == o.errorText &&
               finished == o.finished && taken == o.taken;
    }
};

QByteArray flatten(const HttpRequest &r)
{
    if (r.body.size() > HttpRequestReader::maxBodyBytes)
        violated("a body past the bound");
    QByteArray text = r.method + ' ' + r.path + '?' + r.query + ' ' +
                      QByteArray::number(r.minorVersion) + (r.keepAlive ? " keep" : " close");
    for (const auto &[name, value] : r.headers)
        text += '\n' + name + ": " + value;
    return text + "\n\n" + r.body;
}

template <typename Next> Outcome read(const char *data, qsizetype size, Next next)
{
    HttpRequestReader reader;
    Outcome outcome;
    for (qsizetype pos = 0; pos < size;) {
        const qsizetype piece = std::min(next(), size - pos);
        const bool closed = reader.error() != HttpRequestError::None || reader.finished();
        const qsizetype taken = reader.feed(data + pos, piece);
        if (closed && taken != 0)
            violated("bytes taken after an error or the end");
        if (taken < piece && !(reader.error() != HttpRequestError::None || reader.finished()))
            violated("bytes left without an error or the end");
        outcome.taken += taken;
        pos += piece;
        while (reader.hasRequest())
            outcome.requests.append(flatten(reader.takeRequest()));
    }
    outcome.error = reader.error();
    outcome.errorText = reader.errorText();
    outcome.finished = reader.finished();
    if ((outcome.error == HttpRequestError::None) != outcome.errorText.isEmpty())
        violated("an error without a reason, or a reason without an error");
    if (outcome.error != HttpRequestError::None && httpStatusCode(outcome.error) < 400)
        violated("an error without a status");
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const char *stream = reinterpret_cast<const char *>(data + 1);
    const auto length = static_cast<qsizetype>(size - 1);
    const Outcome whole = read(stream, length, [&] { return length; });
    if (!(read(stream, length, [] { return qsizetype(1); }) == whole))
        violated("one byte at a time differs from all at once");
    std::uint32_t cutState = data[0];
    const Outcome cut = read(stream, length, [&] {
        cutState = cutState * 1103515245U + 12345U;
        return qsizetype((cutState >> 16) % 64);
    });
    if (!(cut == whole))
        violated("cut into pieces differs from all at once");
    return 0;
}

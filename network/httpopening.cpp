#include "httpopening.h"

#include <QList>

#include <algorithm>

namespace {

// A method is a token (letters, in practice); none is longer than this.
constexpr int longestMethod = 24;
// What describe() keeps of a target or an Origin value.
constexpr int shownLength = 120;

bool isTokenByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9'))
        return true;
    return QByteArray("!#$%&'*+-.^_`|~").contains(c);
}

bool isVisible(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7f;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The request line's end: "HTTP/d.d" followed by CR LF or a bare LF, from position at.
HttpOpening::Verdict versionAndEnd(const QByteArray &bytes, int at)
{
    static const QByteArray shape("HTTP/0.0\r\n");
    for (int i = 0; i < shape.size(); ++i, ++at) {
        if (at >= bytes.size())
            return HttpOpening::Verdict::Undecided;
        const char c = bytes[at];
        const char want = shape[i];
        if (want == '0' ? isDigit(c) : c == want)
            continue;
        if (want == '\r' && c == '\n')
            return HttpOpening::Verdict::RequestLine;
        return HttpOpening::Verdict::RawJob;
    }
    return HttpOpening::Verdict::RequestLine;
}

QByteArray printable(QByteArray text)
{
    if (text.size() > shownLength)
        text = text.left(shownLength) + "...";
    std::replace_if(
        text.begin(), text.end(), [](char c) { return !isVisible(c) && c != ' '; }, '?');
    return text;
}

} // namespace

HttpOpening::Verdict HttpOpening::classify(const QByteArray &opening)
{
    int at = 0;
    while (at < opening.size() && isTokenByte(opening[at]) && at < longestMethod)
        ++at;
    if (at == opening.size())
        return Verdict::Undecided;
    if (at == 0 || opening[at] != ' ')
        return Verdict::RawJob;
    const int targetStart = ++at;
    while (at < opening.size() && isVisible(opening[at]))
        ++at;
    if (at == opening.size())
        return Verdict::Undecided;
    if (at == targetStart || opening[at] != ' ')
        return Verdict::RawJob;
    return versionAndEnd(opening, at + 1);
}

bool HttpOpening::headerComplete(const QByteArray &request)
{
    return request.contains("\r\n\r\n") || request.contains("\n\n");
}

QByteArray HttpOpening::describe(const QByteArray &request)
{
    const auto lineEnd = request.indexOf('\n');
    const QList<QByteArray> words = request.left(lineEnd).split(' ');
    QByteArray text = printable(words.value(0)) + ' ' + printable(words.value(1));
    const QList<QByteArray> lines = request.mid(lineEnd + 1).split('\n');
    for (const QByteArray &line : lines) {
        const QByteArray field = line.trimmed();
        if (field.isEmpty())
            break;
        const auto colon = field.indexOf(':');
        if (colon > 0 && field.left(colon).trimmed().toLower() == "origin") {
            text += ", Origin: " + printable(field.mid(colon + 1).trimmed());
            break;
        }
    }
    return text;
}

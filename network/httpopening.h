#pragma once

#include <QByteArray>

// A raw print job never opens with an HTTP request line ("POST / HTTP/1.1"), but any web page the
// till's browser shows can make one reach the print port (fetch(..., {mode: "no-cors"}) sends a
// POST before CORS has any say), with whatever body it likes: a drawer kick, a page of text. So
// the print port looks at a job's opening before anything of it goes on, and refuses a job that
// opens as an HTTP request.
namespace HttpOpening {

enum class Verdict {
    Undecided,   // every byte so far fits a request line that has not ended yet
    RawJob,      // it is no request line: the job goes on, from its first byte
    RequestLine, // a whole request line: method, target, HTTP version, line end
};

// Looks at the job's first bytes (all of them so far, from the first).
Verdict classify(const QByteArray &opening);

// Whether the header lines after the request line are complete (the empty line has come).
bool headerComplete(const QByteArray &request);

// For the log: the request's method and target, and its Origin header's value if it has one, as
// printable text of bounded length ("POST /, Origin: https://evil.example").
QByteArray describe(const QByteArray &request);

} // namespace HttpOpening

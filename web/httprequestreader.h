#pragma once

// Reads HTTP/1.x requests out of the bytes a connection delivers, however they are cut. The
// parsing itself is http-parser's (2.9); this class keeps the bounds, gathers what it reports and
// decides what a server must refuse. No sockets: the caller feeds bytes and takes requests.
//
// Accepts: HTTP/1.0 and HTTP/1.1 requests of any method http-parser knows, in origin form
// ("/path?query"), absolute form ("http://host/path?query", whose path and query are taken) or
// "*"; bodies given by Content-Length or sent chunked (decoded here, trailers read and dropped);
// blank lines between requests; several requests in one feed (pipelining), which come out in
// order.
//
// Refuses, as an error that ends the reading (the reader takes no byte after it):
//   - malformed input, a Content-Length beside Transfer-Encoding, a second Content-Length, a
//     target that is no URL: BadRequest (400);
//   - a head (blank lines before the request line, the request line, the header lines and the
//     empty line after them) longer than maxHeadBytes, or trailers longer than http-parser's own
//     limit: HeaderFieldsTooLarge (431);
//   - a body longer than maxBodyBytes (a Content-Length above it is refused at once):
//     PayloadTooLarge (413);
//   - POST, PUT or PATCH with neither Content-Length nor chunked coding: LengthRequired (411);
//   - a Transfer-Encoding other than plain "chunked" (gzip, "gzip, chunked"...): NotImplemented
//     (501);
//   - an HTTP major version other than 1: VersionNotSupported (505).
//
// A request that sends "Expect: 100-continue" before a body is told to go on (takeContinue).
//
// After a request that keeps the connection no longer (Connection: close, HTTP/1.0 without
// keep-alive) or that switches protocols (CONNECT, Upgrade), the reader is finished: it takes
// no more bytes and reports no error for them.
//
// Memory: one request in progress, which the bounds keep under about maxHeadBytes (with the
// bookkeeping of its header fields) plus maxBodyBytes, and the complete requests not yet taken.
// A caller that takes the requests after each feed keeps the latter to what one feed carried.

#include <QByteArray>
#include <QString>

#include <deque>
#include <memory>
#include <utility>
#include <vector>

struct HttpRequest
{
    QByteArray method; // "GET", "POST"...
    QByteArray path;   // the target's path as sent (still percent-encoded); "/" when it has none
                       // (empty for CONNECT's host:port)
    QByteArray query;  // what follows '?', without it; empty when there is none
    int minorVersion = 1;
    std::vector<std::pair<QByteArray, QByteArray>> headers; // in order, values trimmed
    QByteArray body;                                        // chunked bodies decoded
    bool keepAlive = true; // per HTTP/1.0 and 1.1 rules: the connection may carry another

    // The first header of that name, compared without regard to case; empty when there is none.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;
};

enum class HttpRequestError {
    None,
    BadRequest,
    LengthRequired,
    PayloadTooLarge,
    HeaderFieldsTooLarge,
    NotImplemented,
    VersionNotSupported,
};

// The status a server answers that error with: 400, 411, 413, 431, 501, 505 (0 for None).
int httpStatusCode(HttpRequestError error);
// Its status line's reason phrase, "Bad Request" etc. (empty for None).
QByteArray httpReasonPhrase(HttpRequestError error);

class HttpRequestReader
{
public:
    static constexpr qsizetype maxHeadBytes = qsizetype{16} * 1024;
    static constexpr qsizetype maxBodyBytes = qsizetype{4} * 1024 * 1024;

    HttpRequestReader();
    ~HttpRequestReader();
    HttpRequestReader(const HttpRequestReader &) = delete;
    HttpRequestReader &operator=(const HttpRequestReader &) = delete;

    // Reads the next bytes of the connection and returns how many it took: all of them, unless
    // an error or the end of the connection's requests came first.
    qsizetype feed(const char *data, qsizetype size);
    qsizetype feed(const QByteArray &bytes) { return feed(bytes.constData(), bytes.size()); }

    bool hasRequest() const { return !m_complete.empty(); }
    // The oldest complete request not yet taken; call only when hasRequest().
    HttpRequest takeRequest();

    HttpRequestError error() const { return m_error; }
    // Why, for the log and the answer's body: "invalid HTTP method", "the body is larger than
    // 4194304 bytes"...; empty without an error.
    const QString &errorText() const { return m_errorText; }
    // The connection carries no further request (see above).
    bool finished() const { return m_finished; }
    // Some bytes of a request that is not complete yet have been read.
    bool midRequest() const;
    // The request being read has sent its head with "Expect: 100-continue" and waits to be told
    // to send its body: true once for it, and the server then answers "100 Continue" (RFC 9110
    // 10.1.1). A head refused at once (a body too large) is answered with its error instead.
    bool takeContinue();

private:
    struct Parsing; // http-parser's state, and the request it is building
    friend struct HttpParserCallbacks;

    void fail(HttpRequestError error, const QString &text);
    void failHeadTooLarge();
    void failFromParser();

    std::unique_ptr<Parsing> m_parsing;
    std::deque<HttpRequest> m_complete;
    HttpRequestError m_error = HttpRequestError::None;
    QString m_errorText;
    bool m_finished = false;
};

#include "httprequestreader.h"

#include "logging.h"

#include <http_parser.h>

#include <algorithm>
#include <utility>

namespace {

struct ErrorInfo
{
    HttpRequestError error;
    int status;
    const char *phrase;
};

constexpr ErrorInfo errorTable[] = {
    {HttpRequestError::None, 0, ""},
    {HttpRequestError::BadRequest, 400, "Bad Request"},
    {HttpRequestError::LengthRequired, 411, "Length Required"},
    {HttpRequestError::PayloadTooLarge, 413, "Payload Too Large"},
    {HttpRequestError::HeaderFieldsTooLarge, 431, "Request Header Fields Too Large"},
    {HttpRequestError::NotImplemented, 501, "Not Implemented"},
    {HttpRequestError::VersionNotSupported, 505, "HTTP Version Not Supported"},
};

const ErrorInfo &errorInfo(HttpRequestError error)
{
    const auto *end = std::end(errorTable);
    const auto *found = std::find_if(std::begin(errorTable), end,
                                     [&](const ErrorInfo &info) { return info.error == error; });
    return found == end ? errorTable[0] : *found;
}

QByteArray urlField(const QByteArray &url, const http_parser_url &parts, http_parser_url_fields f)
{
    if ((parts.field_set & (1U << f)) == 0)
        return {};
    return url.mid(parts.field_data[f].off, parts.field_data[f].len);
}

bool needsLength(unsigned int method)
{
    return method == HTTP_POST || method == HTTP_PUT || method == HTTP_PATCH;
}

} // namespace

QByteArray HttpRequest::header(const QByteArray &name) const
{
    const auto found = std::find_if(headers.begin(), headers.end(), [&](const auto &field) {
        return field.first.compare(name, Qt::CaseInsensitive) == 0;
    });
    return found == headers.end() ? QByteArray() : found->second;
}

bool HttpRequest::hasHeader(const QByteArray &name) const
{
    return std::any_of(headers.begin(), headers.end(), [&](const auto &field) {
        return field.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

int httpStatusCode(HttpRequestError error)
{
    return errorInfo(error).status;
}

QByteArray httpReasonPhrase(HttpRequestError error)
{
    return QByteArray(errorInfo(error).phrase);
}

struct HttpRequestReader::Parsing
{
    http_parser parser{};
    HttpRequest request;
    QByteArray url;
    qsizetype headBytes = 0; // fed since the last request ended, while its head is incomplete
    bool started = false;
    bool headComplete = false;
    bool inValue = false; // the last header bytes were a value's, so a name starts a new field
    bool continueAsked = false; // Expect: 100-continue, and not yet told to go on

    void restart()
    {
        continueAsked = false;
        request = HttpRequest();
        url.clear();
        headBytes = 0;
        started = false;
        headComplete = false;
        inValue = false;
    }
};

// http-parser's callbacks: each returns 0 to go on and non-zero to stop the parser, having
// recorded why. No exception may cross http-parser's C frames, so each traps its own.
struct HttpParserCallbacks
{
    template <typename Step> static int guarded(http_parser *parser, Step &&step)
    {
        auto &reader = *static_cast<HttpRequestReader *>(parser->data);
        try {
            return step(reader, *reader.m_parsing);
        } catch (...) {
            reader.fail(HttpRequestError::BadRequest,
                        QStringLiteral("the request could not be read: %1")
                            .arg(QString::fromStdString(currentFailure())));
            return -1;
        }
    }

    static int messageBegin(http_parser *parser)
    {
        return guarded(parser, [](HttpRequestReader &, HttpRequestReader::Parsing &parsing) {
            parsing.started = true;
            return 0;
        });
    }

    static int url(http_parser *parser, const char *at, size_t length)
    {
        return guarded(parser, [&](HttpRequestReader &, HttpRequestReader::Parsing &parsing) {
            parsing.url.append(at, static_cast<int>(length));
            return 0;
        });
    }

    static int headerField(http_parser *parser, const char *at, size_t length)
    {
        return guarded(parser, [&](HttpRequestReader &, HttpRequestReader::Parsing &parsing) {
            if (parsing.headComplete)
                return 0; // a trailer
            auto &headers = parsing.request.headers;
            if (headers.empty() || parsing.inValue)
                headers.emplace_back();
            headers.back().first.append(at, static_cast<int>(length));
            parsing.inValue = false;
            return 0;
        });
    }

    static int headerValue(http_parser *parser, const char *at, size_t length)
    {
        return guarded(parser, [&](HttpRequestReader &, HttpRequestReader::Parsing &parsing) {
            if (parsing.headComplete)
                return 0;
            parsing.request.headers.back().second.append(at, static_cast<int>(length));
            parsing.inValue = true;
            return 0;
        });
    }

    static int headersComplete(http_parser *parser)
    {
        return guarded(parser, [&](HttpRequestReader &reader, HttpRequestReader::Parsing &parsing) {
            parsing.headComplete = true;
            for (auto &field : parsing.request.headers)
                field.second = field.second.trimmed();
            const auto [error, text] = refusal(*parser, parsing.request);
            if (error != HttpRequestError::None) {
                reader.fail(error, text);
                return -1;
            }
            if (!takeTarget(*parser, parsing)) {
                reader.fail(HttpRequestError::BadRequest,
                            QStringLiteral("the request target is no URL"));
                return -1;
            }
            HttpRequest &request = parsing.request;
            request.method = QByteArray(http_method_str(static_cast<http_method>(parser->method)));
            request.minorVersion = parser->http_minor;
            request.keepAlive = http_should_keep_alive(parser) != 0 && parser->upgrade == 0;
            const bool hasLength = (parser->flags & F_CONTENTLENGTH) != 0;
            if (hasLength)
                request.body.reserve(
                    static_cast<int>(parser->content_length)); // within maxBodyBytes
            const bool bodyToCome =
                (hasLength && parser->content_length > 0) || (parser->flags & F_CHUNKED) != 0;
            parsing.continueAsked =
                bodyToCome && parser->http_minor >= 1 &&
                request.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0;
            return 0;
        });
    }

    // What the head asks for that this reader refuses, before any body byte is read.
    static std::pair<HttpRequestError, QString> refusal(const http_parser &parser,
                                                        const HttpRequest &request)
    {
        if (parser.http_major != 1) {
            return {HttpRequestError::VersionNotSupported,
                    QStringLiteral("HTTP/%1.%2 is not supported")
                        .arg(parser.http_major)
                        .arg(parser.http_minor)};
        }
        if (request.hasHeader("Transfer-Encoding")) {
            QByteArray codings;
            for (const auto &[name, value] : request.headers) {
                if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0)
                    codings += (codings.isEmpty() ? "" : ", ") + value;
            }
            if (codings.compare("chunked", Qt::CaseInsensitive) != 0) {
                return {HttpRequestError::NotImplemented,
                        QStringLiteral("the transfer coding \"%1\" is not supported")
                            .arg(QString::fromLatin1(codings))};
            }
        }
        const bool hasLength = (parser.flags & F_CONTENTLENGTH) != 0;
        if (!hasLength && (parser.flags & F_CHUNKED) == 0 && needsLength(parser.method)) {
            return {
                HttpRequestError::LengthRequired,
                QStringLiteral("%1 needs a Content-Length")
                    .arg(QLatin1String(http_method_str(static_cast<http_method>(parser.method))))};
        }
        if (hasLength && parser.content_length > std::uint64_t{HttpRequestReader::maxBodyBytes})
            return {HttpRequestError::PayloadTooLarge, tooLargeBody()};
        return {HttpRequestError::None, QString()};
    }

    static QString tooLargeBody()
    {
        return QStringLiteral("the body is larger than %1 bytes")
            .arg(HttpRequestReader::maxBodyBytes);
    }

    static bool takeTarget(const http_parser &parser, HttpRequestReader::Parsing &parsing)
    {
        http_parser_url parts;
        http_parser_url_init(&parts);
        const bool connect = parser.method == HTTP_CONNECT;
        if (http_parser_parse_url(parsing.url.constData(), static_cast<size_t>(parsing.url.size()),
                                  connect ? 1 : 0, &parts) != 0) {
            return false;
        }
        parsing.request.path = urlField(parsing.url, parts, UF_PATH);
        if (parsing.request.path.isEmpty() && !connect)
            parsing.request.path = "/";
        parsing.request.query = urlField(parsing.url, parts, UF_QUERY);
        return true;
    }

    static int body(http_parser *parser, const char *at, size_t length)
    {
        return guarded(parser, [&](HttpRequestReader &reader, HttpRequestReader::Parsing &parsing) {
            QByteArray &body = parsing.request.body;
            if (std::uint64_t(body.size()) + length >
                std::uint64_t{HttpRequestReader::maxBodyBytes}) {
                reader.fail(HttpRequestError::PayloadTooLarge, tooLargeBody());
                return -1;
            }
            body.append(at, static_cast<int>(length));
            return 0;
        });
    }

    // The request is whole: out it goes, and the parser pauses so that feed() sees where it
    // ended and counts the next head from there.
    static int messageComplete(http_parser *parser)
    {
        return guarded(parser, [&](HttpRequestReader &reader, HttpRequestReader::Parsing &parsing) {
            reader.m_complete.push_back(std::move(parsing.request));
            if (!reader.m_complete.back().keepAlive)
                reader.m_finished = true;
            parsing.restart();
            http_parser_pause(parser, 1);
            return 0;
        });
    }

    static http_parser_settings settings()
    {
        http_parser_settings s;
        http_parser_settings_init(&s);
        s.on_message_begin = &messageBegin;
        s.on_url = &url;
        s.on_header_field = &headerField;
        s.on_header_value = &headerValue;
        s.on_headers_complete = &headersComplete;
        s.on_body = &body;
        s.on_message_complete = &messageComplete;
        return s;
    }
};

HttpRequestReader::HttpRequestReader() : m_parsing(std::make_unique<Parsing>())
{
    http_parser_init(&m_parsing->parser, HTTP_REQUEST);
    m_parsing->parser.data = this;
}

HttpRequestReader::~HttpRequestReader() = default;

qsizetype HttpRequestReader::feed(const char *data, qsizetype size)
{
    static const http_parser_settings settings = HttpParserCallbacks::settings();
    Parsing &parsing = *m_parsing;
    qsizetype taken = 0;
    while (taken < size && m_error == HttpRequestError::None && !m_finished) {
        // While the head is incomplete, the parser gets no more than the head may still
        // take, so a head one byte too long is caught however the bytes come.
        qsizetype slice = size - taken;
        if (!parsing.headComplete)
            slice = std::min(slice, maxHeadBytes - parsing.headBytes);
        const qsizetype done = static_cast<qsizetype>(http_parser_execute(
            &parsing.parser, &settings, data + taken, static_cast<size_t>(slice)));
        taken += done;
        if (HTTP_PARSER_ERRNO(&parsing.parser) == HPE_PAUSED) {
            http_parser_pause(&parsing.parser, 0); // a request ended
        } else if (HTTP_PARSER_ERRNO(&parsing.parser) != HPE_OK) {
            failFromParser();
        } else if (!parsing.headComplete) {
            parsing.headBytes += done;
            if (parsing.headBytes == maxHeadBytes) // the head needs one byte more at least
                failHeadTooLarge();
        }
    }
    return taken;
}

HttpRequest HttpRequestReader::takeRequest()
{
    HttpRequest request = std::move(m_complete.front());
    m_complete.pop_front();
    return request;
}

bool HttpRequestReader::midRequest() const
{
    return m_parsing->started;
}

bool HttpRequestReader::takeContinue()
{
    return m_error == HttpRequestError::None && std::exchange(m_parsing->continueAsked, false);
}

void HttpRequestReader::failHeadTooLarge()
{
    fail(HttpRequestError::HeaderFieldsTooLarge,
         QStringLiteral("the request head is larger than %1 bytes").arg(maxHeadBytes));
}

void HttpRequestReader::fail(HttpRequestError error, const QString &text)
{
    m_error = error;
    m_errorText = text;
}

// The parser stopped: a callback has recorded why, or the input is malformed.
void HttpRequestReader::failFromParser()
{
    if (m_error != HttpRequestError::None)
        return;
    const http_errno code = HTTP_PARSER_ERRNO(&m_parsing->parser);
    const QString text = QString::fromLatin1(http_errno_description(code));
    switch (code) {
    case HPE_HEADER_OVERFLOW:
        fail(HttpRequestError::HeaderFieldsTooLarge, text);
        break;
    case HPE_INVALID_TRANSFER_ENCODING:
        fail(HttpRequestError::NotImplemented, text);
        break;
    default:
        fail(HttpRequestError::BadRequest, text);
        break;
    }
}

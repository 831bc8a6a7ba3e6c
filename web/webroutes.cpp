#include "webroutes.h"

#include "eposprint.h"
#include "receiptimage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrlQuery>

#include <algorithm>

namespace {

const QByteArray eposPath("/cgi-bin/epos/service.cgi");
const QByteArray eposNamespace("http://www.epson-pos.com/schemas/2011/03/epos-print");

// ePOS status bits Tralvo knows: the job went out, or the printer does not answer.
constexpr quint32 asbNoResponse = 0x00000001;
constexpr quint32 asbPrintSuccess = 0x00000002;
constexpr quint32 asbOffLine = 0x00000008;

// The drawer kick an Odoo cash box button means: drawer 1, on 50 ms, off 500 ms.
const QByteArray odooKick("\x1b\x70\x00\x19\xfa", 5);

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 400:
        return "Bad Request";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

// Text a request brought, for one log line: bounded, with control bytes shown as '?'.
QString forLog(const QByteArray &text)
{
    QByteArray shown = text.left(200);
    std::replace_if(
        shown.begin(), shown.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
    return QString::fromUtf8(shown);
}

HttpResponse plain(int status, const QByteArray &text)
{
    return {status, {{"Content-Type", "text/plain; charset=utf-8"}}, text + '\n'};
}

HttpResponse eposResponse(bool success, const QByteArray &code, quint32 status)
{
    const QByteArray body =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
        "<response xmlns=\"" +
        eposNamespace + "\" success=\"" + (success ? "true" : "false") + "\" code=\"" + code +
        "\" status=\"" + QByteArray::number(status) + "\" battery=\"0\"/></s:Body></s:Envelope>\n";
    return {200, {{"Content-Type", "text/xml; charset=utf-8"}}, body};
}

HttpResponse jsonRpcResult(const QByteArray &id, const QJsonValue &result)
{
    QJsonObject answer{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                       {QStringLiteral("result"), result}};
    QByteArray body = QJsonDocument(answer).toJson(QJsonDocument::Compact);
    // The id goes back exactly as it came, whatever JSON it was.
    body.insert(1, "\"id\":" + id + ',');
    return {200, {{"Content-Type", "application/json"}}, body};
}

WebJobOrder jobOrder(QByteArray bytes, bool prints, bool pulses, int timeoutMs,
                     WebJobOrder::Answer answer, QByteArray jsonRpcId = "null")
{
    WebJobOrder order;
    order.bytes = std::move(bytes);
    order.prints = prints;
    order.pulses = pulses;
    order.timeoutMs = timeoutMs;
    order.answer = answer;
    order.jsonRpcId = std::move(jsonRpcId);
    return order;
}

quint32 printerStatus(bool online)
{
    return online ? asbPrintSuccess : asbNoResponse | asbOffLine;
}

Routed routeEpos(const HttpRequest &request, const WebDoorState &state)
{
    const EposPrintResult epos = EposPrintTranslator::translate(request.body);
    Routed routed;
    if (!epos.ok()) {
        routed.response =
            eposResponse(false, epos.code.toUtf8(), printerStatus(state.printerOnline));
        routed.logLine =
            QStringLiteral("ePOS request refused: <%1%2>: %3")
                .arg(epos.failedElement,
                     epos.failedAttribute.isEmpty() ? QString()
                                                    : QLatin1Char(' ') + epos.failedAttribute,
                     epos.reason);
        return routed;
    }
    if (!epos.untranslated.isEmpty())
        routed.logLine = QStringLiteral("ePOS request: not translated: ") +
                         epos.untranslated.join(QLatin1String(", "));
    if (epos.bytes.isEmpty()) {
        // The SDK's probe and status monitor: an empty document.
        routed.response = eposResponse(true, {}, printerStatus(state.printerOnline));
        return routed;
    }
    if (epos.printsAnything && !state.hasPrinter) {
        routed.response = eposResponse(false, "DeviceNotFound", asbNoResponse | asbOffLine);
        routed.logLine = QStringLiteral("ePOS request refused: it prints, and there is no "
                                        "printer (--printer)");
        return routed;
    }
    const QUrlQuery query(QString::fromUtf8(request.query));
    bool given = false;
    int timeoutMs = query.queryItemValue(QStringLiteral("timeout")).toInt(&given);
    if (!given)
        timeoutMs = epos.timeoutMs.value_or(defaultEposTimeoutMs);
    routed.job =
        jobOrder(epos.bytes, epos.printsAnything, epos.holdsPulse,
                 std::clamp(timeoutMs, 1, longestEposTimeoutMs), WebJobOrder::Answer::Epos);
    return routed;
}

// The request's JSON-RPC id, as sent; null when there is none.
QByteArray jsonRpcId(const QByteArray &body)
{
    const QJsonObject call = QJsonDocument::fromJson(body).object();
    const QJsonValue id = call.value(QStringLiteral("id"));
    if (id.isUndefined() || id.isNull())
        return "null";
    return QJsonDocument(QJsonObject{{QStringLiteral("i"), id}})
        .toJson(QJsonDocument::Compact)
        .mid(5)
        .chopped(1);
}

Routed routePrinterAction(const HttpRequest &request, const WebDoorState &state,
                          const QByteArray &id)
{
    const QJsonObject params =
        QJsonDocument::fromJson(request.body).object().value(QStringLiteral("params")).toObject();
    const QJsonObject data = params.contains(QStringLiteral("data"))
                                 ? params.value(QStringLiteral("data")).toObject()
                                 : params;
    const QString action = data.value(QStringLiteral("action")).toString();
    Routed routed;
    if (action == QLatin1String("cashbox")) {
        routed.job =
            jobOrder(odooKick, false, true, defaultEposTimeoutMs, WebJobOrder::Answer::JsonRpc, id);
        return routed;
    }
    if (action != QLatin1String("print_receipt")) {
        routed.response = jsonRpcResult(id, false);
        routed.logLine =
            QStringLiteral("hw_proxy: action \"%1\" is not one Tralvo takes").arg(action);
        return routed;
    }
    QString why;
    const std::optional<QByteArray> raster = receiptRaster(
        QByteArray::fromBase64(data.value(QStringLiteral("receipt")).toString().toLatin1()),
        state.printerWidthDots, &why);
    if (!raster || !state.hasPrinter) {
        routed.response = jsonRpcResult(id, false);
        routed.logLine = QStringLiteral("hw_proxy: receipt refused: %1")
                             .arg(raster ? QStringLiteral("there is no printer (--printer)") : why);
        return routed;
    }
    routed.job =
        jobOrder(*raster, true, false, defaultEposTimeoutMs, WebJobOrder::Answer::JsonRpc, id);
    return routed;
}

Routed routeHwProxy(const HttpRequest &request, const WebDoorState &state)
{
    const QByteArray call = request.path.mid(int(sizeof "/hw_proxy/") - 1);
    const QByteArray id = jsonRpcId(request.body);
    Routed routed;
    if (call == "hello") {
        routed.response = plain(200, "ping");
    } else if (call == "handshake") {
        routed.response = jsonRpcResult(id, true);
    } else if (call == "status_json") {
        const QJsonObject escpos{{QStringLiteral("status"), state.printerOnline
                                                                ? QStringLiteral("connected")
                                                                : QStringLiteral("disconnected")},
                                 {QStringLiteral("messages"), QStringLiteral("")}};
        routed.response = jsonRpcResult(id, QJsonObject{{QStringLiteral("escpos"), escpos}});
    } else if (call == "default_printer_action") {
        return routePrinterAction(request, state, id);
    } else if (call == "open_cashbox") {
        routed.job =
            jobOrder(odooKick, false, true, defaultEposTimeoutMs, WebJobOrder::Answer::JsonRpc, id);
    } else {
        routed.response = plain(404, "no such hardware proxy call");
    }
    return routed;
}

HttpResponse preflight(const HttpRequest &request)
{
    HttpResponse response{204, {}, {}};
    response.headers = {
        {"Access-Control-Allow-Methods", "GET, POST, OPTIONS"},
        {"Access-Control-Allow-Headers", "Content-Type, SOAPAction, If-Modified-Since"},
        {"Access-Control-Max-Age", "600"}};
    // A page on the web asking for a local address (Chrome's Private Network Access).
    if (request.header("access-control-request-private-network").toLower() == "true")
        response.headers.emplace_back("Access-Control-Allow-Private-Network", "true");
    return response;
}

Routed routeAllowed(const HttpRequest &request, const WebDoorState &state)
{
    const bool get = request.method == "GET";
    const bool post = request.method == "POST";
    if (request.method == "OPTIONS")
        return {preflight(request), std::nullopt, {}};
    if (request.path == eposPath)
        return post ? routeEpos(request, state) : Routed{plain(405, "POST only"), {}, {}};
    if (request.path.startsWith("/hw_proxy/")) {
        if (request.path == "/hw_proxy/hello" ? get || post : post)
            return routeHwProxy(request, state);
        return {plain(405, "not with this method"), std::nullopt, {}};
    }
    return {plain(404, "nothing here"), std::nullopt, {}};
}

} // namespace

QByteArray HttpResponse::serialise(bool keepAlive) const
{
    QByteArray text =
        "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    for (const auto &[name, value] : headers)
        text += name + ": " + value + "\r\n";
    text += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (!keepAlive)
        text += "Connection: close\r\n";
    return text + "\r\n" + body;
}

Routed routeWebRequest(const HttpRequest &request, const WebDoorState &state)
{
    const QByteArray origin = request.header("origin");
    if (state.origins.judge(QString::fromUtf8(origin)) == WebOrigins::Verdict::Refused) {
        return {plain(403, "this origin may not call Tralvo"), std::nullopt,
                QStringLiteral("refused a request from the web origin %1 (%2 %3): not listed "
                               "with --http-origin")
                    .arg(forLog(origin), forLog(request.method), forLog(request.path))};
    }
    Routed routed = routeAllowed(request, state);
    const auto allow = [&origin](HttpResponse &response) {
        response.headers.emplace_back("Access-Control-Allow-Origin", origin);
        response.headers.emplace_back("Vary", "Origin");
    };
    if (!origin.isEmpty()) {
        if (routed.response)
            allow(*routed.response);
        if (routed.job)
            routed.job->allowedOrigin = origin;
    }
    return routed;
}

HttpResponse answerJob(const WebJobOrder &order, const JobOutcome &outcome, bool printerOnline)
{
    const bool pulseOk = !order.pulses || outcome.pulsed.value_or(false);
    const bool printOk = !order.prints || outcome.written;
    const bool success = !outcome.timedOut && pulseOk && printOk;
    HttpResponse response;
    switch (order.answer) {
    case WebJobOrder::Answer::Epos: {
        const QByteArray code = success            ? QByteArray()
                                : outcome.timedOut ? "EX_TIMEOUT"
                                                   : "EX_BADPORT";
        quint32 status = printerOnline ? 0 : asbNoResponse | asbOffLine;
        if (success)
            status |= asbPrintSuccess;
        response = eposResponse(success, code, status);
        break;
    }
    case WebJobOrder::Answer::JsonRpc:
        response = jsonRpcResult(order.jsonRpcId, success);
        break;
    case WebJobOrder::Answer::Plain:
        response = plain(200, success ? "done" : "failed");
        break;
    }
    if (!order.allowedOrigin.isEmpty()) {
        response.headers.emplace_back("Access-Control-Allow-Origin", order.allowedOrigin);
        response.headers.emplace_back("Vary", "Origin");
    }
    return response;
}

HttpResponse answerReadError(HttpRequestError error, const QString &reason)
{
    return plain(httpStatusCode(error), reason.toUtf8());
}

#pragma once

#include "httprequestreader.h"
#include "weborigin.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// What the web door answers, decided from the request alone: who may call (its Origin, before
// anything is acted on), the CORS preflight, and the two kinds of browser POS software it
// serves, Epson's ePOS-Print (POST /cgi-bin/epos/service.cgi) and Odoo's hardware proxy
// (/hw_proxy/...). A request that prints or opens the drawer becomes a job order, whose answer
// waits for the job's outcome (answerJob()). No sockets here.

struct HttpResponse
{
    int status = 200;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The whole response, status line to body, with Content-Length and, unless keepAlive,
    // "Connection: close".
    QByteArray serialise(bool keepAlive) const;
};

// What the printer and the drawer did with a job.
struct JobOutcome
{
    std::optional<bool> pulsed; // the drawer library returned 0 (or not); none: no pulse
    bool written = false;       // the printer has been handed the job's last byte
    bool timedOut = false;      // the request's time ran out first
};

// A request that the path carries out: its ESC/POS bytes, a job like a network connection's.
struct WebJobOrder
{
    enum class Answer { Epos, JsonRpc, Plain };

    QByteArray bytes;
    bool prints = false; // for the printer too; otherwise for the drawer alone
    bool pulses = false;
    int timeoutMs = 0;
    Answer answer = Answer::Epos;
    QByteArray jsonRpcId = "null"; // the JSON-RPC request's id, as it was sent
    QByteArray allowedOrigin;      // the Origin that the answer names; empty for none
};

// What the door knows when it routes a request.
struct WebDoorState
{
    const WebOrigins &origins;
    bool hasPrinter;
    bool printerOnline;
    int printerWidthDots;
};

struct Routed
{
    std::optional<HttpResponse> response; // answered at once
    std::optional<WebJobOrder> job;       // or answered once the job has its outcome
    QString logLine;                      // why it was refused, or what was left out; may be empty
};

Routed routeWebRequest(const HttpRequest &request, const WebDoorState &state);

// The answer to a job order once its outcome is known.
HttpResponse answerJob(const WebJobOrder &order, const JobOutcome &outcome, bool printerOnline);

// The answer to a request the reader refused (400, 413, 431...), with the reason as its body.
HttpResponse answerReadError(HttpRequestError error, const QString &reason);

// How long an ePOS request may wait for its outcome when it names no timeout, and at most.
constexpr int defaultEposTimeoutMs = 10000;
constexpr int longestEposTimeoutMs = 300000;

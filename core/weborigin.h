#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The web origins that may call the web door. Any page the till's browser shows can send a
// request to 127.0.0.1, so a request is acted on only when it comes from no page at all (a local
// program sends no Origin), from a page on the till itself (a loopback origin), or from an origin
// the shop listed with --http-origin. Origins are compared as RFC 6454 serialises them:
// "scheme://host[:port]", scheme and host in lower case, a scheme's default port left out.
class WebOrigins
{
public:
    enum class Verdict {
        NoOrigin, // no Origin header: not sent by a web page
        Loopback, // a page served by the till itself
        Listed,   // an origin the shop named
        Refused,  // any other page, "null" (a sandboxed or file page) included
    };

    WebOrigins() = default;
    // listed: origins in their serialised form (see serialise()).
    explicit WebOrigins(QStringList listed) : m_listed(std::move(listed)) {}

    // origin: the Origin header's value as sent; empty for none.
    Verdict judge(const QString &origin) const;
    const QStringList &listed() const { return m_listed; }

    // "https://Shop.Example.com:443" gives "https://shop.example.com"; nullopt, with the reason
    // in *error, for what is no http or https origin (a path, user info, no host, another scheme).
    static std::optional<QString> serialise(const QString &origin, QString *error = nullptr);

private:
    QStringList m_listed;
};

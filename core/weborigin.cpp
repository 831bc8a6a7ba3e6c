#include "weborigin.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

// localhost names the till itself (RFC 6761), as do 127.0.0.0/8 and ::1. QUrl has already
// turned other spellings of an address (0x7f.1, 0:0::1) into these.
bool isLoopbackHost(const QString &host)
{
    static const QRegularExpression ipv4Loopback(
        QStringLiteral("^127\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}$"));
    return host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")) ||
           host == QLatin1String("::1") || ipv4Loopback.match(host).hasMatch();
}

} // namespace

std::optional<QString> WebOrigins::serialise(const QString &origin, QString *error)
{
    const auto fail = [&](const QString &why) -> std::optional<QString> {
        if (error)
            *error = QStringLiteral("\"%1\" is no web origin: %2").arg(origin, why);
        return std::nullopt;
    };
    const QUrl url(origin, QUrl::StrictMode);
    if (!url.isValid())
        return fail(url.errorString());
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return fail(QStringLiteral("it takes http:// or https://"));
    if (url.host().isEmpty())
        return fail(QStringLiteral("it has no host"));
    if (!url.userInfo().isEmpty() || !url.query().isEmpty() || !url.fragment().isEmpty() ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return fail(QStringLiteral("an origin is scheme, host and port only"));
    const int defaultPort = scheme == QLatin1String("https") ? 443 : 80;
    QString host = url.host(QUrl::FullyEncoded).toLower();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    QString text = scheme + QLatin1String("://") + host;
    if (url.port() >= 0 && url.port() != defaultPort)
        text += QLatin1Char(':') + QString::number(url.port());
    return text;
}

WebOrigins::Verdict WebOrigins::judge(const QString &origin) const
{
    if (origin.isEmpty())
        return Verdict::NoOrigin;
    const std::optional<QString> serialised = serialise(origin);
    if (!serialised)
        return Verdict::Refused;
    if (m_listed.contains(*serialised))
        return Verdict::Listed;
    const QUrl url(*serialised);
    return isLoopbackHost(url.host()) ? Verdict::Loopback : Verdict::Refused;
}

#include "listenaddress.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

QString ListenAddress::text() const
{
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shownHost + QLatin1Char(':') + QString::number(port);
}

std::optional<ListenAddress> ListenAddress::parse(const QString &text, QString *error)
{
    const auto refuse = [error, &text](const char *why) {
        if (error)
            *error = QStringLiteral("the listen address \"%1\" %2").arg(text, QLatin1String(why));
        return std::nullopt;
    };
    // PORT alone, or ADDRESS:PORT with an IPv4 address, a bracketed IPv6 one, or a name.
    static const QRegularExpression form(QStringLiteral(
        R"(^(?:(?:(\d{1,3}(?:\.\d{1,3}){3})|\[([0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*)\]|([^:\[\]]+)):)?(\d+)$)"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return refuse("is not [ADDRESS:]PORT");
    if (!match.captured(3).isEmpty())
        return refuse("names a host; give an IP address (127.0.0.1, [::1], 0.0.0.0)");
    ListenAddress address;
    const QString ipv4 = match.captured(1);
    const QString ipv6 = match.captured(2);
    if (!ipv4.isEmpty()) {
        const QStringList parts = ipv4.split(QLatin1Char('.'));
        if (std::any_of(parts.begin(), parts.end(),
                        [](const QString &part) { return part.toInt() > 255; }))
            return refuse("is no IPv4 address");
        address.host = ipv4;
    } else if (!ipv6.isEmpty()) {
        address.host = ipv6;
    }
    bool ok = false;
    const uint port = match.captured(4).toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return refuse("needs a port from 1 to 65535");
    address.port = static_cast<quint16>(port);
    return address;
}

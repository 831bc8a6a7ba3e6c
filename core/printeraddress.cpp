#include "printeraddress.h"

#include "portname.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

QString systemLocation(const QString &port)
{
    static const QRegularExpression comName(QStringLiteral("^[Cc][Oo][Mm]([1-9][0-9]{0,3})$"));
    const QRegularExpressionMatch com = comName.match(port);
    if (com.hasMatch())
        return portLocation(com.captured(1).toInt());
#ifdef Q_OS_WIN
    return QString();
#else
    return port.startsWith(QLatin1Char('/')) ? port : QString();
#endif
}

std::optional<PrinterAddress> parseSocket(const QString &text, QString *error)
{
    // HOST[:PORT] after the scheme; an IPv6 address in brackets, as in a URI.
    static const QRegularExpression form(
        QStringLiteral(
            R"(^socket://(?:\[([0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*)\]|([A-Za-z0-9._-]+))(?::(\d+))?/?$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    const uint port = match.captured(3).isEmpty() ? PrinterAddress::defaultSocketPort
                                                  : match.captured(3).toUInt();
    if (!match.hasMatch() || port < 1 || port > 65535) {
        if (error)
            *error = QStringLiteral("the network printer \"%1\" is not socket://HOST[:PORT] with a "
                                    "port from 1 to 65535")
                         .arg(text);
        return std::nullopt;
    }
    PrinterAddress address;
    address.kind = PrinterAddress::Kind::Socket;
    address.port = text;
    address.location = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    address.socketPort = static_cast<quint16>(port);
    return address;
}

} // namespace

std::optional<PrinterAddress> PrinterAddress::parse(const QString &text, QString *error)
{
    if (text.startsWith(QLatin1String("socket:"), Qt::CaseInsensitive))
        return parseSocket(text, error);
    if (text.startsWith(QLatin1String("queue:"), Qt::CaseInsensitive)) {
        PrinterAddress address;
        address.kind = Kind::Queue;
        address.port = text;
        address.location = text.mid(6);
        const bool control = std::any_of(address.location.begin(), address.location.end(),
                                         [](QChar c) { return c.unicode() < 0x20; });
        if (!address.location.trimmed().isEmpty() && !control)
            return address;
        if (error)
            *error = QStringLiteral("the print queue \"%1\" needs a name, without control "
                                    "characters")
                         .arg(text);
        return std::nullopt;
    }
    const auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    PrinterAddress address;
    address.port = text;
    // Settings follow the last colon; a device path may hold colons of its own
    // (/dev/serial/by-path/...-usb-0:2:1.0-port0), so only a tail that reads as settings counts.
    const int colon = static_cast<int>(text.lastIndexOf(QLatin1Char(':')));
    const QString tail = colon >= 0 ? text.mid(colon + 1) : QString();
    if (const auto settings = colon >= 0 ? LineSettings::parse(tail) : std::nullopt) {
        address.settings = *settings;
        address.port = text.left(colon);
    } else if (tail.contains(QLatin1Char(','))) {
        return refuse(QStringLiteral("the printer's settings \"%1\" are not "
                                     "baud,parity,data,stop[,none|rtscts|xonxoff]")
                          .arg(tail));
    }
    address.location = systemLocation(address.port);
    if (address.location.isEmpty())
        return refuse(QStringLiteral("the printer's port \"%1\" is neither COMn nor a device path")
                          .arg(address.port));
    return address;
}

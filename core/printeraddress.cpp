#include "printeraddress.h"

#include "portname.h"

#include <QRegularExpression>

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

} // namespace

std::optional<PrinterAddress> PrinterAddress::parse(const QString &text, QString *error)
{
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

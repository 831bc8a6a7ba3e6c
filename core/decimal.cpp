#include "decimal.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <string>

std::optional<double> toDecimal(const QString &text)
{
    static const QRegularExpression number(QStringLiteral(
        "^[ \\t]*([+-]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)[ \\t]*\\z"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(match.captured(1), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double toDecimalOrFail(const QString &text, const char *what)
{
    const auto value = toDecimal(text);
    if (!value)
        throw ConversionError(std::string(what) + " is not a number: \"" + text.toStdString() +
                              '"');
    return *value;
}

qint16 toInt16OrFail(const QString &text, const char *what)
{
    const double value = toDecimalOrFail(text, what);
    if (value != std::trunc(value) || value < std::numeric_limits<qint16>::min() ||
        value > std::numeric_limits<qint16>::max())
        throw ConversionError(std::string(what) + " is not a 16-bit whole number: \"" +
                              text.toStdString() + '"');
    return static_cast<qint16>(value);
}

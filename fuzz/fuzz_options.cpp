// Checks the command-line split and the number conversions against simple reference parses.
// Byte 0 picks how the rest becomes text: even, one Latin-1 character per byte; odd, UTF-16 code
// units (so lone surrogates and non-ASCII digits turn up too).

#include "decimal.h"
#include "startoptions.h"

#include <QString>
#include <QStringList>

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

[[noreturn]] void violated(const char *what, const QString &text)
{
    std::fprintf(stderr, "fuzz_options: invariant violated: %s (text %s)\n", what,
                 text.toUtf8().toHex(' ').constData());
    std::abort();
}

std::vector<QString> referenceSplit(const QString &text)
{
    std::vector<QString> fields;
    if (text.isEmpty())
        return fields;
    QString field;
    for (const QChar c : text) {
        if (c == QLatin1Char(',')) {
            fields.push_back(field);
            field.clear();
        } else {
            field.append(c);
        }
    }
    fields.push_back(field);
    return fields;
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// The number's text without the blanks around it, when the whole text is one decimal number.
std::optional<std::string> referenceNumberText(const QString &text)
{
    int begin = 0;
    int end = static_cast<int>(text.size());
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    int i = begin;
    auto digits = [&] {
        const int from = i;
        while (i < end && isDigit(text.at(i)))
            ++i;
        return i - from;
    };
    if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    const int whole = digits();
    int fraction = 0;
    if (i < end && text.at(i) == QLatin1Char('.')) {
        ++i;
        fraction = digits();
    }
    if (whole == 0 && fraction == 0)
        return std::nullopt;
    if (i < end && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        ++i;
        if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    return text.mid(begin, end - begin).toStdString();
}

void checkSplit(const QString &text)
{
    const StartOptions options = StartOptions::fromArgumentText(text);
    const std::vector<QString> fields = referenceSplit(text);
    if (fields.size() == 2) {
        if (options.hideField != fields[0] || options.profileField != fields[1])
            violated("two fields not kept as split", text);
    } else if (options.hideField != QLatin1String("0") ||
               options.profileField != QLatin1String("0")) {
        violated("not two fields, yet not the defaults", text);
    }
    // Each field on its own is what the conversions get at start-up and at every pulse.
    for (const QString &field : fields) {
        (void)toDecimal(field);
    }
}

void checkConversions(const QString &text)
{
    const std::optional<double> value = toDecimal(text);
    if (value && !std::isfinite(*value))
        violated("toDecimal gave a value that is not finite", text);

    const std::optional<std::string> numberText = referenceNumberText(text);
    std::optional<double> expected;
    if (numberText) {
        errno = 0;
        const double parsed = std::strtod(numberText->c_str(), nullptr);
        // Too large to hold, or so small that nothing but zero is left: both refused.
        const bool outOfRange = errno == ERANGE && (std::isinf(parsed) || parsed == 0);
        if (!outOfRange)
            expected = parsed;
    }
    if (value.has_value() != expected.has_value())
        violated(expected ? "a number refused" : "not a number, yet accepted", text);
    if (value && *value != *expected)
        violated("toDecimal disagrees with the reference", text);

    bool threw = false;
    qint16 whole = 0;
    try {
        whole = toInt16OrFail(text);
    } catch (const ConversionError &) {
        threw = true;
    }
    const bool fits = expected && std::trunc(*expected) == *expected &&
                      *expected >= std::numeric_limits<qint16>::min() &&
                      *expected <= std::numeric_limits<qint16>::max();
    if (threw == fits)
        violated(fits ? "a 16-bit whole number refused" : "accepted as a 16-bit whole number",
                 text);
    if (fits && whole != static_cast<qint16>(*expected))
        violated("toInt16OrFail disagrees with the reference", text);

    std::optional<double> orFail;
    try {
        orFail = toDecimalOrFail(text);
    } catch (const ConversionError &) {
    }
    if (orFail != value)
        violated("toDecimalOrFail disagrees with toDecimal", text);
}

QString textFrom(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return QString();
    const auto *rest = data + 1;
    const std::size_t restSize = size - 1;
    if (data[0] % 2 == 0)
        return QString::fromLatin1(reinterpret_cast<const char *>(rest),
                                   static_cast<qsizetype>(restSize));
    QString text;
    for (std::size_t i = 0; i + 1 < restSize; i += 2)
        text.append(QChar(static_cast<char16_t>(rest[i] | (rest[i + 1] << 8))));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = textFrom(data, size);
    checkSplit(text);
    checkConversions(text);
    return 0;
}

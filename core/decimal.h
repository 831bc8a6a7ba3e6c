#pragma once

#include <QString>

#include <optional>
#include <stdexcept>

// A text that should have been a number and is not.
class ConversionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A decimal number with optional sign, fraction and exponent; blanks around it are ignored.
// Anything else, and values too large or too small to hold (1e999, 1e-400), give nothing.
std::optional<double> toDecimal(const QString &text);

// toDecimal, failing with ConversionError, whose text names what was converted.
double toDecimalOrFail(const QString &text, const char *what = "text");

// A whole number that fits 16 bits, failing with ConversionError.
qint16 toInt16OrFail(const QString &text, const char *what = "text");

#pragma once
// The number and text rules every subsystem shares. Decimal point is always '.',
// whatever the system locale says.
#include <QString>
#include <QStringView>
#include <optional>

namespace vt {

// Prefix rule: blanks are skipped; a leading sign, digits, one '.' and an exponent
// form the number; the first other character ends it. Text without a leading
// number, and a number beyond the range of a double, read as 0.
double PrefixValue(QStringView text);

// Numeric test: the whole text (blanks around it allowed) is a decimal number with
// optional sign, fraction and exponent. Returns its value, or nothing when the text
// is not numeric or the value is beyond the range of a double.
std::optional<double> NumericValue(QStringView text);

// Nearest whole number, a half going to the even neighbour (12.5 -> 12, 13.5 -> 14).
double RoundHalfEven(double value);

// Nearest decimal with at most 15 significant digits, no trailing zeros, no
// trailing point, '-' when negative (0.25, -0.5, 12). Never "-0".
QString NumberToText(double value);

// The "####0.00" form: at least one integer digit, exactly two decimals, no
// grouping, '-' when negative. A half at the third decimal (as written with 15
// significant digits) goes away from zero. Never "-0.00".
QString FormatFixed2(double value);

} // namespace vt

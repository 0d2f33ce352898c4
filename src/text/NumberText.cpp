#include "text/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace vt {

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A number reduced to plain ASCII: "[-]digits[.digits][e[-]digits]". Building this
// first keeps the conversion locale-free and lets both readers share it.
struct Scanned {
    std::string text;
    bool hasDigits = false;
};

enum class Conversion { Ok, Overflow };

// Decimal magnitude (position of the leading significant digit, 1 for 1..9) of a
// scanned number whose conversion went out of range; only its sign matters, so the
// exponent is read saturating.
long magnitudeOf(const std::string& s)
{
    long intDigits = 0;        // significant digits before the point
    long zerosAfterPoint = 0;  // zeros between the point and the first significant digit
    bool seenPoint = false;
    bool significant = false;
    std::size_t i = (!s.empty() && s[0] == '-') ? 1 : 0;
    for (; i < s.size() && s[i] != 'e'; ++i) {
        const char c = s[i];
        if (c == '.')
            seenPoint = true;
        else if (c != '0' || significant) {
            significant = true;
            if (!seenPoint)
                ++intDigits;
        } else if (seenPoint) {
            ++zerosAfterPoint;
        }
    }
    long exponent = 0;
    if (i < s.size()) {
        ++i;
        const bool negative = i < s.size() && s[i] == '-';
        if (negative)
            ++i;
        for (; i < s.size(); ++i)
            exponent = std::min(exponent * 10 + (s[i] - '0'), 1000000L);
        if (negative)
            exponent = -exponent;
    }
    return (intDigits > 0 ? intDigits : -zerosAfterPoint) + exponent;
}

Conversion convert(const std::string& s, double& value)
{
    const char* first = s.data();
    const char* last = first + s.size();
    double v = 0;
    const auto result = std::from_chars(first, last, v);
    if (result.ec == std::errc::result_out_of_range) {
        if (magnitudeOf(s) > 0)
            return Conversion::Overflow;
        // Too small for a double: it is zero to every digit we can show.
        value = 0;
        return Conversion::Ok;
    }
    value = (result.ec == std::errc()) ? v : 0;
    return Conversion::Ok;
}

// Reads a number from the start of text. With skipBlanks, blanks anywhere before
// the number ends are ignored; without, the first blank ends it. Returns the index
// after the last character that belongs to the number.
qsizetype scan(QStringView text, bool skipBlanks, Scanned& out)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skip = [&](qsizetype& at) {
        if (skipBlanks)
            while (at < n && isBlank(text[at]))
                ++at;
    };

    skip(i);
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            out.text.push_back('-');
        ++i;
    }
    bool seenPoint = false;
    qsizetype end = i;
    for (;;) {
        skip(i);
        if (i >= n)
            break;
        const QChar c = text[i];
        if (isDigit(c)) {
            out.text.push_back(char(c.unicode()));
            out.hasDigits = true;
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
            out.text.push_back('.');
        } else {
            break;
        }
        end = ++i;
    }
    if (!out.hasDigits || i >= n || (text[i] != u'e' && text[i] != u'E'))
        return end;

    // An exponent counts only when at least one digit follows; otherwise the number
    // ends before the 'e'.
    qsizetype j = i + 1;
    std::string exponent = "e";
    skip(j);
    if (j < n && (text[j] == u'+' || text[j] == u'-')) {
        if (text[j] == u'-')
            exponent.push_back('-');
        ++j;
    }
    bool expDigits = false;
    for (;;) {
        skip(j);
        if (j >= n || !isDigit(text[j]))
            break;
        exponent.push_back(char(text[j].unicode()));
        expDigits = true;
        end = ++j;
    }
    if (expDigits)
        out.text += exponent;
    return end;
}

// The value rounded to 15 significant digits: the digits (no point) and the
// decimal exponent of the first one.
struct Digits {
    std::string digits;  // 15 digits, first non-zero
    int exponent = 0;
};

Digits toDigits(double magnitude)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, magnitude,
                                 std::chars_format::scientific, 14);
    const std::string s(buf, r.ptr);  // d.dddddddddddddde[+-]xx
    Digits d;
    const auto ePos = s.find('e');
    for (std::size_t k = 0; k < ePos; ++k)
        if (s[k] != '.')
            d.digits.push_back(s[k]);
    int e = 0;
    std::from_chars(s.data() + ePos + 1 + (s[ePos + 1] == '+' ? 1 : 0),
                    s.data() + s.size(), e);
    d.exponent = e;

    // The few largest doubles round up past the largest double (1.79769313486232E+308),
    // a text nothing can read back; round those toward zero instead. Rounding moved the
    // last digit up by one, so taking one off it gives the truncated digits.
    double back = 0;
    if (e > 0 && std::from_chars(s.data(), s.data() + s.size(), back).ec == std::errc::result_out_of_range) {
        std::size_t k = d.digits.size();
        while (k > 0 && d.digits[k - 1] == '0')
            d.digits[--k] = '9';
        if (k > 0)
            --d.digits[k - 1];
    }
    return d;
}

} // namespace

double PrefixValue(QStringView text)
{
    Scanned s;
    scan(text, true, s);
    if (!s.hasDigits)
        return 0;
    double v = 0;
    if (convert(s.text, v) == Conversion::Overflow)
        return 0;
    return v;
}

std::optional<double> NumericValue(QStringView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    const QStringView body = text.mid(from, to - from);
    if (body.isEmpty())
        return std::nullopt;

    Scanned s;
    if (scan(body, false, s) != body.size() || !s.hasDigits)
        return std::nullopt;
    double v = 0;
    if (convert(s.text, v) == Conversion::Overflow)
        return std::nullopt;
    return v;
}

double RoundHalfEven(double value)
{
    // Done by hand so the result does not depend on the floating-point rounding mode.
    if (!std::isfinite(value))
        return value;
    const double below = std::floor(value);
    const double fraction = value - below;  // exact for every double
    double result = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0))
        result = below + 1;
    return result + 0.0;  // turns -0 into 0
}

QString NumberToText(double value)
{
    if (!std::isfinite(value) || value == 0)
        return QStringLiteral("0");

    const Digits d = toDigits(std::fabs(value));
    std::string digits = d.digits;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int e = d.exponent;

    std::string out;
    if (value < 0)
        out.push_back('-');
    if (e >= 15 || e < -5) {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back('.');
            out.append(digits, 1, std::string::npos);
        }
        out.push_back('E');
        out.push_back(e < 0 ? '-' : '+');
        std::string exp = std::to_string(e < 0 ? -e : e);
        if (exp.size() < 2)
            exp.insert(0, 1, '0');
        out += exp;
    } else if (e < 0) {
        out += "0.";
        out.append(std::size_t(-e - 1), '0');
        out += digits;
    } else {
        const std::size_t intCount = std::size_t(e) + 1;
        if (digits.size() <= intCount) {
            out += digits;
            out.append(intCount - digits.size(), '0');
        } else {
            out.append(digits, 0, intCount);
            out.push_back('.');
            out.append(digits, intCount, std::string::npos);
        }
    }
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

QString FormatFixed2(double value)
{
    if (!std::isfinite(value) || value == 0)
        return QStringLiteral("0.00");

    // Work on the 15-digit decimal form so a value written as 12.345 rounds as
    // written, not as its slightly smaller binary neighbour.
    const Digits d = toDigits(std::fabs(value));
    auto digitAt = [&](long k) {
        return (k >= 0 && k < long(d.digits.size())) ? d.digits[std::size_t(k)] : '0';
    };

    // Hundredths as a whole number: its digits are the digits placed at 10^2 and up.
    const long wholeCount = long(d.exponent) + 3;
    std::string hundredths;
    for (long k = 0; k < wholeCount; ++k)
        hundredths.push_back(digitAt(k));
    const char next = wholeCount >= 0 ? digitAt(wholeCount) : '0';
    if (next >= '5') {
        long k = long(hundredths.size()) - 1;
        for (; k >= 0 && hundredths[std::size_t(k)] == '9'; --k)
            hundredths[std::size_t(k)] = '0';
        if (k >= 0)
            ++hundredths[std::size_t(k)];
        else
            hundredths.insert(0, 1, '1');
    }
    if (hundredths.size() < 3)
        hundredths.insert(0, 3 - hundredths.size(), '0');

    const bool zero = hundredths.find_first_not_of('0') == std::string::npos;
    std::string out;
    if (value < 0 && !zero)
        out.push_back('-');
    out.append(hundredths, 0, hundredths.size() - 2);
    out.push_back('.');
    out.append(hundredths, hundredths.size() - 2, 2);
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

} // namespace vt

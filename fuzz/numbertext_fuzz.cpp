// The number rules: the two readers on any text, and for any finite double the
// writers' texts, which must read back as a number close to it.
#include "text/NumberText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

[[noreturn]] void fail(const char* what, double x, const QString& text)
{
    std::fprintf(stderr, "%s: %.17g gave \"%s\"\n", what, x, text.toLatin1().constData());
    std::abort();
}

// Plain decimal or d[.ddd]E[+-]dd, '-' only in front, no trailing zeros or point.
bool wellFormed(const QString& t)
{
    const QByteArray b = t.toLatin1();
    qsizetype i = b.startsWith('-') ? 1 : 0;
    if (i >= b.size() || b == "-0")
        return false;
    const qsizetype e = b.indexOf('E');
    const QByteArray mantissa = b.mid(i, e < 0 ? -1 : e - i);
    for (char c : mantissa)
        if (!(c == '.' || (c >= '0' && c <= '9')))
            return false;
    if (mantissa.contains('.') && (mantissa.endsWith('0') || mantissa.endsWith('.')))
        return false;
    if (mantissa.size() - (mantissa.contains('.') ? 1 : 0) > 15 + 5)
        return false;  // at most 15 significant digits, and leading zeros below 1E-05
    if (e >= 0) {
        const QByteArray exp = b.mid(e + 1);
        if (exp.size() < 3 || (exp[0] != '+' && exp[0] != '-'))
            return false;
    }
    return true;
}

void checkDouble(double x)
{
    if (!std::isfinite(x))
        return;

    const QString text = vt::NumberToText(x);
    if (!wellFormed(text))
        fail("NumberToText form", x, text);
    const auto back = vt::NumericValue(text);
    if (!back)
        fail("NumberToText does not read back", x, text);
    // 15 significant digits: within one unit of the 15th digit, and underflow to 0
    // only for values far below anything shown.
    if (std::fabs(*back - x) > std::fabs(x) * 1e-14 + std::numeric_limits<double>::denorm_min() * 4)
        fail("NumberToText reads back far off", x, text);
    if (vt::PrefixValue(text) != *back)
        fail("the two readers disagree on NumberToText", x, text);

    const QString fixed = vt::FormatFixed2(x);
    const auto fixedBack = vt::NumericValue(fixed);
    if (!fixedBack)
        fail("FormatFixed2 does not read back", x, fixed);
    if (std::fabs(*fixedBack - x) > 0.005 + std::fabs(x) * 1e-14)
        fail("FormatFixed2 reads back far off", x, fixed);
    const qsizetype point = fixed.indexOf(u'.');
    if (point < 1 || point != fixed.size() - 3 || fixed == QStringLiteral("-0.00"))
        fail("FormatFixed2 form", x, fixed);

    const double whole = vt::RoundHalfEven(x);
    const double off = std::fabs(whole - x);
    if (whole != std::floor(whole) || (std::signbit(whole) && whole == 0) || off > 0.5
        || (off == 0.5 && std::fmod(whole, 2.0) != 0))
        fail("RoundHalfEven", x, vt::NumberToText(whole));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Any text: a numeric text reads the same both ways; neither reader gives a
    // non-finite value.
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const double prefix = vt::PrefixValue(text);
    if (!std::isfinite(prefix))
        fail("PrefixValue not finite", prefix, text);
    if (const auto v = vt::NumericValue(text)) {
        if (!std::isfinite(*v))
            fail("NumericValue not finite", *v, text);
        if (*v != prefix)
            fail("NumericValue and PrefixValue disagree", *v, text);
        checkDouble(*v);
    }

    // The first eight bytes as a double, so every bit pattern is reachable.
    if (size >= sizeof(double)) {
        double x = 0;
        std::memcpy(&x, data, sizeof x);
        checkDouble(x);
        checkDouble(std::nextafter(x, 0.0));
    }
    return 0;
}

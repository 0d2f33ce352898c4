#include "record/RoundTicks.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace vt {

namespace {
constexpr int kMaxLabels = 6;  // six labels fit a chart's height without crowding

// multiple × 10^exponent as the double nearest to it, which is what its label reads
// back as. Beyond 10^22 no power of ten is a double, so a product rounds twice, and
// std::pow itself is a unit off for some powers (glibc: 10^23; mingw-w64: most above
// 10^32); reading the decimal rounds once, on every C library.
double scaled(double multiple, int exponent)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0fe%d", multiple, exponent);
    return std::strtod(text, nullptr);
}
}

AxisTicks RoundTicks(double low, double high)
{
    AxisTicks ticks;
    if (!(low <= high) || !std::isfinite(low) || !std::isfinite(high))
        return ticks;
    if (low == high) {
        const double margin = (high + 1 != high) ? 1.0 : std::fabs(high) * 0.05;
        low -= margin;
        high += margin;
    }
    constexpr double kMax = std::numeric_limits<double>::max();
    // A step is mantissa times 10^exponent, the mantissa a whole number (10, 20, 25 or
    // 50) so that every label is a whole multiple held exactly before the power is
    // applied. Halved before subtracting so the widest range cannot overflow.
    const double span = high / 2 - low / 2;
    int exponent = int(std::floor(std::log10(span / kMaxLabels))) - 2;
    static constexpr int kMantissas[] = { 10, 20, 25, 50 };
    for (int tries = 0; tries < 40; ++tries, ++exponent) {
        const double power = std::pow(10.0, std::abs(exponent));
        for (const int mantissa : kMantissas) {
            const double step = exponent < 0 ? mantissa / power : mantissa * power;
            // A point a rounding error past a label still counts as on it.
            const double first = std::floor(low / step + 1e-9);
            const double last = std::ceil(high / step - 1e-9);
            if (last - first + 1 > kMaxLabels)
                continue;
            const double largest = std::max(std::fabs(first), std::fabs(last)) * mantissa;
            const bool plain = exponent >= -8 && largest * (exponent < 0 ? 1 / power : power) < 1e9;
            // Decimals the step needs: 25 carries one more than 10, 20 and 50.
            const int decimals = std::max(0, -exponent - (mantissa == 25 ? 0 : 1));
            int digits = 1;
            for (double k = first; k <= last; ++k) {
                // Adding 0 turns -0 into 0.
                const double multiple = k * mantissa + 0.0;
                const double value = std::clamp(scaled(multiple, exponent), -kMax, kMax);
                ticks.values.append(value);
                digits = std::max(digits, int(std::floor(std::log10(std::max(1.0, std::fabs(multiple))))) + 1);
            }
            for (const double value : std::as_const(ticks.values))
                ticks.labels.append(plain ? QString::number(value, 'f', decimals) : QString::number(value, 'g', digits));
            ticks.step = step;
            return ticks;
        }
    }
    return ticks;
}

} // namespace vt

#include "display/History.h"

#include <cmath>

namespace vt {

int AddReading(History& history, double value, int row, bool full)
{
    if (!full) {
        history[size_t(row)] = value;
        return row;
    }
    for (int i = 2; i <= 10; ++i)
        history[size_t(i - 1)] = history[size_t(i)];
    history[10] = value;
    return 10;
}

double Baseline(const History& history, int used)
{
    double baseline = 100000;
    for (int i = 1; i <= used; ++i)
        if (history[size_t(i)] < baseline)
            baseline = history[size_t(i)];
    return std::trunc(baseline);
}

} // namespace vt

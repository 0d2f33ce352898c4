#pragma once
// Round labels for a value axis, shared by the station's charts and the log picture.
#include <QList>
#include <QStringList>

namespace vt {

struct AxisTicks {
    QList<double> values;  // ascending; the first and last are the axis's ends
    QStringList labels;
    double step = 0;
};

// Four to six labels a step of 1, 2, 2.5 or 5 times a power of ten apart, the first at
// or below low and the last at or above high, so every point lies within them: the
// smallest such step that needs no more than six. A flat range (low equal to high) is
// widened by one either side, or by 5 % of the value where one is lost in rounding.
// Nothing for a range that is not finite or has low above high.
AxisTicks RoundTicks(double low, double high);

} // namespace vt

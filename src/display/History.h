#pragma once
// The last ten readings of one chart, entries 1 to 10 (entry 0 is never used), and the
// whole-number baseline they are drawn against.
#include <array>

namespace vt {

using History = std::array<double, 11>;

// Takes a reading in. While the chart is not full it goes to entry row; once full, the
// oldest gives way and it becomes entry 10. Returns how many entries are in use.
int AddReading(History& history, double value, int row, bool full);

// The smallest of entries 1 to used, truncated toward zero; 100000 when none is smaller.
double Baseline(const History& history, int used);

} // namespace vt

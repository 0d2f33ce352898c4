#include "record/RecordLayout.h"

namespace vt {

namespace {

// Differential records carry one more field before the units flag.
constexpr RecordLayout kLayouts[] = {
    { .letter = 'B', .units = 3, .pressure = 4, .elevation = 5 },
    { .letter = 'R', .units = 3, .pressure = 4, .elevation = 5 },
    { .letter = 'T', .units = 3, .pressure = 4, .elevation = 5 },
    { .letter = 'D', .units = 4, .pressure = 5, .elevation = 8, .inverse = 3, .datum = 7 },
    { .letter = 'A', .units = 4, .pressure = 5, .elevation = 8, .adjustment = 9 },
};

} // namespace

const RecordLayout* RecordLayoutOf(char letter)
{
    for (const RecordLayout& l : kLayouts)
        if (l.letter == letter)
            return &l;
    return nullptr;
}

QString UnitName(Quantity quantity, bool imperial)
{
    if (quantity == Quantity::Pressure)
        return imperial ? QStringLiteral("inHg") : QStringLiteral("mb");
    return imperial ? QStringLiteral("ft") : QStringLiteral("m");
}

QString RecordTitle(char letter, Quantity quantity, const QString& node, const QString& detail)
{
    const QString what = quantity == Quantity::Pressure ? QStringLiteral("Pressure") : QStringLiteral("Elevation");
    switch (letter) {
    case 'R':
        return QStringLiteral("Absolute %1 (Rover %2, %3)").arg(what, node, detail);
    case 'A':
    case 'D':
        if (node.isEmpty())
            return QStringLiteral("Differential %1 (%2)").arg(what, detail);
        return QStringLiteral("Differential %1 (node %2, %3)").arg(what, node, detail);
    default:
        return QStringLiteral("Absolute %1 (Base %2, %3)").arg(what, node, detail);
    }
}

} // namespace vt

#include "app/StationIcon.h"

#include <QPainter>

namespace vt {

void DrawStationIcon(QPainter& p, int size)
{
    p.save();
    // Drawn on a 32-unit grid; the native size keeps its crisp two-colour pixels, other
    // sizes are scaled and smoothed.
    p.setRenderHint(QPainter::Antialiasing, size != 32);
    p.scale(size / 32.0, size / 32.0);
    const QColor ink(0x10, 0x3c, 0x78);
    p.setPen(QPen(ink, 2));
    p.setBrush(Qt::white);
    p.drawEllipse(3, 3, 26, 26);
    p.drawLine(16, 16, 24, 8);
    p.setBrush(ink);
    p.drawRect(14, 14, 4, 4);
    p.drawLine(6, 24, 12, 19);
    p.drawLine(12, 19, 17, 23);
    p.drawLine(17, 23, 26, 17);
    p.restore();
}

} // namespace vt

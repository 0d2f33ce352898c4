#pragma once
// The station's picture, a barometer dial with its needle over a hill line. The window's
// icon and the menu entry's icon files are all drawn by this one function.
class QPainter;

namespace vt {

// Draws the picture into the square (0, 0, size, size) of the painter's device. At 32
// pixels it is drawn without antialiasing, two colours on a transparent ground.
void DrawStationIcon(QPainter& painter, int size);

} // namespace vt

// The picture of a day: panels of pressure and elevation against the time of day.
#include "LogPlot.h"

#include "record/RoundTicks.h"

#include <QFont>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace vt::logplot {

namespace {

constexpr int kLeft = 82;    // room for the value labels
constexpr int kRight = 24;
constexpr int kTop = 30;     // the panel's title
constexpr int kBottom = 26;  // the time labels
constexpr int kPlotHeight = 170;
constexpr int kHeader = 44;

int timeStep(int range)
{
    static constexpr int steps[] = { 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600 };
    for (int s : steps)
        if (range / s <= 7)
            return s;
    return 21600;
}

QString timeLabel(int seconds, bool withSeconds)
{
    return QTime::fromMSecsSinceStartOfDay((seconds % 86400) * 1000)
        .toString(withSeconds ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
}

QString letterText(char letter)
{
    switch (letter) {
    case 'B': return QStringLiteral("base readings (B)");
    case 'R': return QStringLiteral("rover readings (R)");
    case 'T': return QStringLiteral("network readings (T)");
    case 'D': return QStringLiteral("datum readings (D)");
    default: return QStringLiteral("adjustment readings (A)");
    }
}

void drawPanel(QPainter& p, const Panel& panel, const DayPlot& plot, QRect area)
{
    const int columns = int(panel.columns.size());
    const QRect box(area.left() + kLeft, area.top() + kTop, columns, kPlotHeight);
    const QLocale numbers = QLocale::c();

    QFont titleFont = p.font();
    titleFont.setBold(true);
    p.setFont(titleFont);
    p.setPen(Qt::black);
    p.drawText(QRect(box.left(), area.top() + 4, columns, kTop - 6), Qt::AlignLeft | Qt::AlignBottom, panel.title());
    QFont small = p.font();
    small.setBold(false);
    p.setFont(small);
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawText(QRect(box.left(), area.top() + 4, columns, kTop - 6), Qt::AlignRight | Qt::AlignBottom,
               QStringLiteral("%1, %2").arg(letterText(panel.letter), numbers.toString(panel.points)));

    // Value axis: the panel's own range, widened to its round labels.
    const AxisTicks ticks = RoundTicks(panel.min, panel.max);
    const double lo = ticks.values.isEmpty() ? panel.min - 1 : ticks.values.front();
    const double hi = ticks.values.isEmpty() ? panel.max + 1 : ticks.values.back();
    auto y = [&](double v) { return box.bottom() - (v - lo) / (hi - lo) * (box.height() - 1); };

    // Time axis: shared by all panels; a single instant gets a minute around it.
    const int first = plot.firstSeconds == plot.lastSeconds ? plot.firstSeconds - 30 : plot.firstSeconds;
    const int last = plot.firstSeconds == plot.lastSeconds ? plot.lastSeconds + 30 : plot.lastSeconds;
    auto x = [&](double seconds) { return box.left() + 0.5 + (seconds - first) * (columns - 1) / double(last - first); };

    // A few pixels of air around the plot, so readings at its edges show whole.
    const QRect frame = box.adjusted(-5, -3, 5, 3);
    p.fillRect(frame, QColor(0xfa, 0xfb, 0xfd));
    const QPen grid(QColor(0xdd, 0xe1, 0xe8), 1);
    const QFontMetrics fm(small);

    for (qsizetype i = 0; i < ticks.values.size(); ++i) {
        const double yy = y(ticks.values.at(i));
        p.setPen(grid);
        p.drawLine(QPointF(frame.left(), yy), QPointF(frame.right(), yy));
        p.setPen(QColor(0x33, 0x33, 0x33));
        p.drawText(QRectF(area.left(), yy - fm.height() / 2.0, kLeft - 12, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   ticks.labels.at(i));
    }
    const int tstep = timeStep(last - first);
    for (int t = (first + tstep - 1) / tstep * tstep; t <= last; t += tstep) {
        const double xx = x(t);
        p.setPen(grid);
        p.drawLine(QPointF(xx, box.top()), QPointF(xx, box.bottom()));
        p.setPen(QColor(0x33, 0x33, 0x33));
        p.drawText(QRectF(xx - 40, box.bottom() + 4, 80, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   timeLabel(t, tstep < 60));
    }
    p.setPen(QColor(0x88, 0x88, 0x88));
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame.adjusted(0, 0, -1, -1));

    // The series: each pixel column shows its readings' range; neighbours are joined
    // unless the log has a gap between them of more than a minute, or of three times the
    // panel's usual spacing when it reads more seldom. A reading joined to nothing is a dot.
    const QColor ink = panel.quantity == Quantity::Pressure ? QColor(0x10, 0x3c, 0x78) : QColor(0x1b, 0x7a, 0x3a);
    p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setClipRect(frame);
    std::vector<int> used;
    for (int c = 0; c < columns; ++c)
        if (panel.columns[size_t(c)].count > 0)
            used.push_back(c);
    double spacing = 0;
    if (panel.points > 1 && !used.empty())
        spacing = double(panel.columns[size_t(used.back())].lastSeconds - panel.columns[size_t(used.front())].firstSeconds)
            / (panel.points - 1);
    const double gap = std::max(60.0, 3 * spacing);
    auto joined = [&](size_t i) {  // used[i - 1] to used[i]
        return i > 0 && i < used.size()
            && std::abs(panel.columns[size_t(used[i])].firstSeconds - panel.columns[size_t(used[i - 1])].lastSeconds) <= gap;
    };
    auto xOf = [&](int c) { return box.left() + 0.5 + c; };
    for (size_t i = 0; i < used.size(); ++i) {
        const Column& col = panel.columns[size_t(used[i])];
        const double xx = xOf(used[i]);
        if (joined(i))
            p.drawLine(QPointF(xOf(used[i - 1]), y(panel.columns[size_t(used[i - 1])].last)), QPointF(xx, y(col.first)));
        if (col.count > 1)
            p.drawLine(QPointF(xx, y(col.min)), QPointF(xx, y(col.max)));
        if (panel.points <= columns / 4 || (!joined(i) && !joined(i + 1))) {
            p.setBrush(ink);
            p.drawEllipse(QPointF(xx, y(col.last)), 2.2, 2.2);
            p.setBrush(Qt::NoBrush);
        }
    }
    p.setClipping(false);
}

} // namespace

QImage Render(const DayPlot& plot, const QString& logName)
{
    const int columns = plot.panels.empty() ? 560 : int(plot.panels.front().columns.size());
    const int panelWidth = kLeft + columns + kRight;
    const int panelHeight = kTop + kPlotHeight + kBottom;
    const int rows = int(plot.panels.size() + 1) / 2;
    QImage image(2 * panelWidth, kHeader + rows * panelHeight + 8, QImage::Format_RGB32);
    image.fill(Qt::white);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(13);
    p.setFont(font);

    const QLocale numbers = QLocale::c();
    QFont head = font;
    head.setPixelSize(16);
    head.setBold(true);
    p.setFont(head);
    p.setPen(Qt::black);
    p.drawText(QRect(12, 6, image.width() - 24, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1, %2, %3 to %4").arg(logName, plot.date, timeLabel(plot.firstSeconds, true),
                                                     timeLabel(plot.lastSeconds, true)));
    p.setFont(font);
    p.setPen(QColor(0x44, 0x44, 0x44));
    QString counts = QStringLiteral("%1 lines; %2 unreadable, skipped").arg(numbers.toString(plot.lines),
                                                                            numbers.toString(plot.unreadable));
    if (plot.otherDays)
        counts += QStringLiteral("; %1 of other days").arg(numbers.toString(plot.otherDays));
    if (plot.leftOut)
        counts += QStringLiteral("; %1 of further nodes not drawn").arg(numbers.toString(plot.leftOut));
    p.drawText(QRect(12, 26, image.width() - 24, 16), Qt::AlignLeft | Qt::AlignVCenter, counts);

    for (size_t i = 0; i < plot.panels.size(); ++i) {
        const QRect area(int(i % 2) * panelWidth, kHeader + int(i / 2) * panelHeight, panelWidth, panelHeight);
        drawPanel(p, plot.panels[i], plot, area);
    }
    p.end();
    return image;
}

} // namespace vt::logplot

#include "display/Chart.h"

#include "text/NumberText.h"

#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vt {

namespace {
constexpr int kDefaultRows = 10;
constexpr int kDrawnRows = 10;  // the x axis shows rows 1 to 10 only
} // namespace

AxisRange HeldRange(double low, double high, AxisRange current)
{
    // An axis that moves with every reading is hard to read, and each move lays the
    // chart out and paints all of it again. Spans are halved before subtracting so
    // that values near the double limits cannot overflow them.
    const bool inside = current.low <= low && high <= current.high;
    if (inside && high / 2 - low / 2 >= 0.8 * (current.high / 2 - current.low / 2))
        return current;
    const AxisTicks ticks = RoundTicks(low, high);
    if (ticks.values.isEmpty())
        return current;
    return { ticks.values.front(), ticks.values.back() };
}

Chart::Chart(const QString& title, QWidget* parent)
    : QChartView(parent)
{
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    // The window is small: give the plot the room the frame would take.
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 0, 8, 0));
    chart->layout()->setContentsMargins(0, 0, 0, 0);

    m_series = new QLineSeries(chart);
    m_series->setPointsVisible(true);
    chart->addSeries(m_series);

    m_axisX = new QValueAxis(chart);
    m_axisX->setRange(1, kDrawnRows);
    m_axisX->setTickCount(kDrawnRows);
    m_axisX->setLabelFormat(QStringLiteral("%d"));
    // Labels are placed by value and written here, so they read as round numbers.
    m_axisY = new QCategoryAxis(chart);
    m_axisY->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_axisY->setRange(0, 1);
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    m_series->attachAxis(m_axisX);
    m_series->attachAxis(m_axisY);
    // The grid and the background stay put while the series over them changes with every
    // reading: the view draws them once into a picture of its own and copies that, where
    // the chart's items would be drawn again, with antialiasing, on every paint.
    m_gridPen = m_axisX->gridLinePen();
    m_axisX->setGridLineVisible(false);
    m_axisY->setGridLineVisible(false);
    chart->setBackgroundVisible(false);
    setCacheMode(QGraphicsView::CacheBackground);
    connect(chart, &QChart::plotAreaChanged, this, &Chart::redrawBackground);
    // Axis lines and ticks one device pixel wide: Qt then takes their bounds from the
    // line itself instead of stroking an outline of it each time it asks.
    for (QAbstractAxis* axis : { static_cast<QAbstractAxis*>(m_axisX), static_cast<QAbstractAxis*>(m_axisY) }) {
        QPen line = axis->linePen();
        line.setWidth(0);
        axis->setLinePen(line);
    }

    // The view made a chart of its own, which setChart lets go of without deleting.
    QChart* const own = this->chart();
    setChart(chart);  // the view owns the chart from here on
    delete own;
    setRenderHint(QPainter::Antialiasing);

    for (int i = 0; i < kDefaultRows; ++i)
        m_data.append(QString());
    setTitleText(title);
    redraw();
}

void Chart::setRow(int row)
{
    m_row = std::clamp(row, 1, std::max(1, RowCount()));
}

void Chart::setRowCount(int rows)
{
    m_data.clear();
    for (int i = 0; i < rows; ++i)
        m_data.append(QString());
    m_row = 1;
    changed();
}

QString Chart::Data() const
{
    const int i = m_row - 1;
    return i < m_data.size() ? m_data.at(i) : QString();
}

void Chart::setData(const QString& text)
{
    const int i = m_row - 1;
    if (i >= m_data.size())
        return;  // no rows: nothing to hold the point
    m_data[i] = text;
    changed();
}

void Chart::setTitleText(const QString& title)
{
    // Setting a title relays the chart out and repaints it, even the same title.
    if (title == m_title)
        return;
    m_title = title;
    // QChart lays its title out as rich text; escaping keeps "<b>" and "&" literal.
    chart()->setTitle(title.toHtmlEscaped());
    chart()->layout()->activate();  // with the points, not in a paint of its own
    setAccessibleName(title);
}

Chart::Update::Update(Chart& chart)
    : m_chart(&chart)
{
    ++chart.m_updates;
}

Chart::Update::~Update()
{
    if (!m_chart)
        return;
    if (--m_chart->m_updates == 0 && m_chart->m_dirty)
        m_chart->redraw();
}

QList<QPointF> Chart::drawnPoints() const
{
    return m_series->points();
}

void Chart::changed()
{
    m_dirty = true;
    if (m_updates == 0)
        redraw();
}

void Chart::redraw()
{
    m_dirty = false;
    // Text that is not a number is left out like an empty row: plotting it as 0
    // would show a reading the node never gave.
    QList<QPointF> points;
    const int last = std::min<int>(kDrawnRows, int(m_data.size()));
    for (int r = 1; r <= last; ++r) {
        if (const auto v = NumericValue(m_data.at(r - 1)))
            points.append(QPointF(r, *v));
    }
    m_series->replace(points);

    AxisRange range;
    if (!points.isEmpty()) {
        const auto [minIt, maxIt] = std::minmax_element(
            points.cbegin(), points.cend(),
            [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
        range = HeldRange(minIt->y(), maxIt->y(), { m_axisY->min(), m_axisY->max() });
    }
    setValueAxis(range.low, range.high);

    QString description;
    if (points.isEmpty()) {
        description = tr("No points");
    } else {
        QStringList values;
        for (const QPointF& p : points)
            // Six digits keep every reading's hundredths and spare the listener the
            // rounding noise of the offsets (1.09999999999999 is heard as 1.1).
            values.append(tr("row %1: %2").arg(int(p.x())).arg(QString::number(p.y(), 'g', 6)));
        description = values.join(QStringLiteral(", "));
    }
    // Each change is an event to every screen reader listening.
    if (description != accessibleDescription())
        setAccessibleDescription(description);
}

void Chart::setValueAxis(double low, double high)
{
    if (low == m_axisY->min() && high == m_axisY->max() && !m_yLabels.isEmpty())
        return;
    m_axisY->setRange(low, high);
    m_axisY->setStartValue(low);
    redrawBackground();  // the grid moves with the range
    const AxisTicks ticks = RoundTicks(low, high);
    m_yTicks = ticks.values;
    if (ticks.labels == m_yLabels)
        return;
    for (const QString& label : std::as_const(m_yLabels))
        m_axisY->remove(label);
    for (qsizetype i = 0; i < ticks.values.size(); ++i)
        m_axisY->append(ticks.labels.at(i), ticks.values.at(i));
    m_yLabels = ticks.labels;
    // New labels are laid out on a later turn of the event loop, which would paint the
    // chart a second time; lay them out now, with the points.
    chart()->layout()->activate();
}

void Chart::redrawBackground()
{
    // Into the picture the view keeps; resetting its cache instead would allocate the
    // picture anew each time.
    invalidateScene(sceneRect(), QGraphicsScene::BackgroundLayer);
}

void Chart::drawBackground(QPainter* painter, const QRectF& rect)
{
    painter->fillRect(rect, chart()->backgroundBrush());
    const QRectF plot = chart()->plotArea();
    const double low = m_axisY->min();
    const double high = m_axisY->max();
    if (plot.isEmpty() || !(low < high))
        return;
    painter->setPen(m_gridPen);
    // Where the axes put their ticks: every row, and the value axis's round numbers
    // and both its ends.
    for (int r = 1; r <= kDrawnRows; ++r) {
        const double x = plot.left() + plot.width() * (r - 1) / (kDrawnRows - 1);
        painter->drawLine(QLineF(x, plot.top(), x, plot.bottom()));
    }
    QList<double> values = m_yTicks;
    values << low << high;
    for (const double v : std::as_const(values)) {
        const double y = plot.bottom() - plot.height() * (v / 2 - low / 2) / (high / 2 - low / 2);
        painter->drawLine(QLineF(plot.left(), y, plot.right(), y));
    }
}

} // namespace vt

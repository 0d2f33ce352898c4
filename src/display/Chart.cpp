#include "display/Chart.h"

#include "text/NumberText.h"

#include <QChart>
#include <QGraphicsLayout>
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
    m_axisY = new QValueAxis(chart);
    m_axisY->setRange(0, 1);
    chart->addAxis(m_axisX, Qt::AlignBottom);
    chart->addAxis(m_axisY, Qt::AlignLeft);
    m_series->attachAxis(m_axisX);
    m_series->attachAxis(m_axisY);

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
    redraw();
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
    redraw();
}

void Chart::setTitleText(const QString& title)
{
    m_title = title;
    // QChart lays its title out as rich text; escaping keeps "<b>" and "&" literal.
    chart()->setTitle(title.toHtmlEscaped());
    setAccessibleName(title);
}

QList<QPointF> Chart::drawnPoints() const
{
    return m_series->points();
}

void Chart::redraw()
{
    // Text that is not a number is left out like an empty row: plotting it as 0
    // would show a reading the node never gave.
    QList<QPointF> points;
    const int last = std::min<int>(kDrawnRows, int(m_data.size()));
    for (int r = 1; r <= last; ++r) {
        if (const auto v = NumericValue(m_data.at(r - 1)))
            points.append(QPointF(r, *v));
    }
    m_series->replace(points);

    double low = 0;
    double high = 1;
    if (!points.isEmpty()) {
        const auto [minIt, maxIt] = std::minmax_element(
            points.cbegin(), points.cend(),
            [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
        low = minIt->y();
        high = maxIt->y();
        // Scaled before subtracting so readings near the double limits cannot
        // overflow the span; a flat line gets one unit either side, or a relative
        // one where a unit is lost in rounding.
        double margin = high * 0.05 - low * 0.05;
        if (low == high)
            margin = (high + 1 != high) ? 1.0 : std::fabs(high) * 0.05;
        constexpr double kMax = std::numeric_limits<double>::max();
        low = std::max(low - margin, -kMax);
        high = std::min(high + margin, kMax);
    }
    m_axisY->setRange(low, high);

    if (points.isEmpty()) {
        setAccessibleDescription(tr("No points"));
    } else {
        QStringList values;
        for (const QPointF& p : points)
            // Six digits keep every reading's hundredths and spare the listener the
            // rounding noise of the offsets (1.09999999999999 is heard as 1.1).
            values.append(tr("row %1: %2").arg(int(p.x())).arg(QString::number(p.y(), 'g', 6)));
        setAccessibleDescription(values.join(QStringLiteral(", ")));
    }
}

} // namespace vt

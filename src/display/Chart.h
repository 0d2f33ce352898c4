#pragma once
// The station's chart: a data grid of rows in one column, a current row, a title,
// and one line series drawn from the non-empty points of rows 1 to 10.
#include <QChartView>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "record/RoundTicks.h"

class QCategoryAxis;
class QLineSeries;
class QValueAxis;

namespace vt {

// A value axis's range.
struct AxisRange {
    double low = 0;
    double high = 1;
};
// The value axis for points from low to high: the current one while every point lies
// within it and they still span at least 80 % of it, otherwise the span of the points'
// round labels (RoundTicks), whose ends are labels.
AxisRange HeldRange(double low, double high, AxisRange current);

class Chart : public QChartView {
    Q_OBJECT
public:
    explicit Chart(const QString& title, QWidget* parent = nullptr);

    // Current data row, counted from 1; selects the point Data reads and writes.
    int Row() const { return m_row; }
    void setRow(int row);
    // Number of rows; setting it discards every point and makes Row 1.
    int RowCount() const { return int(m_data.size()); }
    void setRowCount(int rows);
    // The value of the current point; empty text when it was never set.
    QString Data() const;
    void setData(const QString& text);
    // The title, shown as plain text (markup in it is not interpreted).
    QString TitleText() const { return m_title; }
    void setTitleText(const QString& title);

    // While an Update lives, writes are stored at once but the series, the value axis
    // and the accessible description are left as they are; the chart is drawn once
    // when the last Update ends. Without one, every write draws at once. The station
    // rewrites ten rows with a yield after each: this keeps those yields from painting
    // a half-rewritten chart, and the chart from being drawn ten times.
    class Update {
    public:
        explicit Update(Chart& chart);
        ~Update();
        Update(const Update&) = delete;
        Update& operator=(const Update&) = delete;

    private:
        QPointer<Chart> m_chart;
    };

    // The points as drawn (x = row, y = value), for tests and for the accessible text.
    QList<QPointF> drawnPoints() const;

protected:
    void drawBackground(QPainter* painter, const QRectF& rect) override;

private:
    void changed();
    void redraw();
    void setValueAxis(double low, double high);
    void redrawBackground();

    QLineSeries* m_series = nullptr;
    QValueAxis* m_axisX = nullptr;
    QCategoryAxis* m_axisY = nullptr;
    QStringList m_data;
    int m_row = 1;
    QString m_title;
    int m_updates = 0;    // Updates alive
    bool m_dirty = false;  // stored rows not drawn yet
    QStringList m_yLabels; // labels the value axis shows now
    QList<double> m_yTicks; // the values they stand at
    QPen m_gridPen;
};

} // namespace vt

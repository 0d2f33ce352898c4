#pragma once
// The station's chart: a data grid of rows in one column, a current row, a title,
// and one line series drawn from the non-empty points of rows 1 to 10.
#include <QChartView>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

class QLineSeries;
class QValueAxis;

namespace vt {

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

    // The points as drawn (x = row, y = value), for tests and for the accessible text.
    QList<QPointF> drawnPoints() const;

private:
    void redraw();

    QLineSeries* m_series = nullptr;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QStringList m_data;
    int m_row = 1;
    QString m_title;
};

} // namespace vt

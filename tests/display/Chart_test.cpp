#include "display/Chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCoreApplication>
#include <QGraphicsLineItem>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QValueAxis>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

// Exported by QtCore for debugging tools; not in its public headers.
extern Q_CORE_EXPORT quintptr qtHookData[];

namespace {

void setRowText(vt::Chart& chart, int row, const QString& text)
{
    chart.setRow(row);
    chart.setData(text);
}

bool allRowsEmpty(vt::Chart& chart)
{
    for (int r = 1; r <= chart.RowCount(); ++r) {
        chart.setRow(r);
        if (!chart.Data().isEmpty())
            return false;
    }
    return chart.drawnPoints().isEmpty();
}

TEST(Chart, RowsHoldTextUntilClearedAndRowStaysInTheGrid)
{
    vt::Chart chart(QStringLiteral("Pressure"));
    EXPECT_EQ(chart.RowCount(), 10);
    EXPECT_EQ(chart.Row(), 1);
    EXPECT_TRUE(allRowsEmpty(chart));
    for (const auto& [asked, row] : {std::pair{0, 1}, {-5, 1}, {11, 10}}) {
        chart.setRow(asked);
        EXPECT_EQ(chart.Row(), row) << asked;
    }

    setRowText(chart, 3, QStringLiteral("1013.25"));
    setRowText(chart, 7, QStringLiteral("1009"));
    chart.setRow(3);
    EXPECT_EQ(chart.Data(), QStringLiteral("1013.25"));
    chart.setRow(4);
    EXPECT_TRUE(chart.Data().isEmpty());

    chart.setRowCount(0);
    chart.setRow(3);
    EXPECT_EQ(chart.Row(), 1);
    EXPECT_TRUE(chart.drawnPoints().isEmpty());
    chart.setData(QStringLiteral("9"));  // no row to hold it
    EXPECT_TRUE(chart.Data().isEmpty());
    chart.setRowCount(10);
    EXPECT_EQ(chart.RowCount(), 10);
    EXPECT_EQ(chart.Row(), 1);
    EXPECT_TRUE(allRowsEmpty(chart));
    chart.setRow(7);
    chart.setRowCount(4);
    EXPECT_EQ(chart.Row(), 1);
    chart.setRow(9);
    EXPECT_EQ(chart.Row(), 4);
}

TEST(Chart, DrawsOnlyNumericRowsOneToTenInRowOrder)
{
    vt::Chart chart(QStringLiteral("t"));
    chart.setRowCount(12);
    // Filled out of order, with gaps, text that is not a number, and rows past the axis.
    const struct { int row; const char* text; } rows[] = {
        {9, "1001.5"}, {2, "1013.25"}, {5, " 1008 "}, {4, "abc"}, {6, "12abc"},
        {10, "-3e1"}, {12, "2"},
    };
    for (const auto& r : rows)
        setRowText(chart, r.row, QString::fromLatin1(r.text));
    EXPECT_EQ(chart.drawnPoints(), QList<QPointF>({{2, 1013.25}, {5, 1008}, {9, 1001.5}, {10, -30}}));

    setRowText(chart, 5, QString());  // emptying a row takes its point away
    EXPECT_EQ(chart.drawnPoints(), QList<QPointF>({{2, 1013.25}, {9, 1001.5}, {10, -30}}));
    // A screen reader hears the points as short numbers.
    EXPECT_EQ(chart.accessibleDescription(), QStringLiteral("row 2: 1013.25, row 9: 1001.5, row 10: -30"));
    setRowText(chart, 2, QStringLiteral("1.09999999999999"));  // 120.1 - 119 as the offsets come
    EXPECT_TRUE(chart.accessibleDescription().startsWith(QStringLiteral("row 2: 1.1, "))) << chart.accessibleDescription().toStdString();
    for (const int row : { 2, 9, 10 })
        setRowText(chart, row, QString());
    EXPECT_EQ(chart.accessibleDescription(), QStringLiteral("No points"));
}

TEST(Chart, YRangeCoversThePoints)
{
    const struct { QStringList rows; double low, high; } cases[] = {
        {{}, 0, 1},
        {{"1013.25", "1009.5", "1016"}, 1009.5, 1016},
        {{"-40", "-42.5"}, -42.5, -40},
        {{"7", "7"}, 6, 8},  // a flat line gets room either side
        {{"-1e308", "1e308"}, -1e308, 1e308},
    };
    for (const auto& c : cases) {
        vt::Chart chart(QStringLiteral("t"));
        for (int i = 0; i < c.rows.size(); ++i)
            setRowText(chart, i + 1, c.rows.at(i));
        const auto* y = qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).value(0));
        ASSERT_NE(y, nullptr);
        const std::string what = c.rows.join(' ').toStdString();
        EXPECT_LE(y->min(), c.low) << what;
        EXPECT_GE(y->max(), c.high) << what;
        EXPECT_TRUE(std::isfinite(y->min()) && std::isfinite(y->max())) << what;
        // The margin stays small; halved first so the widest case cannot overflow.
        if (c.low != c.high && !c.rows.isEmpty()) {
            EXPECT_GE((c.high / 2 - c.low / 2) / (y->max() / 2 - y->min() / 2), 0.8) << what;
        }
    }
}

TEST(Chart, ValueAxisHoldsStillWhileThePointsStayInsideAndFillMostOfIt)
{
    using vt::AxisRange;
    constexpr double kMax = std::numeric_limits<double>::max();
    const struct { const char* what; double low, high; AxisRange current, expected; } cases[] = {
        {"inside, spanning 90 %", 1, 10, {0.5, 10.5}, {0.5, 10.5}},
        {"inside, spanning exactly 80 %", 1, 9, {0, 10}, {0, 10}},
        {"inside but spanning under 80 %: the points' labels", 2, 8.9, {0, 10}, {2, 10}},
        {"points on both edges are inside", 0, 10, {0, 10}, {0, 10}},
        {"a point above", 2, 11, {0, 10}, {2, 12}},
        {"a flat line gets a unit either side", 7, 7, {0, 100}, {6, 8}},
        {"the widest span does not overflow", -kMax, kMax, {0, 1}, {-kMax, kMax}},
    };
    for (const auto& c : cases) {
        const AxisRange got = vt::HeldRange(c.low, c.high, c.current);
        EXPECT_NEAR(got.low, c.expected.low, 1e-9) << c.what;
        EXPECT_NEAR(got.high, c.expected.high, 1e-9) << c.what;
    }
}

// Whether the chart paints a text item reading exactly `shown`.
bool paintsText(vt::Chart& chart, const QString& shown)
{
    for (QGraphicsItem* item : chart.scene()->items())
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item); text && text->toPlainText() == shown)
            return true;
    return false;
}

TEST(Chart, TitleIsPlainText)
{
    // QChart renders its title as rich text, so markup must arrive escaped.
    const struct { QString raw, escaped; } cases[] = {
        {QStringLiteral("<b>3</b>"), QStringLiteral("&lt;b&gt;3&lt;/b&gt;")},
        {QStringLiteral("a&b"), QStringLiteral("a&amp;b")},
    };
    for (const auto& c : cases) {
        vt::Chart chart(QStringLiteral("first"));
        chart.setTitleText(c.raw);
        chart.resize(600, 400);
        chart.show();
        QCoreApplication::processEvents();  // lets the chart lay its title out
        EXPECT_EQ(chart.TitleText(), c.raw);
        EXPECT_EQ(chart.chart()->title(), c.escaped);
        EXPECT_EQ(chart.accessibleName(), c.raw);
        EXPECT_TRUE(paintsText(chart, c.raw)) << c.raw.toStdString();
    }
}

// Counts the events of one type that an object receives.
class EventCounter : public QObject {
public:
    EventCounter(QObject* target, QEvent::Type type) : m_type(type) { target->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == m_type)
            ++count;
        return false;
    }

private:
    QEvent::Type m_type;
};

// Lets the window run what is pending, as the station's yield does; a few rounds so
// repaints that layouts and scene updates post are done too.
void yieldToWindow()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

// A chart of the station's size on screen, its first paint done.
void showAtStationSize(vt::Chart& chart)
{
    chart.resize(377, 209);
    chart.show();
    yieldToWindow();
}

TEST(Chart, AnUpdateOfTenRowsPaintsAndDescribesTheChartOnceWhenComplete)
{
    vt::Chart chart(QStringLiteral("Pressure"));
    showAtStationSize(chart);
    EventCounter paints(chart.viewport(), QEvent::Paint);

    for (int round = 0; round < 2; ++round) {  // filling, then rewriting every row
        SCOPED_TRACE(round);
        paints.count = 0;
        const QList<QPointF> before = chart.drawnPoints();
        // Every change of the description is an event to a listening screen reader.
        const QString heard = chart.accessibleDescription();
        {
            const vt::Chart::Update update(chart);
            for (int r = 1; r <= 10; ++r) {
                setRowText(chart, r, QString::number(r * 0.25 + round));
                yieldToWindow();  // the station yields after every point
                EXPECT_EQ(chart.accessibleDescription(), heard);
            }
            EXPECT_EQ(paints.count, 0) << "a yield painted a half-rewritten chart";
            EXPECT_EQ(chart.drawnPoints(), before);
        }
        yieldToWindow();
        EXPECT_EQ(paints.count, 1);
        EXPECT_EQ(chart.drawnPoints().size(), 10);
        EXPECT_EQ(chart.drawnPoints().last(), QPointF(10, 2.5 + round));
        EXPECT_TRUE(chart.accessibleDescription().endsWith(QStringLiteral("row 10: %1").arg(2.5 + round)))
            << chart.accessibleDescription().toStdString();
    }
}

// Whether the chart as shown has a grid line through (row, value) along `direction`:
// the pixels there, or one either side for antialiasing, are darker than the background
// at most of three places along it (the series crosses it once at most).
bool showsGridLine(vt::Chart& chart, QPointF point, Qt::Orientation direction)
{
    const QImage shown = chart.viewport()->grab().toImage();
    const QPointF at = chart.chart()->mapToPosition(point);
    const QRectF plot = chart.chart()->plotArea();
    int dark = 0;
    // Between the grid lines of the other direction, for the charts below.
    for (const double fraction : { 0.1, 0.5, 0.9 }) {
        int lightest = 255;
        for (int d = -1; d <= 1; ++d) {
            const QPoint p = direction == Qt::Horizontal
                ? QPoint(int(plot.left() + plot.width() * (fraction - 0.04)), int(at.y()) + d)
                : QPoint(int(at.x()) + d, int(plot.top() + plot.height() * fraction));
            lightest = std::min(lightest, qGray(shown.pixel(p)));
        }
        dark += lightest < 245;
    }
    return dark >= 2;
}

TEST(Chart, GridFollowsTheValueAxisWhenItMoves)
{
    vt::Chart chart(QStringLiteral("Pressure"));
    showAtStationSize(chart);
    auto* y = qobject_cast<QCategoryAxis*>(chart.chart()->axes(Qt::Vertical).value(0));
    ASSERT_NE(y, nullptr);
    for (int row = 1; row <= 10; ++row)
        EXPECT_TRUE(showsGridLine(chart, QPointF(row, 0.5), Qt::Vertical)) << row;
    EXPECT_FALSE(showsGridLine(chart, QPointF(4.5, 0.5), Qt::Vertical));
    const struct { QStringList rows; double between; } cases[] = {
        {{}, 0.5},  // labels 0.0, 0.2 ... 1.0
        {{"0.92", "0.95", "1"}, 0.95},  // labels 0.92, 0.94 ... 1.00
        {{"0.921", "1.011"}, 0.95},  // labels 0.92 ... 1.02: one label more, the grid moves
        {{"-40", "-42.5", "-41"}, -41.25},  // labels -42.5, -42.0 ... -40.0
    };
    for (const auto& c : cases) {
        const std::string what = c.rows.join(' ').toStdString();
        {
            const vt::Chart::Update update(chart);
            chart.setRowCount(10);
            for (int i = 0; i < c.rows.size(); ++i)
                setRowText(chart, i + 1, c.rows.at(i));
        }
        yieldToWindow();
        for (const QString& label : y->categoriesLabels())
            EXPECT_TRUE(showsGridLine(chart, QPointF(1, y->endValue(label)), Qt::Horizontal)) << what << " at " << label.toStdString();
        // Halfway between two labels the plot is background, so a stale grid shows.
        EXPECT_FALSE(showsGridLine(chart, QPointF(1, c.between), Qt::Horizontal)) << what;
        // Only the kept background draws the grid: no line item inside the plot would be
        // drawn again under the series on every paint.
        const QRectF inner = chart.chart()->plotArea().adjusted(2, 2, -2, -2);
        for (QGraphicsItem* item : chart.scene()->items()) {
            if (auto* line = qgraphicsitem_cast<QGraphicsLineItem*>(item); line && line->isVisible()) {
                EXPECT_FALSE(inner.contains(line->mapToScene(line->line().center()))) << what;
            }
        }
    }
}

TEST(Chart, RowsReadBackAtOnceWhileTheDrawingWaits)
{
    vt::Chart chart(QStringLiteral("t"));
    const vt::Chart::Update update(chart);
    setRowText(chart, 4, QStringLiteral("0.5"));
    EXPECT_EQ(chart.Data(), QStringLiteral("0.5"));
    setRowText(chart, 4, QStringLiteral("12"));
    EXPECT_EQ(chart.Data(), QStringLiteral("12"));
    chart.setRowCount(10);
    EXPECT_EQ(chart.Row(), 1);
    chart.setRow(4);
    EXPECT_TRUE(chart.Data().isEmpty()) << "the rows were discarded";
    EXPECT_TRUE(chart.drawnPoints().isEmpty()) << "nothing drawn before the update ends";
}

TEST(Chart, AnUnchangedTitleIsNotLaidOutAgain)
{
    vt::Chart chart(QStringLiteral("Absolute Pressure"));
    showAtStationSize(chart);
    EventCounter layouts(chart.chart(), QEvent::LayoutRequest);
    EventCounter paints(chart.viewport(), QEvent::Paint);

    chart.setTitleText(QStringLiteral("Absolute Pressure"));
    yieldToWindow();
    EXPECT_EQ(layouts.count, 0);
    EXPECT_EQ(paints.count, 0);

    chart.setTitleText(QStringLiteral("Absolute Pressure (Base 3, 0=1013 mb)"));
    yieldToWindow();
    EXPECT_GE(layouts.count, 1) << "a new title must be laid out; the counter sees that";
    EXPECT_EQ(chart.chart()->title(), QStringLiteral("Absolute Pressure (Base 3, 0=1013 mb)"));
}

TEST(Chart, ValueAxisIsLabelledInRoundNumbersAroundThePoints)
{
    const struct { QStringList rows; QStringList labels; } cases[] = {
        {{"0.92", "0.95", "1"}, {"0.92", "0.94", "0.96", "0.98", "1.00"}},
        {{"1013.25", "1009.5", "1016"}, {"1008", "1010", "1012", "1014", "1016"}},
        {{"7", "7"}, {"6.0", "6.5", "7.0", "7.5", "8.0"}},
        {{"-0.5", "0.25"}, {"-0.6", "-0.4", "-0.2", "0.0", "0.2", "0.4"}},  // never "-0.0"
        {{"0", "150000.5"}, {"0", "50000", "100000", "150000", "200000"}},
        {{"-1e308", "1e308"}, {"-1e+308", "-5e+307", "0", "5e+307", "1e+308"}},
        {{"0", "1e25"}, {"0", "2e+24", "4e+24", "6e+24", "8e+24", "1e+25"}},  // glibc's pow(10, 23) is a unit off
        {{}, {"0.0", "0.2", "0.4", "0.6", "0.8", "1.0"}},
    };
    for (const auto& c : cases) {
        const std::string what = c.rows.join(' ').toStdString();
        vt::Chart chart(QStringLiteral("t"));
        chart.resize(377, 209);
        for (int i = 0; i < c.rows.size(); ++i)
            setRowText(chart, i + 1, c.rows.at(i));
        chart.show();
        yieldToWindow();
        auto* y = qobject_cast<QCategoryAxis*>(chart.chart()->axes(Qt::Vertical).value(0));
        ASSERT_NE(y, nullptr);
        EXPECT_EQ(y->categoriesLabels(), c.labels) << what;
        for (const QString& label : c.labels) {
            EXPECT_EQ(y->endValue(label), label.toDouble()) << what << " " << label.toStdString();
            EXPECT_TRUE(paintsText(chart, label)) << what << " " << label.toStdString();
        }
        // The labels span the points, and the axis ends at the outer two.
        EXPECT_EQ(y->min(), c.labels.front().toDouble()) << what;
        EXPECT_EQ(y->max(), c.labels.back().toDouble()) << what;
        for (const QPointF& p : chart.drawnPoints()) {
            EXPECT_GE(p.y(), y->min()) << what;
            EXPECT_LE(p.y(), y->max()) << what;
        }
    }
}

// Four to six labels, steps of 1, 2, 2.5 or 5 times a power of ten, and no point beyond
// the outer labels.
TEST(Chart, RoundTicksSpanThePointsInFourToSixSteps)
{
    const struct { double low, high; qsizetype labels; double step; const char* first; const char* last; } cases[] = {
        {0.89, 0.99, 6, 0.025, "0.875", "1.000"},
        {0.91, 1.03, 4, 0.05, "0.90", "1.05"},
        {0, 100000, 6, 20000, "0", "100000"},
        {-12, 0, 6, 2.5, "-12.5", "0.0"},
        {7, 7, 5, 0.5, "6.0", "8.0"},
        {1013, 1013.000001, 6, 2e-7, "1013.0000000", "1013.0000010"},
        {0, 1.2e10, 6, 2.5e9, "0", "1.25e+10"},  // exponent form, as many digits as the multiples need
    };
    for (const auto& c : cases) {
        const vt::AxisTicks t = vt::RoundTicks(c.low, c.high);
        const std::string what = std::to_string(c.low) + " to " + std::to_string(c.high);
        ASSERT_EQ(t.values.size(), c.labels) << what;
        EXPECT_NEAR(t.step, c.step, c.step * 1e-9) << what;
        EXPECT_LE(t.values.front(), c.low) << what;
        EXPECT_GE(t.values.back(), c.high) << what;
        EXPECT_EQ(t.labels.front(), QLatin1String(c.first)) << what;
        EXPECT_EQ(t.labels.back(), QLatin1String(c.last)) << what;
        for (qsizetype i = 1; i < t.values.size(); ++i)
            EXPECT_NEAR(t.values[i] - t.values[i - 1], c.step, c.step * 1e-6) << what;
    }
    EXPECT_TRUE(vt::RoundTicks(1, 0).values.isEmpty()) << "a range the wrong way round has no labels";
}

// Every QObject made and destroyed while it lives, through the hooks Qt keeps for
// debuggers (qtHookData, slots 3 and 4), so a chart nobody points to still shows.
class ObjectCensus {
public:
    ObjectCensus()
    {
        s_current = this;
        m_previousAdd = qtHookData[kAddQObject];
        m_previousRemove = qtHookData[kRemoveQObject];
        qtHookData[kAddQObject] = reinterpret_cast<quintptr>(&added);
        qtHookData[kRemoveQObject] = reinterpret_cast<quintptr>(&removed);
    }
    ~ObjectCensus()
    {
        qtHookData[kAddQObject] = m_previousAdd;
        qtHookData[kRemoveQObject] = m_previousRemove;
        s_current = nullptr;
    }
    ObjectCensus(const ObjectCensus&) = delete;
    ObjectCensus& operator=(const ObjectCensus&) = delete;

    int charts() const
    {
        const QMutexLocker lock(&m_mutex);
        int n = 0;
        for (QObject* o : m_alive)
            n += o->thread() == QThread::currentThread() && qobject_cast<QChart*>(o) ? 1 : 0;
        return n;
    }

private:
    static constexpr int kAddQObject = 3;
    static constexpr int kRemoveQObject = 4;
    using Hook = void (*)(QObject*);

    static void added(QObject* o)
    {
        {
            const QMutexLocker lock(&s_current->m_mutex);
            s_current->m_alive.insert(o);
        }
        if (s_current->m_previousAdd)
            reinterpret_cast<Hook>(s_current->m_previousAdd)(o);
    }
    static void removed(QObject* o)
    {
        {
            const QMutexLocker lock(&s_current->m_mutex);
            s_current->m_alive.remove(o);
        }
        if (s_current->m_previousRemove)
            reinterpret_cast<Hook>(s_current->m_previousRemove)(o);
    }

    static inline ObjectCensus* s_current = nullptr;
    quintptr m_previousAdd = 0;
    quintptr m_previousRemove = 0;
    mutable QMutex m_mutex;
    QSet<QObject*> m_alive;
};

TEST(Chart, LeavesNoChartBehind)
{
    ObjectCensus census;
    {
        vt::Chart chart(QStringLiteral("Pressure"));
        EXPECT_EQ(census.charts(), 1) << "the view's own first chart must go when ours replaces it";
    }
    EXPECT_EQ(census.charts(), 0);
}

} // namespace

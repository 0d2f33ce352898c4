// The least a Qt program does to show what the station shows per sentence: a window
// of the station's size with two charts, each a 10-point line series that is replaced
// once per sentence and repainted once. The charts look like the station's (a title,
// points, rows 1 to 10 on the x axis), so the comparison is of the work, not of the
// picture. bench/sentence_cost.sh compares the station with it.
// Usage: chart_floor LINE   (LINE: the serial device or pty link the sentences come on)
// Prints one line per sentence taken, so a script can count them.
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QSocketNotifier>
#include <QValueAxis>
#include <QWidget>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

struct Plot {
    QChartView* view = nullptr;
    QLineSeries* series = nullptr;
    QValueAxis* y = nullptr;
    std::array<double, 10> history {};
    int used = 0;

    Plot(QWidget* parent, const QRect& place, const QString& title)
    {
        auto* chart = new QChart;
        chart->legend()->hide();
        chart->setAnimationOptions(QChart::NoAnimation);
        chart->setBackgroundRoundness(0);
        chart->setMargins(QMargins(4, 0, 8, 0));
        chart->layout()->setContentsMargins(0, 0, 0, 0);
        chart->setTitle(title);
        series = new QLineSeries(chart);
        series->setPointsVisible(true);
        chart->addSeries(series);
        auto* x = new QValueAxis(chart);
        x->setRange(1, 10);
        x->setTickCount(10);
        x->setLabelFormat(QStringLiteral("%d"));
        y = new QValueAxis(chart);
        chart->addAxis(x, Qt::AlignBottom);
        chart->addAxis(y, Qt::AlignLeft);
        series->attachAxis(x);
        series->attachAxis(y);
        view = new QChartView(chart, parent);
        view->setRenderHint(QPainter::Antialiasing);
        view->setGeometry(place);
    }

    void add(double value)
    {
        if (used == 10)
            std::rotate(history.begin(), history.begin() + 1, history.end());
        else
            ++used;
        history[size_t(used - 1)] = value;
        QList<QPointF> points;
        double low = history[0];
        double high = history[0];
        for (int i = 0; i < used; ++i) {
            points.append(QPointF(i + 1, history[size_t(i)]));
            low = std::min(low, history[size_t(i)]);
            high = std::max(high, history[size_t(i)]);
        }
        series->replace(points);
        y->setRange(low - 0.5, high + 0.5);
    }
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: chart_floor LINE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    termios raw {};
    if (::tcgetattr(fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }

    QWidget window;
    window.setFixedSize(394, 554);  // the station's window
    Plot pressure(&window, QRect(8, 8, 377, 209), QStringLiteral("Absolute Pressure (Rover 3, 0=1012 mb)"));
    Plot elevation(&window, QRect(8, 224, 377, 210), QStringLiteral("Absolute Elevation (Rover 3, 0=120 m)"));
    window.show();

    QByteArray pending;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buf[512];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return;
        pending.append(buf, n);
        for (qsizetype cr; (cr = pending.indexOf('\r')) >= 0;) {
            const QList<QByteArray> fields = pending.left(cr).split(',');
            pending.remove(0, cr + 1);
            if (fields.size() < 6)
                continue;
            pressure.add(fields.at(4).toDouble());
            elevation.add(fields.at(5).split('*').value(0).toDouble());
            window.update();  // one repaint of both, at the next turn of the loop
            std::printf("sentence\n");
            std::fflush(stdout);
        }
        if (pending.size() > 4096)
            pending.clear();
    });
    return app.exec();
}

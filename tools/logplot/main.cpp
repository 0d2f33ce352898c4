// ventholm-logplot LOG OUT.png: a station's log.txt as a picture of the day.
#include "LogPlot.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: ventholm-logplot [--date DATE] [--stats] LOG OUT.png\n"
    "Draws a station's log (log.txt) as a PNG: per record letter and node, pressure and\n"
    "elevation against the time of day. Dates and times are read in this machine's short\n"
    "forms, as the station writes them.\n"
    "  --date DATE  the day to draw, written as in the log (default: the log's last day)\n"
    "  --stats      print the line counts and each panel's number of readings\n";

// Qt says so on stderr when XDG_RUNTIME_DIR is unset (a plain console, a cron job); a
// tool that draws a file has no use for that folder, so that one note is dropped.
QtMessageHandler standardHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    if (standardHandler)
        standardHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int fail(const QString& message, int code = 1)
{
    std::fprintf(stderr, "ventholm-logplot: %s\n", qPrintable(message));
    return code;
}

} // namespace

int main(int argc, char* argv[])
{
    // A picture, never a window: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    standardHandler = qInstallMessageHandler(quietHandler);
    QGuiApplication app(argc, argv);

    vt::logplot::Options options;
    bool stats = false;
    QStringList files;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--stats")) {
            stats = true;
        } else if (a == QLatin1String("--date") && i + 1 < args.size()) {
            options.date = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            std::fputs(kUsage, stderr);
            return fail(QStringLiteral("unknown option %1").arg(a), 2);
        } else {
            files << a;
        }
    }
    if (files.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    const vt::logplot::DayPlot plot = vt::logplot::ReadLog(files[0], options);
    if (!plot.error.isEmpty())
        return fail(plot.error);
    const QImage image = vt::logplot::Render(plot, QFileInfo(files[0]).fileName());
    if (!image.save(files[1], "PNG"))
        return fail(QStringLiteral("Cannot write the picture %1").arg(files[1]));

    if (stats) {
        std::printf("day %s\nlines %lld\nunreadable %lld\nother-days %lld\nleft-out %lld\n",
                    qPrintable(plot.date), plot.lines, plot.unreadable, plot.otherDays, plot.leftOut);
        for (const auto& panel : plot.panels)
            std::printf("panel %c %s %s %s %d\n", panel.letter, panel.node.constData(),
                        panel.quantity == vt::logplot::Quantity::Pressure ? "pressure" : "elevation",
                        qPrintable(panel.unit()), panel.points);
    }
    return 0;
}

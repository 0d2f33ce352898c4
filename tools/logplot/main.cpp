// ventholm-logplot LOG OUT.png: a station's log.txt as a picture of the day;
// ventholm-logplot LOG OUT.csv: the same log as a table.
#include "LogPlot.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: ventholm-logplot [--date DATE] [--date-format FORM] [--stats] LOG OUT.png\n"
    "       ventholm-logplot [--date DATE] [--date-format FORM] [--csv] LOG OUT.csv\n"
    "Draws a station's log (log.txt) as a PNG: per record letter and node, pressure and\n"
    "elevation against the time of day. With an OUT ending in .csv (or --csv), writes a\n"
    "table instead: a header row and one row per readable line, its time in ISO 8601.\n"
    "The log's date and time forms are found from its lines: those the station writes\n"
    "under this machine's settings, C, en_GB, en_US, de_DE, fr_FR, es_ES, it_IT, nl_NL,\n"
    "pt_PT, pt_BR, sv_SE, pl_PL, ja_JP, and ISO (2026-12-10 11:11:29).\n"
    "  --date DATE         the day, written as in the log or as 2026-12-10 (default: the\n"
    "                      log's last day for a picture, every day for a table)\n"
    "  --date-format FORM  the settings the log was written under, e.g. de_DE, en_US, ISO\n"
    "  --csv               write a table whatever OUT is called\n"
    "  --stats             print the line counts and each panel's number of readings\n";

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
    bool csv = false;
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
        } else if (a == QLatin1String("--csv")) {
            csv = true;
        } else if (a == QLatin1String("--date") && i + 1 < args.size()) {
            options.date = args[++i];
        } else if (a == QLatin1String("--date-format") && i + 1 < args.size()) {
            options.form = vt::LogFormNamed(args[++i]);
            if (!options.form)
                return fail(QStringLiteral("no regional setting is called %1").arg(args[i]), 2);
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

    if (csv || files[1].endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        const vt::logplot::Table table = vt::logplot::WriteTable(files[0], files[1], options);
        if (table.unreadable > 0)
            std::fprintf(stderr, "%lld unreadable lines skipped\n", table.unreadable);
        if (!table.error.isEmpty())
            return fail(table.error);
        if (stats)
            std::printf("lines %lld\nunreadable %lld\nrows %lld\n", table.lines, table.unreadable, table.rows);
        return 0;
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

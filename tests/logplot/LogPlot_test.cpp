// The log picture tool: reading log lines in a locale's short forms, the day's panels
// and their drawn points, and the tool's answers to a missing or empty log.
#include "LogPlot.h"

#include "link/Checksum.h"
#include "link/Clock.h"
#include "support/Pty.h"
#ifndef _WIN32
#include "e2e/E2eProcesses.h"
#endif

#include <QColor>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace vt::logplot;

namespace {

QByteArray checked(const QByteArray& body)
{
    return body + '*' + vt::ChecksumText(body);
}

const QDate kDay(2026, 12, 9);

// What the tool printed, with Windows' CR LF line ends read as LF.
QByteArray printed(QByteArray text)
{
    return text.replace("\r\n", "\n");
}

// Windows takes the time zone and the regional settings from the system, not from TZ
// and LC_ALL, so the cases that set those run elsewhere only.
#ifdef _WIN32
constexpr bool kZoneAndLocaleFromEnvironment = false;
#else
constexpr bool kZoneAndLocaleFromEnvironment = true;
#endif

// A log line as the station writes it under a locale, without its line end.
QByteArray logLine(const QLocale& locale, QDate date, QTime time, const QByteArray& sentence)
{
    return vt::FormatLogLine(locale.toString(date, QLocale::ShortFormat), locale.toString(time, vt::LogTimeFormat(locale)),
                             sentence)
        .chopped(2);
}

struct LineCase {
    const char* name;
    QByteArray sentence;  // as logged
    bool readable;
    char letter = 0;
    const char* node = "";
    bool imperial = false;
    double pressure = 0, elevation = 0;
};

std::vector<LineCase> lineCases()
{
    return {
        { "base", checked("12,3,B,0,1013.25,120.5"), true, 'B', "3", false, 1013.25, 120.5 },
        { "rover imperial", checked("12,3,R,1,29.92,395.3"), true, 'R', "3", true, 29.92, 395.3 },
        { "network, extra fields", checked("12,5,T,0,1009,151,7,8"), true, 'T', "5", false, 1009, 151 },
        { "datum: readings in 5 and 8", checked("12,5,D,-1,0,0.52,0,120.0,-4.2"), true, 'D', "5", false, 0.52, -4.2 },
        { "adjust: readings in 5 and 8", checked("12,5,A,0,1,0.10,0,x,0.8,12.5"), true, 'A', "5", true, 0.10, 0.8 },
        { "wrong check value", "12,3,B,0,1013.25,120.5*00", false },
        { "cut short, no check", "12,3,B,0,1013.2", false },
        { "lower-case letter", checked("12,3,b,0,1013.25,120.5"), false },
        { "other letter", checked("12,3,X,0,1013.25,120.5"), false },
        { "units flag 2", checked("12,3,B,2,1013.25,120.5"), false },
        { "pressure not a number", checked("12,3,B,0,abc,120.5"), false },
        { "elevation missing", checked("12,3,B,0,1013.25"), false },
        { "differential too short", checked("12,5,D,1,0,0.5,0,120"), false },
    };
}

} // namespace

// Every case in locales whose date or time hold spaces, commas or an AM/PM mark.
TEST(LogPlotLines, ReadsWhatTheStationWritesAndRefusesTheRest)
{
    for (const QLocale& locale : { QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
                                   QLocale(QLocale::C), QLocale::system() }) {
        LineReader reader(vt::LogFormOf(locale));
        for (const LineCase& c : lineCases()) {
            SCOPED_TRACE(locale.name().toStdString() + ": " + c.name);
            const QByteArray line = logLine(locale, kDay, QTime(15, 4, 5), c.sentence);
            const auto r = reader.read(line);
            ASSERT_EQ(r.has_value(), c.readable) << line.constData();
            if (!r)
                continue;
            EXPECT_EQ(r->seconds, 15 * 3600 + 4 * 60 + 5);
            EXPECT_EQ(r->date, locale.toString(kDay, QLocale::ShortFormat));
            EXPECT_EQ(r->letter, c.letter);
            EXPECT_EQ(r->node, QByteArray(c.node));
            EXPECT_EQ(r->imperial, c.imperial);
            EXPECT_DOUBLE_EQ(r->pressure, c.pressure);
            EXPECT_DOUBLE_EQ(r->elevation, c.elevation);
        }
    }
    // Lines without a date and time in the locale's forms.
    LineReader reader(vt::LogFormOf(QLocale(QLocale::English, QLocale::UnitedStates)));
    const QByteArray sentence = checked("12,3,B,0,1013.25,120.5");
    for (const QByteArray& line : { QByteArray("12/9/26,") + sentence, QByteArray("13/40/26 3:04:05 PM,") + sentence,
                                    QByteArray("12/9/26 25:04:05 PM,") + sentence, sentence, QByteArray() })
        EXPECT_FALSE(reader.read(line)) << line.constData();
}

class LogPlotDay : public ::testing::Test {
protected:
    void writeLog(const QList<QByteArray>& lines)
    {
        QByteArray bytes;
        for (const QByteArray& l : lines)
            bytes += l + "\r\n";
        ASSERT_TRUE(folder.writeFile(QStringLiteral("log.txt"), bytes));
    }
    QByteArray line(QDate date, int seconds, const QByteArray& body)
    {
        return logLine(QLocale::system(), date, QTime(0, 0).addSecs(seconds), checked(body));
    }
    // The small day: base 3 every 10 s for a minute, rover 3 in both units, datum 5,
    // yesterday's lines and four bad ones.
    void writeSmallDay()
    {
        QList<QByteArray> lines;
        const QDate yesterday = kDay.addDays(-1);
        lines << line(yesterday, 80000, "12,3,B,0,1000,100") << line(yesterday, 80001, "12,3,B,0,1000,100");
        for (int i = 0; i < 6; ++i)
            lines << line(kDay, 36000 + 10 * i, "12,3,B,0," + QByteArray::number(1013 + i) + "," + QByteArray::number(120 - i));
        lines << line(kDay, 36005, "12,3,R,0,1011.5,130") << line(kDay, 36015, "12,3,R,1,29.9,427")
              << line(kDay, 36025, "12,3,R,1,29.8,428") << line(kDay, 36030, "12,5,D,1,0,0.5,0,120,-2");
        lines << "garbage" << logLine(QLocale::system(), kDay, QTime(10, 0, 30), "12,3,B,0,1013,120*00")
              << line(kDay, 36040, "12,3,Q,0,1013,120") << QByteArray(5000, 'x');
        writeLog(lines);
    }

    ProgramFolder folder;
};

TEST_F(LogPlotDay, PanelsPerLetterNodeAndUnitsHoldTheDaysReadings)
{
    writeSmallDay();
    Options options;
    options.columns = 100;
    const DayPlot plot = ReadLog(folder.file(QStringLiteral("log.txt")), options);
    ASSERT_TRUE(plot.error.isEmpty()) << plot.error.toStdString();
    EXPECT_EQ(plot.date, QLocale::system().toString(kDay, QLocale::ShortFormat));
    EXPECT_EQ(plot.lines, 16);
    EXPECT_EQ(plot.unreadable, 4);
    EXPECT_EQ(plot.otherDays, 2);
    EXPECT_EQ(plot.leftOut, 0);
    EXPECT_EQ(plot.firstSeconds, 36000);
    EXPECT_EQ(plot.lastSeconds, 36050);

    struct Expected {
        char letter;
        const char* node;
        bool imperial;
        Quantity quantity;
        int points;
        double min, max;
        const char* title;
    };
    const Expected expected[] = {
        { 'B', "3", false, Quantity::Pressure, 6, 1013, 1018, "Absolute Pressure (Base 3, mb)" },
        { 'B', "3", false, Quantity::Elevation, 6, 115, 120, "Absolute Elevation (Base 3, m)" },
        { 'R', "3", false, Quantity::Pressure, 1, 1011.5, 1011.5, "Absolute Pressure (Rover 3, mb)" },
        { 'R', "3", false, Quantity::Elevation, 1, 130, 130, "Absolute Elevation (Rover 3, m)" },
        { 'R', "3", true, Quantity::Pressure, 2, 29.8, 29.9, "Absolute Pressure (Rover 3, inHg)" },
        { 'R', "3", true, Quantity::Elevation, 2, 427, 428, "Absolute Elevation (Rover 3, ft)" },
        { 'D', "5", false, Quantity::Pressure, 1, 0.5, 0.5, "Differential Pressure (node 5, mb)" },
        { 'D', "5", false, Quantity::Elevation, 1, -2, -2, "Differential Elevation (node 5, m)" },
    };
    ASSERT_EQ(plot.panels.size(), std::size(expected));
    for (size_t i = 0; i < plot.panels.size(); ++i) {
        SCOPED_TRACE(expected[i].title);
        const Panel& p = plot.panels[i];
        EXPECT_EQ(p.letter, expected[i].letter);
        EXPECT_EQ(p.node, QByteArray(expected[i].node));
        EXPECT_EQ(p.imperial, expected[i].imperial);
        EXPECT_EQ(p.quantity, expected[i].quantity);
        EXPECT_EQ(p.title(), QString::fromLatin1(expected[i].title));
        // What is drawn: the columns' readings, their range, and where they fall.
        int drawn = 0;
        double lo = 1e300, hi = -1e300;
        for (const Column& c : p.columns)
            if (c.count) {
                drawn += c.count;
                lo = std::min(lo, c.min);
                hi = std::max(hi, c.max);
            }
        EXPECT_EQ(drawn, expected[i].points);
        EXPECT_EQ(p.points, expected[i].points);
        EXPECT_DOUBLE_EQ(lo, expected[i].min);
        EXPECT_DOUBLE_EQ(hi, expected[i].max);
    }
    // Base readings 10 s apart over 50 s land in columns 0, 20, ... 99.
    const auto& base = plot.panels[0].columns;
    for (int k : { 0, 20, 40, 59, 79, 99 })
        EXPECT_EQ(base[size_t(k)].count, 1) << k;
    EXPECT_DOUBLE_EQ(base[99].last, 1018);

    // Another day on request; further node pairs beyond the limit are counted, not drawn.
    options.date = QLocale::system().toString(kDay.addDays(-1), QLocale::ShortFormat);
    const DayPlot yesterday = ReadLog(folder.file(QStringLiteral("log.txt")), options);
    ASSERT_EQ(yesterday.panels.size(), 2u);
    EXPECT_EQ(yesterday.panels[0].points, 2);
    EXPECT_EQ(yesterday.otherDays, 10);
    options.date.clear();
    options.maxNodes = 1;
    const DayPlot limited = ReadLog(folder.file(QStringLiteral("log.txt")), options);
    EXPECT_EQ(limited.panels.size(), 2u);
    EXPECT_EQ(limited.leftOut, 4);

    // The picture: one row of two panels per pair, each carrying its series' ink.
    const QImage image = Render(plot, QStringLiteral("log.txt"));
    ASSERT_FALSE(image.isNull());
    auto inkIn = [&](int panel, QRgb ink) {
        const int w = image.width() / 2, h = (image.height() - 52) / 4;
        int n = 0;
        for (int y = 44 + (panel / 2) * h; y < 44 + (panel / 2 + 1) * h; ++y)
            for (int x = (panel % 2) * w; x < (panel % 2 + 1) * w; ++x)
                n += (image.pixel(x, y) & 0xffffff) == (ink & 0xffffff);
        return n;
    };
    for (int i = 0; i < 8; ++i)
        EXPECT_GT(inkIn(i, i % 2 ? qRgb(0x1b, 0x7a, 0x3a) : qRgb(0x10, 0x3c, 0x78)), 10) << i;
}

// The tool itself: a picture and its counts, or a clear message and a failing exit.
TEST_F(LogPlotDay, ToolDrawsAGoodLogAndRefusesAMissingOrEmptyOne)
{
    writeSmallDay();
    ASSERT_TRUE(folder.writeFile(QStringLiteral("empty.txt"), QByteArray()));
    ASSERT_TRUE(folder.writeFile(QStringLiteral("bad.txt"), "garbage\r\nmore garbage\r\n"));
    struct Case {
        const char* log;
        bool ok;
        const char* says;  // on stdout when ok, else on stderr
    } cases[] = {
        { "log.txt", true, "panel R 3 pressure inHg 2\n" },
        { "log.txt", true, "unreadable 4\n" },
        { "missing.txt", false, "Cannot read" },
        { "empty.txt", false, "is empty" },
        { "bad.txt", false, "no line that can be read" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.log);
        const QString out = folder.file(QStringLiteral("day.png"));
        QFile::remove(out);
        QProcess tool;
        tool.start(QStringLiteral(LOGPLOT_PATH), { QStringLiteral("--stats"), folder.file(QString::fromLatin1(c.log)), out });
        ASSERT_TRUE(tool.waitForFinished(30000));
        const QByteArray said = printed(c.ok ? tool.readAllStandardOutput() : tool.readAllStandardError());
        EXPECT_EQ(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0, c.ok);
        EXPECT_TRUE(said.contains(c.says)) << said.constData();
        EXPECT_EQ(QImage(out).isNull(), !c.ok);
        if (!c.ok) {
            EXPECT_TRUE(said.contains(QFile::encodeName(folder.file(QString::fromLatin1(c.log))))) << said.constData();
        }
    }
}

// The table: every column per record letter and units, quoting, the zone's offset (also
// on the night the clocks go back), and bad or foreign lines counted and skipped.
TEST_F(LogPlotDay, TableHasARowPerReadableLineWithEveryColumn)
{
    if (!kZoneAndLocaleFromEnvironment)
        GTEST_SKIP() << "the zone comes from the system";
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    struct Row {
        QDate date;
        QTime time;
        QByteArray body;
        const char* columns;  // all but the sentence, which ends the row
    };
    const QDate summer(2026, 10, 25);  // 02:00 to 03:00 twice: +02:00, then +01:00
    const Row rows[] = {
        { kDay, QTime(3, 44, 38), "12,3,B,0,1013.25,120.5", "2026-12-09T03:44:38+01:00,12,3,B,metric,1013.25,mb,120.5,m,,," },
        { kDay, QTime(3, 44, 39), "12,3,R,1,29.92,395.3", "2026-12-09T03:44:39+01:00,12,3,R,imperial,29.92,inHg,395.3,ft,,," },
        { kDay, QTime(3, 44, 40), "12,5,T,0,1009,151,7,8", "2026-12-09T03:44:40+01:00,12,5,T,metric,1009,mb,151,m,,," },
        { kDay, QTime(23, 0), "12,5,D,-1,1,0.52,0,120.0,-4.2", "2026-12-09T23:00:00+01:00,12,5,D,imperial,0.52,inHg,-4.2,ft,120.0,,yes" },
        { kDay, QTime(23, 0, 1), "12,5,D,1,0,0.5,0,99,-2", "2026-12-09T23:00:01+01:00,12,5,D,metric,0.5,mb,-2,m,99,,no" },
        { summer, QTime(1, 59, 59), "12,5,A,0,1,0.10,0,x,0.8,12.5", "2026-10-25T01:59:59+02:00,12,5,A,imperial,0.10,inHg,0.8,ft,,12.5," },
        { summer, QTime(2, 30), "12,7\"x,B,0,1000,10", "2026-10-25T02:30:00+02:00,12,\"7\"\"x\",B,metric,1000,mb,10,m,,," },
        { summer, QTime(3, 0), "12,3,B,0,1000,10", "2026-10-25T03:00:00+01:00,12,3,B,metric,1000,mb,10,m,,," },
    };
    QList<QByteArray> lines { "foreign line, not the station's" };
    QByteArray expected = "time,network,node,record,units,pressure,pressure_unit,elevation,elevation_unit,"
                          "datum,adjustment,inverse,sentence\r\n";
    for (const Row& r : rows) {
        lines << logLine(QLocale::system(), r.date, r.time, checked(r.body));
        expected += QByteArray(r.columns) + ',' + CsvField(checked(r.body)) + "\r\n";
    }
    lines << logLine(QLocale::system(), kDay, QTime(4, 0), "12,3,B,0,1013.25,120.5*00");
    writeLog(lines);

    const QString out = folder.file(QStringLiteral("day.csv"));
    const Table table = WriteTable(folder.file(QStringLiteral("log.txt")), out);
    EXPECT_TRUE(table.error.isEmpty()) << table.error.toStdString();
    EXPECT_EQ(table.lines, 10);
    EXPECT_EQ(table.unreadable, 2);
    EXPECT_EQ(table.rows, 8);
    EXPECT_EQ(folder.readFile(QStringLiteral("day.csv")), expected);
    EXPECT_EQ(CsvField("12,3,\"B\""), "\"12,3,\"\"B\"\"\"");

    // One day, by its ISO date; and the tool, choosing the table by the file's name.
    Options options;
    options.date = QStringLiteral("2026-10-25");
    EXPECT_EQ(WriteTable(folder.file(QStringLiteral("log.txt")), out, options).rows, 3);
    QFile::remove(out);
    QProcess tool;
    tool.start(QStringLiteral(LOGPLOT_PATH), { folder.file(QStringLiteral("log.txt")), out });
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_EQ(tool.readAllStandardError(), "2 unreadable lines skipped\n");
    EXPECT_EQ(folder.readFile(QStringLiteral("day.csv")), expected);
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
}

// 12/1/26 is the 1st of December in the US and the 12th of January in Australia: such a
// log is read in the form its dates keep in order, or refused with the forms it fits.
TEST_F(LogPlotDay, AFormThatTheDatesAllowIsTakenOtherwiseTheCandidatesAreNamed)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates), au(QLocale::English, QLocale::Australia);
    const auto guess = [&](const QList<QDate>& dates) {
        vt::LogFormGuess g({ vt::LogFormOf(au), vt::LogFormOf(us) });
        for (const QDate& d : dates)
            g.add(logLine(us, d, QTime(15, 4, 5), checked("12,3,B,0,1000,10")));
        return g.result();
    };
    const auto ambiguous = guess({ QDate(2026, 12, 1), QDate(2026, 12, 2) });
    EXPECT_FALSE(ambiguous.form);
    EXPECT_EQ(ambiguous.candidates.size(), 2);
    const auto ordered = guess({ QDate(2027, 1, 12), QDate(2027, 2, 1) });  // in Australia: 1 Dec, then 2 Jan
    ASSERT_TRUE(ordered.form);
    EXPECT_EQ(ordered.form->names, QStringList { QStringLiteral("en_US") });
    const auto clear = guess({ QDate(2026, 12, 13) });
    ASSERT_TRUE(clear.form);
    EXPECT_EQ(clear.form->names, QStringList { QStringLiteral("en_US") });

    writeLog({ logLine(us, QDate(2026, 12, 1), QTime(15, 4, 5), checked("12,3,B,0,1000,10")),
               logLine(us, QDate(2026, 12, 2), QTime(9, 4, 5), checked("12,3,B,0,1000,10")) });
    const QString out = folder.file(QStringLiteral("day.csv"));
    for (const bool named : { false, true }) {
        if (!named && !kZoneAndLocaleFromEnvironment)
            continue;  // the tool would not see en_AU
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_AU.UTF-8"));
        tool.setProcessEnvironment(env);
        QStringList args { folder.file(QStringLiteral("log.txt")), out };
        if (named)
            args = QStringList { QStringLiteral("--date-format"), QStringLiteral("en_US") } + args;
        tool.start(QStringLiteral(LOGPLOT_PATH), args);
        ASSERT_TRUE(tool.waitForFinished(30000));
        const QByteArray said = tool.readAllStandardError();
        EXPECT_EQ(tool.exitCode(), named ? 0 : 1) << said.constData();
        if (!named) {
            EXPECT_TRUE(said.contains("M/d/yy h:mm:ss AP (en_US)") && said.contains("d/M/yy h:mm:ss AP (en_AU)")) << said.constData();
        } else {
            EXPECT_TRUE(folder.readFile(QStringLiteral("day.csv")).contains("\r\n2026-12-02T09:04:05"));
        }
    }
}

// The station needs the simulator's pseudo-terminal, which Windows lacks.
#ifndef _WIN32
// Logs the station itself wrote under other regional settings, read on this machine.
TEST(LogPlotStation, ReadsWhatTheStationLoggedUnderOtherSettings)
{
    constexpr int kPort = 4;
    const QByteArray bodies[] = { "12,3,B,0,1013.25,120.5", "12,3,R,1,29.92,395.3", "12,5,D,-1,0,0.52,0,120.0,-4.2",
                                  "12,5,A,0,0,0.10,0,x,0.8,12.5" };
    for (const char* setting : { "de_DE", "en_US", "ja_JP" }) {
        SCOPED_TRACE(setting);
        e2e::StationRun station;
        e2e::NodeSim sim;
        e2e::Replay replay;
        // The first sentence goes out at once and waits on the line; the others follow
        // once the station has opened its port.
        replay.add(0, "12,9,T,0,1000,10");
        for (size_t i = 0; i < std::size(bodies); ++i)
            replay.add(2.0 + 0.1 * double(i), bodies[i]);
        QString why;
        ASSERT_TRUE(station.install(&why)) << why.toStdString();
        ASSERT_TRUE(station.writeFile(QStringLiteral("settings.txt"), QByteArray::number(kPort) + "\r\n"));
        ASSERT_TRUE(replay.writeTo(station.file(QStringLiteral("replay.txt"))));
        ASSERT_TRUE(sim.start(station.folder(), kPort, { QStringLiteral("--replay"), station.file(QStringLiteral("replay.txt")) }, &why))
            << why.toStdString();
        ASSERT_TRUE(station.start({ QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                                    QStringLiteral("LC_ALL=%1.UTF-8").arg(QLatin1String(setting)) }, &why))
            << why.toStdString();
        ASSERT_TRUE(e2e::WaitUntil(
            [&] { return !station.logLines().isEmpty() && station.logLines().back().contains(bodies[3]); }, 30000));
        station.stop();
        const QList<QByteArray> logged = station.logLines();
        // Written in that setting's form, not this machine's.
        const QLocale locale { QString::fromLatin1(setting) };
        EXPECT_TRUE(logged.front().startsWith(locale.toString(QDate::currentDate(), QLocale::ShortFormat).toUtf8())
                    || logged.front().startsWith(locale.toString(QDate::currentDate().addDays(-1), QLocale::ShortFormat).toUtf8()))
            << logged.front().constData();

        const QString out = station.file(QStringLiteral("log.csv"));
        QProcess tool;
        tool.start(QStringLiteral(LOGPLOT_PATH), { station.file(QStringLiteral("log.txt")), out });
        ASSERT_TRUE(tool.waitForFinished(30000));
        EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
        QFile csv(out);
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().split('\n');
        ASSERT_EQ(rows.size(), logged.size() + 2);  // the header, and nothing after the last line end
        for (qsizetype i = 0; i < logged.size(); ++i) {
            const QByteArray sentence = e2e::LoggedSentence(logged[i]);
            EXPECT_TRUE(rows[i + 1].endsWith(CsvField(sentence) + '\r')) << rows[i + 1].constData();
            const QDate day = QDate::fromString(QString::fromLatin1(rows[i + 1].left(10)), Qt::ISODate);
            EXPECT_TRUE(day == QDate::currentDate() || day == QDate::currentDate().addDays(-1)) << rows[i + 1].constData();
        }
    }
}
#endif

#pragma once
// Reading a station's log.txt back for a picture of the day: each line is the date in
// the locale's short form, a space, the time (short form with seconds), "," and the
// sentence. The file is streamed twice (once to learn the day's time span and panels,
// once to bin the readings), so memory follows the panels and their pixel columns,
// not the length of the log.
#include <QByteArray>
#include <QDate>
#include <QImage>
#include <QLocale>
#include <QString>
#include <QTime>

#include <optional>
#include <vector>

namespace vt::logplot {

enum class Quantity { Pressure, Elevation };

// One readable log line.
struct Reading {
    QString date;       // as the log writes it
    int seconds = 0;    // time of day, 0 to 86399
    char letter = 0;    // B, R, T, D or A
    QByteArray node;    // field 1, verbatim
    bool imperial = false;
    double pressure = 0;
    double elevation = 0;
};

// Cuts and reads log lines written in one locale's short forms.
class LineReader {
public:
    explicit LineReader(const QLocale& locale = QLocale::system());
    // The reading of one line (without its line end), or nothing when the line cannot be
    // read: no date and time in this locale's forms, a bad check value, a record letter
    // other than the five, a units flag other than 0 or 1, or a reading that is not a
    // number.
    std::optional<Reading> read(QByteArrayView line);

private:
    std::optional<QString> readDate(QByteArrayView text);

    QLocale m_locale;
    QString m_timeFormat;
    int m_dateSpaces = 0;  // spaces inside a date text
    int m_timeCommas = 0;  // commas inside a time text
    QByteArray m_lastDateBytes;
    QString m_lastDate;
};

// A log line as the station writes it (without the line end); tests and the benchmark
// make logs with it.
QByteArray FormatLine(const QLocale& locale, QDate date, QTime time, QByteArrayView sentence);

// One pixel column of a panel: the readings whose time falls in it.
struct Column {
    int count = 0;
    double min = 0, max = 0, first = 0, last = 0;
    int firstSeconds = 0, lastSeconds = 0;
};

struct Panel {
    char letter = 0;
    QByteArray node;
    bool imperial = false;
    Quantity quantity = Quantity::Pressure;
    int points = 0;  // readings drawn in this panel
    double min = 0, max = 0;
    std::vector<Column> columns;

    QString title() const;
    QString unit() const;
};

struct Options {
    QString date;          // the day to draw, as the log writes it; empty: the last day in the log
    int columns = 560;     // pixel columns of a panel's plot area
    int maxNodes = 12;     // record letter and node pairs drawn; lines of further ones are left out
    QLocale locale = QLocale::system();
};

struct DayPlot {
    QString error;         // why there is no picture; empty when there is one
    QString date;          // the day drawn
    qint64 lines = 0;      // lines in the log
    qint64 unreadable = 0; // lines that could not be read, skipped
    qint64 otherDays = 0;  // readable lines of other days
    qint64 leftOut = 0;    // readable lines of the day beyond maxNodes panels
    int firstSeconds = 0, lastSeconds = 0;
    std::vector<Panel> panels;  // per record letter and node: pressure, then elevation
};

// Reads the log at path for one day.
DayPlot ReadLog(const QString& path, const Options& options = {});

// The picture: one row per record letter and node, pressure left, elevation right.
QImage Render(const DayPlot& plot, const QString& logName);

} // namespace vt::logplot

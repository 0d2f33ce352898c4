#pragma once
// Reading a station's log.txt back for a picture of the day, or for a table (CSV) of
// every readable line. Each line is the date, a space, the time (short form with
// seconds), "," and the sentence; the date and time forms are those of the regional
// settings of the machine that wrote the log, found from the lines themselves. The file
// is streamed (once to find that form, then once or twice to read it), so memory follows
// the panels and their pixel columns, not the length of the log.
#include "record/LogLine.h"
#include "record/RecordLayout.h"

#include <QByteArray>
#include <QDate>
#include <QImage>
#include <QString>
#include <QTime>

#include <array>
#include <optional>
#include <vector>

namespace vt::logplot {

using vt::Quantity;

// One readable log line. The views point into the line read and last until the next.
struct Reading {
    QString date;       // as the log writes it
    QDate day;
    int seconds = 0;    // time of day, 0 to 86399
    char letter = 0;    // B, R, T, D or A
    QByteArray node;    // field 1, verbatim
    bool imperial = false;
    double pressure = 0;
    double elevation = 0;
    const RecordLayout* layout = nullptr;
    QByteArrayView sentence;               // check value included
    std::array<QByteArrayView, 10> fields; // of the body before '*'; empty past its end
};

// Cuts and reads log lines written in one date and time form.
class LineReader {
public:
    explicit LineReader(const LogForm& form);
    // The reading of one line (without its line end), or nothing when the line cannot be
    // read: no date and time in this form, a bad check value, a record letter other than
    // the five, a units flag other than 0 or 1, or a reading that is not a number.
    std::optional<Reading> read(QByteArrayView line);

private:
    LogLineReader m_reader;
    QByteArray m_lastDateBytes;
    QString m_lastDate;
};

// The form a log's lines were written in: the one named, or the one that reads its lines
// (see LogFormGuess); otherwise why none could be taken.
struct FormChoice {
    std::optional<LogForm> form;
    QString error;
};
FormChoice ChooseForm(const QString& path, const std::optional<LogForm>& named = {});

// Whether a reading is of the day asked for: written as in the log, or as 2026-12-09.
bool IsDay(const Reading& r, const QString& day);

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
    QString date;          // the day: as the log writes it, or yyyy-MM-dd; empty: the last
                           // day in the log for a picture, every day for a table
    int columns = 560;     // pixel columns of a panel's plot area
    int maxNodes = 12;     // record letter and node pairs drawn; lines of further ones are left out
    std::optional<LogForm> form;  // the log's date and time form; unset: found from its lines
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

// The table: RFC 4180, UTF-8, a header row, one row per readable line of the day (or
// of every day), its time in ISO 8601 with the UTC offset of this machine's zone.
struct Table {
    QString error;         // why there is no table; empty when there is one
    qint64 lines = 0;
    qint64 unreadable = 0;
    qint64 rows = 0;       // rows written below the header
};
Table WriteTable(const QString& path, const QString& out, const Options& options = {});

// A local date and time in ISO 8601 with the offset from UTC in force then:
// "2026-12-09T03:44:38+01:00". A time that occurs twice as the clocks go back is
// taken as the first of the two.
QByteArray IsoLocalTime(QDate date, QTime time);

// One CSV field as RFC 4180 wants it: quoted, inner quotes doubled, where it holds a
// comma, a quote or a line break.
QByteArray CsvField(QByteArrayView text);

} // namespace vt::logplot

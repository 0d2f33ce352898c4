#pragma once
// One line of log.txt, written by the station and read back by its tools: the date and
// the time as the station's regional settings write them, a space between them, a ","
// and the sentence as received without its control characters.
#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>
#include <vector>

namespace vt {

// The longest sentence the station keeps; a longer one is dropped unlogged.
inline constexpr qsizetype kMaxSentence = 4096;
// The longest log line a reader holds: a sentence, its date and time, and the line end.
inline constexpr qsizetype kMaxLogLine = kMaxSentence + 128;

// The bytes the station appends to log.txt for a received sentence, line end included.
// Only spaces are trimmed: a space after a leading line feed, or before the closing
// carriage return, stays.
QByteArray FormatLogLine(const QString& dateText, const QString& timeText, const QByteArray& sentence);

// How the station writes a line's date and time under one regional setting.
struct LogForm {
    QStringList names;   // the settings that write it: "de_DE", "ISO"
    QLocale locale;      // month names and AM/PM texts
    QString dateFormat;  // QDate form, as QLocale's short date form
    QString timeFormat;  // as LogTimeFormat gives it

    QString name() const { return names.join(QStringLiteral(", ")); }
    // The form as a reader names it: "dd.MM.yy HH:mm:ss (de_DE)".
    QString describe() const;
    bool sameAs(const LogForm& other) const;
};

// The form the station writes under a locale.
LogForm LogFormOf(const QLocale& locale);
// ISO 8601's date and 24-hour time ("2026-12-10 11:11:29").
LogForm IsoLogForm();
// The forms a reader tries: this machine's own first, then those of common settings
// (C, en_GB, en_US, de_DE, fr_FR, es_ES, it_IT, nl_NL, pt_PT, pt_BR, sv_SE, pl_PL,
// ja_JP) and ISO, settings that write the same form merged into one.
std::vector<LogForm> KnownLogForms();
// A form by a setting's name ("de_DE") or "ISO"; nothing for a name no locale has.
std::optional<LogForm> LogFormNamed(const QString& name);

// A log line cut into its parts. The views point into the line that was read.
struct LogLineParts {
    QByteArrayView dateText;
    QDate date;
    QTime time;
    QByteArrayView sentence;  // check value included
};

// Reads log lines written in one form. Lines of a day share their date text, so the
// last date read is kept; times are read without QLocale where the form allows.
class LogLineReader {
public:
    explicit LogLineReader(LogForm form);
    // The parts of one line (its line end removed), or nothing when it does not start
    // with a date and a time in this form followed by ",".
    std::optional<LogLineParts> read(QByteArrayView line);
    const LogForm& form() const { return m_form; }

private:
    std::optional<QTime> readTime(QByteArrayView text) const;

    LogForm m_form;
    int m_dateSpaces = 0;  // spaces inside a date text ("10 Dec 2026")
    int m_timeCommas = 0;  // commas inside a time text
    bool m_twoDigitYear = false;
    QByteArray m_lastDateText;
    QDate m_lastDate;
    // The time form as fields and literals, when it has only those QTime parsing needs.
    struct TimeToken {
        char kind;      // 'h' 12-hour, 'H' 24-hour, 'm', 's', 'a' AM/PM, 'l' literal
        QByteArray literal;
    };
    std::vector<TimeToken> m_timeTokens;
    bool m_fastTime = false;
    QByteArray m_am, m_pm;  // upper case
};

// Finds the form a log was written in from its lines: the forms that read the most
// lines with a good check value are kept; of those, forms under which the dates go back
// are dropped; what is left must read every line alike.
class LogFormGuess {
public:
    explicit LogFormGuess(std::vector<LogForm> candidates = KnownLogForms());
    void add(QByteArrayView line);

    struct Result {
        std::optional<LogForm> form;
        QStringList candidates;  // when several forms fit and tell the dates apart
    };
    Result result() const;

private:
    struct Candidate {
        LogLineReader reader;
        qint64 read = 0;
        bool backwards = false;  // a date before the previous line's
        QDate last;
        QDateTime current;       // this line's reading, while add() compares them
    };
    std::vector<Candidate> m_candidates;
    std::vector<std::vector<bool>> m_differ;  // [i][j]: i and j read a line apart
};

} // namespace vt

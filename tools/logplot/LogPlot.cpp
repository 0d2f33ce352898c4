#include "LogPlot.h"

#include "link/Checksum.h"
#include "text/NumberText.h"

#include <QDateTime>
#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <set>
#include <string_view>

namespace vt::logplot {

namespace {

// A log that names more days or node pairs than this is not a station's; beyond it the
// first pass stops collecting and only counts.
constexpr size_t kMaxDays = 100000;
constexpr size_t kMaxKeys = 4096;

std::optional<double> number(QByteArrayView field)
{
    return NumericValue(QString::fromLatin1(field));
}

// Letters in the order their panels are drawn: base, rover, network, differential.
int letterRank(char letter)
{
    return int(kRecordLetters.find(letter));
}

struct Key {
    char letter;
    QByteArray node;
    bool imperial;
    bool operator<(const Key& o) const
    {
        if (letter != o.letter)
            return letterRank(letter) < letterRank(o.letter);
        // Node ids are numbers in practice: shorter first keeps 9 before 10.
        if (node.size() != o.node.size())
            return node.size() < o.node.size();
        if (node != o.node)
            return node < o.node;
        return imperial < o.imperial;
    }
};

struct Day {
    QDate day;
    int first = 86400, last = -1;
    std::set<Key> keys;
    qint64 lines = 0;
};

// Reads the file line by line, at most kMaxLogLine bytes of each, up to limit bytes;
// longer lines are not the station's and are handed on as too long, without being held.
template <typename Fn>
bool forEachLine(QFile& file, qint64 limit, Fn&& fn)
{
    std::array<char, kMaxLogLine + 1> buffer;
    while (file.pos() < limit) {
        qint64 n = file.readLine(buffer.data(), buffer.size());
        if (n <= 0)
            return n == 0 || file.atEnd();
        bool whole = buffer[n - 1] == '\n';
        QByteArrayView line(buffer.data(), n);
        if (!whole && !file.atEnd() && file.pos() < limit) {
            // Too long: skip its rest, count it as one unreadable line.
            char c = 0;
            while (file.getChar(&c) && c != '\n') {
            }
            fn(QByteArrayView(), true);
            continue;
        }
        while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
            line.chop(1);
        fn(line, false);
    }
    return true;
}

} // namespace

LineReader::LineReader(const LogForm& form)
    : m_reader(form)
{
}

std::optional<Reading> LineReader::read(QByteArrayView line)
{
    const auto parts = m_reader.read(line);
    if (!parts || !VerifyChecksum(parts->sentence))
        return std::nullopt;
    Reading r;
    r.sentence = parts->sentence;
    r.day = parts->date;
    r.seconds = parts->time.msecsSinceStartOfDay() / 1000;
    if (parts->dateText != QByteArrayView(m_lastDateBytes)) {
        m_lastDateBytes = parts->dateText.toByteArray();
        m_lastDate = QString::fromUtf8(parts->dateText);
    }
    r.date = m_lastDate;

    const QByteArrayView body = r.sentence.first(r.sentence.indexOf('*'));
    qsizetype start = 0;
    size_t count = 0;
    while (count < r.fields.size()) {
        const qsizetype comma = body.indexOf(',', start);
        r.fields[count++] = body.sliced(start, (comma < 0 ? body.size() : comma) - start);
        if (comma < 0)
            break;
        start = comma + 1;
    }
    if (count < 3 || r.fields[2].size() != 1)
        return std::nullopt;
    r.layout = RecordLayoutOf(r.fields[2][0]);
    if (!r.layout)
        return std::nullopt;
    r.letter = r.layout->letter;
    r.node = r.fields[1].toByteArray();
    const QByteArrayView units = r.fields[size_t(r.layout->units)];
    if (count <= size_t(r.layout->elevation) || (units != "0" && units != "1"))
        return std::nullopt;
    r.imperial = units == "1";
    const auto p = number(r.fields[size_t(r.layout->pressure)]);
    const auto e = number(r.fields[size_t(r.layout->elevation)]);
    if (!p || !e)
        return std::nullopt;
    r.pressure = *p;
    r.elevation = *e;
    return r;
}

bool IsDay(const Reading& r, const QString& day)
{
    return r.date == day || (day.size() == 10 && r.day.toString(Qt::ISODate) == day);
}

FormChoice ChooseForm(const QString& path, const std::optional<LogForm>& named)
{
    FormChoice choice;
    if (named) {
        choice.form = named;
        return choice;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        choice.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return choice;
    }
    LogFormGuess guess;
    qint64 lines = 0;
    const bool ok = forEachLine(file, std::numeric_limits<qint64>::max(), [&](QByteArrayView line, bool tooLong) {
        ++lines;
        if (!tooLong)
            guess.add(line);
    });
    if (!ok) {
        choice.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return choice;
    }
    if (lines == 0) {
        choice.error = QStringLiteral("%1 is empty: the station has logged no sentence there.").arg(path);
        return choice;
    }
    const LogFormGuess::Result result = guess.result();
    if (!result.candidates.isEmpty()) {
        choice.error = QStringLiteral("%1's dates fit more than one form: %2. Name one with --date-format.")
                           .arg(path, result.candidates.join(QStringLiteral("; ")));
    } else if (!result.form) {
        choice.error = QStringLiteral("%1 holds no line that can be read (%2 lines, none with a good check value "
                                      "after a date and time of a known form)")
                           .arg(path).arg(lines);
    }
    choice.form = result.form;
    return choice;
}

QString Panel::unit() const
{
    return UnitName(quantity, imperial);
}

QString Panel::title() const
{
    // The node id is the node's text: shown as plain text, and cut short.
    QString id = QString::fromLatin1(node);
    if (id.size() > 12)
        id = id.left(11) + QChar(0x2026);
    return RecordTitle(letter, quantity, id, unit());
}

DayPlot ReadLog(const QString& path, const Options& options)
{
    DayPlot plot;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        plot.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return plot;
    }

    const FormChoice form = ChooseForm(path, options.form);
    if (!form.form) {
        plot.error = form.error;
        return plot;
    }
    // First pass: which days, spans and panels the log holds.
    LineReader reader(*form.form);
    std::map<QString, Day> days;
    QString lastDay;
    const bool ok = forEachLine(file, std::numeric_limits<qint64>::max(), [&](QByteArrayView line, bool tooLong) {
        ++plot.lines;
        const auto r = tooLong ? std::nullopt : reader.read(line);
        if (!r) {
            ++plot.unreadable;
            return;
        }
        auto it = days.find(r->date);
        if (it == days.end()) {
            if (days.size() >= kMaxDays)
                return;
            it = days.emplace(r->date, Day{ .day = r->day, .first = 86400, .last = -1, .keys = {}, .lines = 0 }).first;
        }
        Day& d = it->second;
        ++d.lines;
        d.first = std::min(d.first, r->seconds);
        d.last = std::max(d.last, r->seconds);
        if (d.keys.size() < kMaxKeys)
            d.keys.insert(Key{r->letter, r->node, r->imperial});
        lastDay = r->date;
    });
    const qint64 end = file.pos();
    if (!ok) {
        plot.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return plot;
    }
    if (plot.lines == 0) {
        plot.error = QStringLiteral("%1 is empty: the station has logged no sentence there.").arg(path);
        return plot;
    }
    if (days.empty()) {
        plot.error = QStringLiteral("%1 holds no line that can be read (%2 lines, all in another form)")
                         .arg(path).arg(plot.lines);
        return plot;
    }
    auto day = days.find(options.date.isEmpty() ? lastDay : options.date);
    if (day == days.end() && !options.date.isEmpty())
        day = std::find_if(days.begin(), days.end(),
                           [&](const auto& d) { return d.second.day.toString(Qt::ISODate) == options.date; });
    plot.date = day == days.end() ? options.date : day->first;
    if (day == days.end()) {
        plot.error = QStringLiteral("%1 holds no readable line of %2").arg(path, plot.date);
        return plot;
    }
    for (const auto& [date, d] : days)
        if (date != plot.date)
            plot.otherDays += d.lines;
    plot.firstSeconds = day->second.first;
    plot.lastSeconds = day->second.last;

    std::map<Key, size_t> index;  // key to its pressure panel; elevation follows it
    for (const Key& k : day->second.keys) {
        if (index.size() >= size_t(std::max(options.maxNodes, 1)))
            break;
        index.emplace(k, plot.panels.size());
        for (Quantity q : { Quantity::Pressure, Quantity::Elevation }) {
            Panel p;
            p.letter = k.letter;
            p.node = k.node;
            p.imperial = k.imperial;
            p.quantity = q;
            p.columns.resize(size_t(std::max(options.columns, 1)));
            plot.panels.push_back(std::move(p));
        }
    }

    // Second pass: bin the day's readings into their panels' pixel columns. Only the
    // bytes the first pass saw are read, so a log that grows meanwhile stays consistent.
    const int span = std::max(plot.lastSeconds - plot.firstSeconds, 1);
    const int columns = std::max(options.columns, 1);
    auto add = [](Panel& p, size_t c, double v, int seconds) {
        Column& col = p.columns[c];
        if (col.count == 0) {
            col.min = col.max = col.first = v;
            col.firstSeconds = seconds;
        }
        col.min = std::min(col.min, v);
        col.max = std::max(col.max, v);
        col.last = v;
        col.lastSeconds = seconds;
        ++col.count;
        if (p.points == 0)
            p.min = p.max = v;
        p.min = std::min(p.min, v);
        p.max = std::max(p.max, v);
        ++p.points;
    };
    file.seek(0);
    LineReader second(*form.form);
    forEachLine(file, end, [&](QByteArrayView line, bool tooLong) {
        const auto r = tooLong ? std::nullopt : second.read(line);
        if (!r || r->date != plot.date)
            return;
        const auto it = index.find(Key{r->letter, r->node, r->imperial});
        if (it == index.end()) {
            ++plot.leftOut;
            return;
        }
        const size_t c = plot.lastSeconds == plot.firstSeconds
            ? size_t(columns / 2)
            : size_t((qint64(r->seconds - plot.firstSeconds) * (columns - 1) + span / 2) / span);
        add(plot.panels[it->second], c, r->pressure, r->seconds);
        add(plot.panels[it->second + 1], c, r->elevation, r->seconds);
    });
    return plot;
}

namespace {

int utcOffsetAt(qint64 utcSeconds)
{
    return QDateTime::fromSecsSinceEpoch(utcSeconds).offsetFromUtc();
}

// "+01:00", "-03:30", "+00:00".
QByteArray offsetText(int seconds)
{
    const int minutes = std::abs(seconds) / 60;
    return QByteArray(seconds < 0 ? "-" : "+") + QByteArray::number(minutes / 60).rightJustified(2, '0') + ':'
        + QByteArray::number(minutes % 60).rightJustified(2, '0');
}

// The offset from UTC at a local date and time. Offsets are taken half a day either
// side, so a change of the clocks within the day is seen; each that maps the local
// time back onto itself is in force then, and the earlier instant wins.
int offsetOfLocal(QDate date, QTime time)
{
    const qint64 asUtc = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    const int before = utcOffsetAt(asUtc - 43200);
    const int after = utcOffsetAt(asUtc + 43200);
    std::optional<qint64> first;
    int offset = before;  // in a gap the clocks skipped: the offset before it
    for (const int o : { before, after }) {
        const qint64 instant = asUtc - o;
        if (utcOffsetAt(instant) == o && (!first || instant < *first)) {
            first = instant;
            offset = o;
        }
    }
    return offset;
}

void appendTwoDigits(QByteArray& out, int n)
{
    out += char('0' + n / 10);
    out += char('0' + n % 10);
}

// Bytes of the log as text, one to one as the station reads them, in UTF-8.
void appendText(QByteArray& out, QByteArrayView bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return quint8(c) < 0x80; }))
        out += CsvField(bytes);
    else
        out += CsvField(QString::fromLatin1(bytes).toUtf8());
}

} // namespace

QByteArray IsoLocalTime(QDate date, QTime time)
{
    return date.toString(Qt::ISODate).toLatin1() + 'T' + time.toString(QStringLiteral("HH:mm:ss")).toLatin1()
        + offsetText(offsetOfLocal(date, time));
}

QByteArray CsvField(QByteArrayView text)
{
    if (!std::any_of(text.begin(), text.end(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }))
        return text.toByteArray();
    QByteArray quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

Table WriteTable(const QString& path, const QString& out, const Options& options)
{
    Table table;
    const FormChoice form = ChooseForm(path, options.form);
    if (!form.form) {
        table.error = form.error;
        return table;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        table.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return table;
    }
    QFile csv(out);
    if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        table.error = QStringLiteral("Cannot write %1: %2").arg(out, csv.errorString());
        return table;
    }
    QByteArray buffer = "time,network,node,record,units,pressure,pressure_unit,elevation,elevation_unit,"
                        "datum,adjustment,inverse,sentence\r\n";
    bool written = true;
    const auto flush = [&] {
        written = written && csv.write(buffer) == buffer.size();
        buffer.clear();
    };

    // A day's ISO date and offset, kept while no clock change falls within it.
    QDate cachedDay;
    QByteArray dayText;
    std::optional<int> dayOffset;
    LineReader reader(*form.form);
    const bool ok = forEachLine(file, std::numeric_limits<qint64>::max(), [&](QByteArrayView line, bool tooLong) {
        ++table.lines;
        const auto r = tooLong ? std::nullopt : reader.read(line);
        if (!r) {
            ++table.unreadable;
            return;
        }
        if (!options.date.isEmpty() && !IsDay(*r, options.date))
            return;
        if (r->day != cachedDay) {
            cachedDay = r->day;
            dayText = r->day.toString(Qt::ISODate).toLatin1() + 'T';
            const int start = offsetOfLocal(r->day, QTime(0, 0));
            dayOffset.reset();
            if (start == offsetOfLocal(r->day, QTime(23, 59, 59))
                && start == utcOffsetAt(QDateTime(r->day, QTime(12, 0), Qt::UTC).toSecsSinceEpoch() - start))
                dayOffset = start;
        }
        const QTime time = QTime::fromMSecsSinceStartOfDay(r->seconds * 1000);
        buffer += dayText;
        appendTwoDigits(buffer, time.hour());
        buffer += ':';
        appendTwoDigits(buffer, time.minute());
        buffer += ':';
        appendTwoDigits(buffer, time.second());
        buffer += offsetText(dayOffset ? *dayOffset : offsetOfLocal(r->day, time));
        const RecordLayout& l = *r->layout;
        const auto field = [&](int i) { return i < 0 ? QByteArrayView() : r->fields[size_t(i)]; };
        for (const QByteArrayView f : { field(0), field(1), field(2) }) {
            buffer += ',';
            appendText(buffer, f);
        }
        buffer += r->imperial ? ",imperial," : ",metric,";
        appendText(buffer, field(l.pressure));
        buffer += ',';
        buffer += UnitName(Quantity::Pressure, r->imperial).toLatin1();
        buffer += ',';
        appendText(buffer, field(l.elevation));
        buffer += ',';
        buffer += UnitName(Quantity::Elevation, r->imperial).toLatin1();
        buffer += ',';
        appendText(buffer, field(l.datum));
        buffer += ',';
        appendText(buffer, field(l.adjustment));
        buffer += ',';
        if (l.inverse >= 0)
            buffer += PrefixValue(QString::fromLatin1(field(l.inverse))) < 0 ? "yes" : "no";
        buffer += ',';
        appendText(buffer, r->sentence);
        buffer += "\r\n";
        ++table.rows;
        if (buffer.size() >= 1 << 16)
            flush();
    });
    flush();
    csv.close();
    if (!ok)
        table.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
    else if (!written || csv.error() != QFileDevice::NoError)
        table.error = QStringLiteral("Cannot write %1: %2").arg(out, csv.errorString());
    else if (table.rows == 0)
        table.error = options.date.isEmpty() ? QStringLiteral("%1 holds no line that can be read").arg(path)
                                             : QStringLiteral("%1 holds no readable line of %2").arg(path, options.date);
    return table;
}

} // namespace vt::logplot

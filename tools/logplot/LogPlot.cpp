#include "LogPlot.h"

#include "link/Checksum.h"
#include "link/Clock.h"
#include "text/NumberText.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <set>
#include <string_view>

namespace vt::logplot {

namespace {

// Longer lines are not the station's; they are counted unreadable without being held.
constexpr qint64 kMaxLine = 4096;
// A log that names more days or node pairs than this is not a station's; beyond it the
// first pass stops collecting and only counts.
constexpr size_t kMaxDays = 100000;
constexpr size_t kMaxKeys = 4096;

// The end of the n-th separator (counted from 1) in text, or -1.
qsizetype nthIndex(QByteArrayView text, char separator, int n, qsizetype from = 0)
{
    qsizetype at = from - 1;
    for (int i = 0; i < n; ++i) {
        at = text.indexOf(separator, at + 1);
        if (at < 0)
            return -1;
    }
    return at;
}

std::optional<double> number(QByteArrayView field)
{
    return NumericValue(QString::fromLatin1(field));
}

// Letters in the order their panels are drawn: base, rover, network, differential.
int letterRank(char letter)
{
    static constexpr std::string_view order = "BRTDA";
    return int(order.find(letter));
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
    int first = 86400, last = -1;
    std::set<Key> keys;
    qint64 lines = 0;
};

// Reads the file line by line, at most kMaxLine bytes of each, up to limit bytes.
template <typename Fn>
bool forEachLine(QFile& file, qint64 limit, Fn&& fn)
{
    std::array<char, kMaxLine + 1> buffer;
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

LineReader::LineReader(const QLocale& locale)
    : m_locale(locale)
    , m_timeFormat(LogTimeFormat(locale))
{
    // A date or time text may itself hold spaces or commas ("9. 12. 26", "3:04:05 PM");
    // count them once on a sample so the line can be cut in the right places.
    m_dateSpaces = int(m_locale.toString(QDate(2026, 12, 31), QLocale::ShortFormat).count(QLatin1Char(' ')));
    m_timeCommas = int(m_locale.toString(QTime(23, 59, 59), m_timeFormat).count(QLatin1Char(',')));
}

std::optional<QString> LineReader::readDate(QByteArrayView text)
{
    if (text == QByteArrayView(m_lastDateBytes))
        return m_lastDate;
    QString date = QString::fromLocal8Bit(text);
    if (!m_locale.toDate(date, QLocale::ShortFormat).isValid())
        return std::nullopt;
    m_lastDateBytes = text.toByteArray();
    m_lastDate = date;
    return date;
}

std::optional<Reading> LineReader::read(QByteArrayView line)
{
    const qsizetype dateEnd = nthIndex(line, ' ', m_dateSpaces + 1);
    if (dateEnd < 0)
        return std::nullopt;
    const qsizetype timeEnd = nthIndex(line, ',', m_timeCommas + 1, dateEnd + 1);
    if (timeEnd < 0)
        return std::nullopt;
    const QByteArrayView sentence = line.sliced(timeEnd + 1);
    if (!VerifyChecksum(sentence))
        return std::nullopt;

    Reading r;
    const QTime time = m_locale.toTime(QString::fromLocal8Bit(line.sliced(dateEnd + 1, timeEnd - dateEnd - 1)),
                                       m_timeFormat);
    if (!time.isValid())
        return std::nullopt;
    r.seconds = time.msecsSinceStartOfDay() / 1000;
    const auto date = readDate(line.first(dateEnd));
    if (!date)
        return std::nullopt;
    r.date = *date;

    // The fields this needs: 0 to 8 of the body before '*'.
    std::array<QByteArrayView, 9> f;
    const QByteArrayView body = sentence.first(sentence.indexOf('*'));
    qsizetype start = 0;
    size_t count = 0;
    while (count < f.size()) {
        const qsizetype comma = body.indexOf(',', start);
        f[count++] = body.sliced(start, (comma < 0 ? body.size() : comma) - start);
        if (comma < 0)
            break;
        start = comma + 1;
    }
    if (count < 3 || f[2].size() != 1 || letterRank(f[2][0]) < 0)
        return std::nullopt;
    r.letter = f[2][0];
    r.node = f[1].toByteArray();
    // Differential records carry one more field before the units flag.
    const bool differential = r.letter == 'A' || r.letter == 'D';
    const size_t units = differential ? 4 : 3;
    const size_t pressure = units + 1;
    const size_t elevation = differential ? 8 : 5;
    if (count <= elevation || (f[units] != "0" && f[units] != "1"))
        return std::nullopt;
    r.imperial = f[units] == "1";
    const auto p = number(f[pressure]);
    const auto e = number(f[elevation]);
    if (!p || !e)
        return std::nullopt;
    r.pressure = *p;
    r.elevation = *e;
    return r;
}

QByteArray FormatLine(const QLocale& locale, QDate date, QTime time, QByteArrayView sentence)
{
    QByteArray line = locale.toString(date, QLocale::ShortFormat).toLocal8Bit();
    line += ' ';
    line += locale.toString(time, LogTimeFormat(locale)).toLocal8Bit();
    line += ',';
    line += sentence;
    return line;
}

QString Panel::unit() const
{
    if (quantity == Quantity::Pressure)
        return imperial ? QStringLiteral("inHg") : QStringLiteral("mb");
    return imperial ? QStringLiteral("ft") : QStringLiteral("m");
}

QString Panel::title() const
{
    // The node id is the node's text: shown as plain text, and cut short.
    QString id = QString::fromLatin1(node);
    if (id.size() > 12)
        id = id.left(11) + QChar(0x2026);
    const QString what = quantity == Quantity::Pressure ? QStringLiteral("Pressure") : QStringLiteral("Elevation");
    switch (letter) {
    case 'B':
    case 'T':
        return QStringLiteral("Absolute %1 (Base %2, %3)").arg(what, id, unit());
    case 'R':
        return QStringLiteral("Absolute %1 (Rover %2, %3)").arg(what, id, unit());
    default:
        return QStringLiteral("Differential %1 (node %2, %3)").arg(what, id, unit());
    }
}

DayPlot ReadLog(const QString& path, const Options& options)
{
    DayPlot plot;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        plot.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return plot;
    }

    // First pass: which days, spans and panels the log holds.
    LineReader reader(options.locale);
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
            it = days.emplace(r->date, Day{}).first;
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
    plot.date = options.date.isEmpty() ? lastDay : options.date;
    const auto day = days.find(plot.date);
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
    LineReader second(options.locale);
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

} // namespace vt::logplot

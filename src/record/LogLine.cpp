#include "record/LogLine.h"

#include "link/Checksum.h"
#include "link/Clock.h"
#include "text/Trim.h"

#include <algorithm>

namespace vt {

QByteArray FormatLogLine(const QString& dateText, const QString& timeText, const QByteArray& sentence)
{
    QByteArray line = dateText.toLocal8Bit();
    line += ' ';
    line += timeText.toLocal8Bit();
    line += ',';
    line += StripControlChars(TrimSpaces(sentence));
    line += "\r\n";
    return line;
}

QString LogForm::describe() const
{
    return QStringLiteral("%1 %2 (%3)").arg(dateFormat, timeFormat, name());
}

bool LogForm::sameAs(const LogForm& other) const
{
    if (dateFormat != other.dateFormat || timeFormat != other.timeFormat)
        return false;
    // Month names and AM/PM texts only matter where the form writes them.
    const bool names = dateFormat.contains(QLatin1String("MMM"));
    const bool ampm = timeFormat.contains(QLatin1Char('a'), Qt::CaseInsensitive);
    return (!names || locale.monthName(12, QLocale::ShortFormat) == other.locale.monthName(12, QLocale::ShortFormat))
        && (!ampm || (locale.amText() == other.locale.amText() && locale.pmText() == other.locale.pmText()));
}

LogForm LogFormOf(const QLocale& locale)
{
    return { { locale.name() }, locale, locale.dateFormat(QLocale::ShortFormat), LogTimeFormat(locale) };
}

LogForm IsoLogForm()
{
    return { { QStringLiteral("ISO") }, QLocale::c(), QStringLiteral("yyyy-MM-dd"), QStringLiteral("HH:mm:ss") };
}

std::vector<LogForm> KnownLogForms()
{
    static const char* const kCommon[] = { "C", "en_GB", "en_US", "de_DE", "fr_FR", "es_ES", "it_IT",
                                           "nl_NL", "pt_PT", "pt_BR", "sv_SE", "pl_PL", "ja_JP" };
    std::vector<LogForm> all { LogFormOf(QLocale::system()) };
    for (const char* name : kCommon)
        all.push_back(LogFormOf(QLocale(QString::fromLatin1(name))));
    all.push_back(IsoLogForm());
    std::vector<LogForm> forms;
    for (LogForm& f : all) {
        auto same = std::find_if(forms.begin(), forms.end(), [&](const LogForm& g) { return g.sameAs(f); });
        if (same == forms.end())
            forms.push_back(std::move(f));
        else if (!same->names.contains(f.names.front()))
            same->names += f.names;
    }
    return forms;
}

std::optional<LogForm> LogFormNamed(const QString& name)
{
    if (name.compare(QLatin1String("ISO"), Qt::CaseInsensitive) == 0)
        return IsoLogForm();
    const QLocale locale(name);
    // QLocale falls back to C for a name it does not know.
    if (locale.language() == QLocale::C && name != QLatin1String("C") && name != QLatin1String("POSIX"))
        return std::nullopt;
    return LogFormOf(locale);
}

namespace {

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

} // namespace

LogLineReader::LogLineReader(LogForm form)
    : m_form(std::move(form))
{
    // A date or time text may itself hold spaces or commas ("9. 12. 26", "3:04:05 PM");
    // count them once on a sample so the line can be cut in the right places.
    const QLocale& l = m_form.locale;
    m_dateSpaces = int(l.toString(QDate(2026, 12, 31), m_form.dateFormat).count(QLatin1Char(' ')));
    m_timeCommas = int(l.toString(QTime(23, 59, 59), m_form.timeFormat).count(QLatin1Char(',')));
    // Qt reads a two-digit year as 19yy; the station writes today's date.
    m_twoDigitYear = !m_form.dateFormat.contains(QLatin1String("yyyy")) && m_form.dateFormat.contains(QLatin1String("yy"));

    // QTime's own parser costs microseconds a line; the forms the station writes hold
    // only hours, minutes, seconds, an AM/PM mark and literals, read here directly.
    const QString f = m_form.timeFormat;
    m_fastTime = true;
    bool twelveHour = false;
    for (qsizetype i = 0; i < f.size() && m_fastTime;) {
        const QChar c = f.at(i);
        qsizetype run = 1;
        while (i + run < f.size() && f.at(i + run) == c)
            ++run;
        if (c == u'h' || c == u'H' || c == u'm' || c == u's') {
            m_fastTime = run <= 2;
            m_timeTokens.push_back({ char(c.unicode()), {} });
        } else if (c == u'a' || c == u'A') {
            twelveHour = true;
            if (i + 1 < f.size() && (f.at(i + 1) == u'p' || f.at(i + 1) == u'P'))
                run = 2;
            else
                run = 1;
            m_timeTokens.push_back({ 'a', {} });
        } else if (c.isLetter() || c == u'\'') {
            m_fastTime = false;  // quoted text, zones, milliseconds: QTime reads them
        } else {
            m_timeTokens.push_back({ 'l', QString(c).repeated(run).toUtf8() });
        }
        i += run;
    }
    if (!twelveHour)
        for (TimeToken& t : m_timeTokens)
            if (t.kind == 'h')
                t.kind = 'H';
    m_am = l.amText().toUtf8();
    m_pm = l.pmText().toUtf8();
}

std::optional<QTime> LogLineReader::readTime(QByteArrayView text) const
{
    if (!m_fastTime) {
        const QTime t = m_form.locale.toTime(QString::fromUtf8(text), m_form.timeFormat);
        return t.isValid() ? std::optional(t) : std::nullopt;
    }
    int hour = -1, minute = 0, second = 0, half = -1;  // half: 0 AM, 1 PM
    qsizetype at = 0;
    const auto number = [&](int& value) {
        int digits = 0;
        value = 0;
        while (at < text.size() && digits < 2 && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + (text[at++] - '0');
            ++digits;
        }
        return digits > 0;
    };
    const auto startsWith = [&](const QByteArray& word) {
        return !word.isEmpty() && text.size() - at >= word.size()
            && qstrnicmp(text.data() + at, word.constData(), word.size()) == 0;
    };
    for (const TimeToken& t : m_timeTokens) {
        switch (t.kind) {
        case 'h':
        case 'H':
            if (!number(hour))
                return std::nullopt;
            if (t.kind == 'h' && (hour < 1 || hour > 12))
                return std::nullopt;
            break;
        case 'm':
            if (!number(minute))
                return std::nullopt;
            break;
        case 's':
            if (!number(second))
                return std::nullopt;
            break;
        case 'a':
            if (startsWith(m_am)) {
                half = 0;
                at += m_am.size();
            } else if (startsWith(m_pm)) {
                half = 1;
                at += m_pm.size();
            } else {
                return std::nullopt;
            }
            break;
        default:
            if (!text.sliced(at).startsWith(t.literal))
                return std::nullopt;
            at += t.literal.size();
        }
    }
    if (at != text.size() || hour < 0)
        return std::nullopt;
    if (half >= 0)
        hour = hour % 12 + 12 * half;
    const QTime time(hour, minute, second);
    return time.isValid() ? std::optional(time) : std::nullopt;
}

std::optional<LogLineParts> LogLineReader::read(QByteArrayView line)
{
    const qsizetype dateEnd = nthIndex(line, ' ', m_dateSpaces + 1);
    if (dateEnd < 0)
        return std::nullopt;
    const qsizetype timeEnd = nthIndex(line, ',', m_timeCommas + 1, dateEnd + 1);
    if (timeEnd < 0)
        return std::nullopt;
    LogLineParts parts;
    parts.dateText = line.first(dateEnd);
    const auto time = readTime(line.sliced(dateEnd + 1, timeEnd - dateEnd - 1));
    if (!time)
        return std::nullopt;
    parts.time = *time;
    if (parts.dateText != QByteArrayView(m_lastDateText)) {
        QDate date = m_form.locale.toDate(QString::fromUtf8(parts.dateText), m_form.dateFormat);
        if (date.isValid() && m_twoDigitYear)
            date = date.addYears(100);
        if (!date.isValid())
            return std::nullopt;
        m_lastDateText = parts.dateText.toByteArray();
        m_lastDate = date;
    }
    parts.date = m_lastDate;
    parts.sentence = line.sliced(timeEnd + 1);
    return parts;
}

LogFormGuess::LogFormGuess(std::vector<LogForm> candidates)
{
    for (LogForm& f : candidates)
        m_candidates.push_back({ .reader = LogLineReader(std::move(f)), .read = 0, .backwards = false, .last = {}, .current = {} });
    m_differ.assign(m_candidates.size(), std::vector<bool>(m_candidates.size(), false));
}

void LogFormGuess::add(QByteArrayView line)
{
    for (Candidate& c : m_candidates) {
        c.current = {};
        const auto parts = c.reader.read(line);
        if (!parts || !VerifyChecksum(parts->sentence))
            continue;
        ++c.read;
        if (c.last.isValid() && parts->date < c.last)
            c.backwards = true;
        c.last = parts->date;
        c.current = QDateTime(parts->date, parts->time, Qt::UTC);
    }
    for (size_t i = 0; i < m_candidates.size(); ++i)
        for (size_t j = i + 1; j < m_candidates.size(); ++j)
            if (m_candidates[i].current.isValid() && m_candidates[j].current.isValid()
                && m_candidates[i].current != m_candidates[j].current)
                m_differ[i][j] = m_differ[j][i] = true;
}

LogFormGuess::Result LogFormGuess::result() const
{
    qint64 most = 0;
    bool forwards = false;  // some form reading the most lines keeps the dates in order
    for (const Candidate& c : m_candidates)
        most = std::max(most, c.read);
    for (const Candidate& c : m_candidates)
        forwards = forwards || (c.read == most && !c.backwards);
    std::vector<size_t> fit;
    for (size_t i = 0; i < m_candidates.size(); ++i)
        if (most > 0 && m_candidates[i].read == most && (!forwards || !m_candidates[i].backwards))
            fit.push_back(i);
    Result r;
    if (fit.empty())
        return r;
    bool alike = true;
    for (size_t i : fit)
        alike = alike && !m_differ[fit.front()][i];
    if (alike) {
        r.form = m_candidates[fit.front()].reader.form();
        return r;
    }
    for (size_t i : fit)
        r.candidates << m_candidates[i].reader.form().describe();
    return r;
}

} // namespace vt

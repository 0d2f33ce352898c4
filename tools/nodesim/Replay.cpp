#include "Replay.h"

#include <QFile>
#include <QRegularExpression>

#include <cmath>

namespace nodesim {

std::optional<LogLine> ParseLogLine(QByteArrayView line)
{
    // Dates differ by locale (and may hold spaces); the time of day is the anchor.
    static const QRegularExpression timeRx(
        QStringLiteral(R"((?<!\d)(\d{1,2}):(\d{2})(?::(\d{2})(?:\.(\d{1,3}))?)?(?!\d))"));
    const QString s = QString::fromUtf8(line);
    const QRegularExpressionMatch m = timeRx.match(s);
    if (!m.hasMatch())
        return std::nullopt;
    const qsizetype comma = s.indexOf(QLatin1Char(','), m.capturedEnd());
    if (comma < 0)
        return std::nullopt;
    int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    const int second = m.captured(3).toInt();
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    // 12-hour locales write "5:02:03 PM"; without this the pace breaks at noon.
    const QString suffix = s.mid(m.capturedEnd(), comma - m.capturedEnd()).trimmed().toUpper();
    if (suffix.startsWith(QLatin1String("PM")) && hour < 12)
        hour += 12;
    else if (suffix.startsWith(QLatin1String("AM")) && hour == 12)
        hour = 0;
    const QString frac = m.captured(4);
    const double seconds = hour * 3600.0 + minute * 60.0 + second
        + (frac.isEmpty() ? 0.0 : frac.toDouble() / std::pow(10.0, frac.size()));
    QByteArray text = s.mid(comma + 1).toUtf8();
    while (!text.isEmpty() && (text.endsWith('\r') || text.endsWith('\n')))
        text.chop(1);
    return LogLine { seconds, text };
}

double LogGap(double previous, double current)
{
    const double d = current - previous;
    if (d >= 0.0)
        return d;
    return d < -43200.0 ? d + 86400.0 : 0.0;
}

QList<LogLine> ReadLog(const QString& path, QString* error)
{
    QList<LogLine> lines;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, f.errorString());
        return lines;
    }
    while (!f.atEnd())
        if (auto l = ParseLogLine(f.readLine()); l && !l->text.isEmpty())
            lines.append(*l);
    return lines;
}

} // namespace nodesim

#include "link/Clock.h"

#include <QDateTime>
#include <QLocale>

#include <chrono>

namespace vt {

int SystemClock::secondsOfDay() const
{
    return QTime::currentTime().msecsSinceStartOfDay() / 1000;
}

QString SystemClock::dateText() const
{
    const QLocale locale = QLocale::system();
    return locale.toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString LogTimeFormat(const QLocale& locale)
{
    // The short time form of many locales drops the seconds; the log keeps them.
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1Char('s'))) {
        const qsizetype at = format.indexOf(QLatin1String("mm"));
        if (at >= 0)
            format.insert(at + 2, QLatin1String(":ss"));
    }
    return format;
}

QString SystemClock::timeText() const
{
    const QLocale locale = QLocale::system();
    return locale.toString(QTime::currentTime(), LogTimeFormat(locale));
}

LogStamp SystemClock::stamp() const
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    return { locale.toString(now.date(), QLocale::ShortFormat), locale.toString(now.time(), LogTimeFormat(locale)) };
}

qint64 SystemClock::steadyMs() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int SystemClock::msToSecondChange(int n) const
{
    return 1000 * (n - 1) + 1000 - QTime::currentTime().msec();
}

} // namespace vt

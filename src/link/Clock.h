#pragma once
// The station's view of time, a seam so tests drive time instead of waiting for it.
#include <QString>

class QLocale;

namespace vt {

// A moment as the log writes it.
struct LogStamp {
    QString date;
    QString time;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Time of day in whole seconds (0 to 86399).
    virtual int secondsOfDay() const = 0;
    // Today's date and the time of day as the log writes them.
    virtual QString dateText() const = 0;
    virtual QString timeText() const = 0;
    // This moment's date and time, read together: a line received at midnight must not
    // take one day's date with the next day's time.
    virtual LogStamp stamp() const { return { dateText(), timeText() }; }
    // Milliseconds from a fixed start, never set back (unlike the time of day): paces
    // work that must happen at most so often.
    virtual qint64 steadyMs() const = 0;
    // How long a waiting receiver may sleep before the seconds can have changed n times.
    virtual int msToSecondChange(int n) const = 0;
    // Called when such a sleep ran out with nothing else happening.
    virtual void sleptToSecondChange(int n) { Q_UNUSED(n); }
};

// The time form log lines use: the locale's short time form, with seconds added where
// it has none. Readers of the log parse with the same form.
QString LogTimeFormat(const QLocale& locale);

// The system clock; date and time in the system locale's short forms, time with seconds.
class SystemClock : public Clock {
public:
    int secondsOfDay() const override;
    QString dateText() const override;
    QString timeText() const override;
    LogStamp stamp() const override;
    qint64 steadyMs() const override;
    int msToSecondChange(int n) const override;
};

} // namespace vt

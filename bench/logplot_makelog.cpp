// logplot_makelog FILE [LINES]: writes a station log of LINES sentences (default 86,400:
// a day at one a second), in this machine's short date and time forms, for timing
// ventholm-logplot. Rover 3 most seconds, base 1 every fifth, node 5 twice a minute,
// a datum reading every ten minutes.
// logplot_makelog --from SENTENCES FILE: writes each line of SENTENCES as a log line
// instead, one a second from 10:00:01, for replaying recorded sentences at that pace.
#include "link/Checksum.h"
#include "link/Clock.h"
#include "record/LogLine.h"

#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace {

int fromSentences(const char* sentences, const char* log)
{
    QFile in(QString::fromLocal8Bit(sentences));
    QFile out(QString::fromLocal8Bit(log));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot read %s or write %s\n", sentences, log);
        return 1;
    }
    const QLocale locale = QLocale::system();
    const QDate day(2026, 12, 9);
    for (int i = 1; !in.atEnd(); ++i) {
        const QByteArray sentence = in.readLine().trimmed();
        out.write(vt::FormatLogLine(locale.toString(day, QLocale::ShortFormat),
                                    locale.toString(QTime(10, 0).addSecs(i), vt::LogTimeFormat(locale)), sentence));
    }
    return out.error() == QFileDevice::NoError ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && std::strcmp(argv[1], "--from") == 0)
        return fromSentences(argv[2], argv[3]);
    if (argc < 2) {
        std::fprintf(stderr, "Usage: logplot_makelog FILE [LINES] | logplot_makelog --from SENTENCES FILE\n");
        return 2;
    }
    const long lines = argc > 2 ? std::atol(argv[2]) : 86400;
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const QLocale locale = QLocale::system();
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.04);
    const QDate day(2026, 12, 9);
    for (long i = 0; i < lines; ++i) {
        const int s = int(i % 86400);
        const double weather = 6 * std::sin(s / 86400.0 * 2 * M_PI) + 1.5 * std::sin(s / 5400.0);
        QByteArray body;
        if (s % 600 == 0)
            body = QString::asprintf("12,5,D,1,0,%.2f,0,120.0,%.2f", weather / 10 + noise(random), -weather * 0.8).toLatin1();
        else if (s % 30 == 0)
            body = QString::asprintf("12,5,T,0,%.2f,%.1f", 1009.0 + weather + noise(random), 151.0 + noise(random) * 8).toLatin1();
        else if (s % 5 == 0)
            body = QString::asprintf("12,1,B,0,%.2f,%.1f", 1013.25 + weather + noise(random), 120.5 + noise(random) * 8).toLatin1();
        else
            body = QString::asprintf("12,3,R,0,%.2f,%.1f", 1011.0 + weather + noise(random),
                                     137.0 + 4 * std::sin(s / 1800.0) + noise(random) * 8).toLatin1();
        const QByteArray sentence = body + '*' + vt::ChecksumText(body);
        file.write(vt::FormatLogLine(locale.toString(day.addDays(i / 86400), QLocale::ShortFormat),
                                     locale.toString(QTime(0, 0).addSecs(s), vt::LogTimeFormat(locale)), sentence));
    }
    return file.error() == QFileDevice::NoError ? 0 : 1;
}

#pragma once
// Playing back a station log: each line is "<date> <time>,<sentence text>".
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

namespace nodesim {

struct LogLine {
    double secondsOfDay;  // when the station logged it
    QByteArray text;      // the sentence as received, line end removed
};

// One log line, or nothing when it holds no time followed by a comma.
std::optional<LogLine> ParseLogLine(QByteArrayView line);

// Seconds between two logged times. A large step back is taken as midnight; a
// small one (clock set back) as no wait at all.
double LogGap(double previous, double current);

// The usable lines of a log file; *error is set when the file cannot be read.
QList<LogLine> ReadLog(const QString& path, QString* error);

} // namespace nodesim

// Every good sentence becomes one line of log.txt, opened and closed per line so
// other programs can read the log while the station runs.
#include "app/frmMain.h"

#include "link/Checksum.h"
#include "link/Clock.h"

#include <QFile>

namespace {

// Appends bytes to a file; returns why it failed, or an empty text.
QString appendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        file.close();
        return reason;
    }
    if (!file.flush())
        return QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("Cannot close %1: %2").arg(path, file.errorString());
    return {};
}

} // namespace

void frmMain::LogSentence(const QByteArray& text)
{
    // Only spaces are trimmed: a space after a leading line feed, or before the
    // closing carriage return, stays.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == ' ')
        ++begin;
    while (end > begin && text.at(end - 1) == ' ')
        --end;
    QByteArray line = m_clock->dateText().toLocal8Bit();
    line += ' ';
    line += m_clock->timeText().toLocal8Bit();
    line += ',';
    line += vt::StripControlChars(QByteArrayView(text).sliced(begin, end - begin));
    line += "\r\n";
    setLogFailure(appendToFile(m_programDir + QStringLiteral("/log.txt"), line));
}

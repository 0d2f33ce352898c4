// Every good sentence becomes one line of log.txt, opened and closed per line so
// other programs can read the log while the station runs.
#include "app/frmMain.h"

#include "link/Checksum.h"
#include "link/Clock.h"
#include "text/Trim.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Appends bytes to a file; returns why it failed, or an empty text. On Unix the
// system's own calls: QFile's append mode seeks to the end and warns on standard
// error, once per sentence, when log.txt is a device such as /dev/full.
QString appendToFile(const QString& path, const QByteArray& bytes)
{
#ifdef Q_OS_UNIX
    const auto reason = [&](const char* what) {
        return QStringLiteral("Cannot %1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return reason("open");
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            const QString why = reason("write");
            ::close(fd);
            return why;
        }
        done += n;
    }
    if (::close(fd) != 0)
        return reason("close");
    return {};
#else
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        file.close();
        return reason;
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("Cannot close %1: %2").arg(path, file.errorString());
    return {};
#endif
}

} // namespace

void frmMain::LogSentence(const QByteArray& text)
{
    const QByteArray line = vt::FormatLogLine(m_clock->dateText(), m_clock->timeText(), text);
    setLogFailure(appendToFile(m_programDir + QStringLiteral("/log.txt"), line));
}

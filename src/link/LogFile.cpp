#include "link/LogFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <utility>

#ifdef Q_OS_WIN
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace vt {

namespace {

// The system's own calls on both systems: QFile's append mode seeks to the end and warns
// on standard error, once per line, when log.txt is a device such as /dev/full, and it
// offers neither a sync nor a cut-back.
#ifdef Q_OS_WIN
int openForAppend(const QString& path)
{
    return ::_wopen(reinterpret_cast<const wchar_t*>(path.utf16()),
                    _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
qint64 endOf(int fd) { return ::_lseeki64(fd, 0, SEEK_END); }
qint64 writeSome(int fd, const char* bytes, qint64 size)
{
    return ::_write(fd, bytes, unsigned(std::min<qint64>(size, 1 << 30)));
}
void cutBack(int fd, qint64 size) { ::_chsize_s(fd, size); }
// _commit is FlushFileBuffers on the file's handle.
bool syncFile(int fd) { return ::_commit(fd) == 0; }
int closeFile(int fd) { return ::_close(fd); }
#else
int openForAppend(const QString& path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
}
qint64 endOf(int fd) { return ::lseek(fd, 0, SEEK_END); }
qint64 writeSome(int fd, const char* bytes, qint64 size) { return ::write(fd, bytes, size_t(size)); }
void cutBack(int fd, qint64 size)
{
    // Nothing more can be done if this fails too; the next line still starts on its own.
    if (::ftruncate(fd, off_t(size)) != 0)
        return;
}
bool syncFile(int fd)
{
    int rc;
    do
        rc = ::fdatasync(fd);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}
int closeFile(int fd) { return ::close(fd); }
#endif

} // namespace

LogFile::LogFile(QString path)
    : m_path(std::move(path))
    , m_sync(syncFile)
{
}

QString LogFile::append(QByteArray line, qint64 nowMs)
{
    m_waiting.push_back(std::move(line));
    if (qsizetype(m_waiting.size()) > kMaxWaiting) {
        m_waiting.pop_front();
        ++m_givenUp;
    }
    return flush(nowMs);
}

qint64 LogFile::dueAtMs() const
{
    if (!m_waiting.empty())
        return m_lastTryMs + kSyncIntervalMs;
    return m_unsynced ? m_lastSyncMs + kSyncIntervalMs : -1;
}

QString LogFile::flush(qint64 nowMs, bool force)
{
    if (m_waiting.empty() && !m_unsynced)
        return {};
    const auto reason = [&](const char* what) {
        return QStringLiteral("Cannot %1 %2: %3").arg(QLatin1String(what), m_path, QString::fromLocal8Bit(std::strerror(errno)));
    };
    m_lastTryMs = nowMs;
    const int fd = openForAppend(m_path);
    if (fd < 0)
        return reason("open");

    QString why;
    if (!m_waiting.empty()) {
        QByteArray bytes;
        for (const QByteArray& line : m_waiting)
            bytes += line;
        const qint64 start = endOf(fd);
        qint64 done = 0;
        while (done < bytes.size()) {
            const qint64 n = writeSome(fd, bytes.constData() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    errno = ENOSPC;
                why = reason("write");
                break;
            }
            done += n;
        }
        if (why.isEmpty()) {
            m_waiting.clear();
            m_unsynced = true;
        } else if (done > 0 && start >= 0) {
            // The lines still wait; a torn one left behind would be written again whole.
            const int saved = errno;
            cutBack(fd, start);
            errno = saved;
        }
    }
    if (why.isEmpty() && m_unsynced && (force || nowMs - m_lastSyncMs >= kSyncIntervalMs)) {
        // A failed sync is tried again a second later, not at once.
        m_lastSyncMs = nowMs;
        if (m_sync(fd))
            m_unsynced = false;
        else
            why = reason("sync");
    }
    if (closeFile(fd) != 0 && why.isEmpty())
        why = reason("close");
    return why;
}

} // namespace vt

#include "support/Pty.h"

#include <QFile>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

// Windows has no pseudo-terminals; its suites use the program folder only.
#ifndef _WIN32
PtyPair::PtyPair()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    // Raw on both sides: no echo, no line discipline changing CR or LF.
    termios tio {};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slave = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::linkAs(const QString& folder, int portNumber) const
{
    const QString link = folder + QStringLiteral("/com") + QString::number(portNumber);
    QFile::remove(link);
    return QFile::link(m_slavePath, link);
}

void PtyPair::write(const QByteArray& bytes) const
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p { m_master, POLLOUT, 0 };
            ::poll(&p, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

QByteArray PtyPair::read(int waitMs) const
{
    QByteArray out;
    if (m_master < 0)
        return out;
    pollfd p { m_master, POLLIN, 0 };
    if (::poll(&p, 1, waitMs) <= 0)
        return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
        // A short pause lets bytes that are still on their way join this read.
        pollfd more { m_master, POLLIN, 0 };
        if (::poll(&more, 1, 20) <= 0)
            break;
    }
    return out;
}

void PtyPair::closeMaster()
{
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

#endif

bool ProgramFolder::writeFile(const QString& name, const QByteArray& bytes) const
{
    QFile f(file(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ProgramFolder::readFile(const QString& name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

#include "link/SerialPort.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

namespace vt {

namespace {
// Enough for several seconds of a busy node at 9600 baud; a flood beyond this waits
// in the OS instead of growing our memory.
constexpr qint64 kReadBufferBytes = 16384;
constexpr qint64 kMaxReportedCount = 32767;
constexpr int kRetryMs = 2000;
// A few distinct commands are enough to tell the operator what did not go out.
constexpr qsizetype kMaxUnsent = 8;

#ifdef Q_OS_UNIX
SerialPort::NodeStamp stampOf(const struct stat& st)
{
    return { quint64(st.st_dev), quint64(st.st_ino), quint64(st.st_rdev),
             qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, {} };
}

std::optional<SerialPort::NodeStamp> nodeStamp(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return stampOf(st);
}

// com<N> itself: remade (by the operator or the simulator) it is a new inode, or
// leads somewhere else.
SerialPort::NodeStamp linkStamp(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return {};
    SerialPort::NodeStamp stamp = stampOf(st);
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = ::readlink(name.constData(), target, sizeof target);
        if (n > 0)
            stamp.linkTarget = QByteArray(target, n);
    }
    return stamp;
}

// Unix 98 pseudo-terminal slaves have majors 136 to 143.
bool isPtySlave(quint64 rdev)
{
    const unsigned m = major(dev_t(rdev));
    return m >= 136 && m <= 143;
}
#endif

// The real device a port path leads to; empty when it leads nowhere.
QString resolveDevice(const QString& path)
{
#ifdef Q_OS_UNIX
    return QFileInfo(path).canonicalFilePath();
#else
    return path;
#endif
}

// System reasons that say nothing beyond "the line hung up": a pulled adapter reads as
// an I/O error, a hung-up pty as an end of file with whatever errno was left over.
bool saysNothingNew(const QString& reason)
{
    if (reason.isEmpty() || reason == QLatin1String("Unknown error"))
        return true;
#ifdef Q_OS_UNIX
    for (int e : { 0, ENOENT, EIO, ENXIO, ENODEV }) {
        if (reason == QString::fromLocal8Bit(std::strerror(e)))
            return true;
    }
#endif
    return false;
}

// Why a device that exists will not open for this station.
QString inUse()
{
    return QStringLiteral("it is in use by another station or program");
}
} // namespace

SerialPort::SerialPort(QString programDir, QObject* parent)
    : QObject(parent)
    , m_programDir(std::move(programDir))
    , m_port(new QSerialPort(this))
    , m_lister(SystemPortLister())
{
    connect(m_port, &QSerialPort::readyRead, this, &SerialPort::dataArrived);
    // After a failure the adapter may come back (plugged in again, link remade): look
    // for it now and then, never in a tight loop.
    m_retry = new QTimer(this);
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &SerialPort::retry);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

SerialPort::~SerialPort()
{
    // Disconnect first so closing cannot call back into a half-destroyed object.
    m_port->disconnect(this);
    if (m_port->isOpen())
        m_port->close();
#ifdef Q_OS_UNIX
    if (m_lockFd >= 0)
        ::close(m_lockFd);
#endif
}

QString SerialPort::DevicePath(int portNumber, const QString& programDir)
{
    if (portNumber < 1)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(programDir);
    // QSerialPort opens it as \\.\COM<N>, the only name that reaches COM10 and up.
    return QStringLiteral("COM") + QString::number(portNumber);
#else
    const QString local = programDir + QStringLiteral("/com") + QString::number(portNumber);
    // A dangling link still counts: opening it then fails with a message naming it,
    // rather than silently talking to a different port.
    const QFileInfo info(local);
    if (info.isSymLink() || info.exists())
        return local;
    return QStringLiteral("/dev/ttyS") + QString::number(portNumber - 1);
#endif
}

void SerialPort::setReopenInterval(int ms)
{
    m_retry->setInterval(ms);
}

void SerialPort::setPortLister(PortLister lister)
{
    m_lister = std::move(lister);
}

void SerialPort::setCommPort(int portNumber)
{
    m_commPort = portNumber;
}

bool SerialPort::setPortOpen(bool open, QString* error)
{
    if (!open) {
        m_retry->stop();
        ++m_generation;  // any close still queued from a failure is now moot
        closePort();
        m_kept.clear();  // a deliberate close drops what was waiting, as a fresh open would
        setNotice({});
        return true;
    }
    if (live())
        return true;

    m_path = DevicePath(m_commPort, m_programDir);
    if (m_path.isEmpty()) {
        closePort();
        if (error)
            *error = QStringLiteral("No such serial port: COM%1").arg(m_commPort);
        return false;
    }
    if (!openDevice(m_path, error))
        return false;
    m_retry->stop();
    setNotice({});
    return true;
}

bool SerialPort::openDevice(const QString& path, QString* error)
{
    // Either closed, or failed with its close still queued: start clean.
    ++m_generation;
    closePort();

    const QString device = resolveDevice(path);
    const QString shown = device.isEmpty() || device == path ? path : QStringLiteral("%1 (%2)").arg(path, device);
    const auto fail = [&](const QString& what, const QString& why) {
        if (error)
            *error = QStringLiteral("Cannot %1 serial port %2: %3").arg(what, shown, why);
        return false;
    };
    if (device.isEmpty())
        return fail(QStringLiteral("open"), QStringLiteral("no such device"));
    QString why;
    NodeStamp node;
    if (!lockDevice(device, &node, &why) || !openPort(device, &why))
        return fail(QStringLiteral("open"), why);
    if (!configurePort(&why))
        return fail(QStringLiteral("set up"), why);
    rememberDevice(device, node);
    if (error)
        error->clear();
    return true;
}

bool SerialPort::lockDevice(const QString& device, NodeStamp* node, QString* why)
{
#ifdef Q_OS_UNIX
    // The lock is taken on the device itself, whatever name led to it. flock binds
    // root as well (unlike the terminal's exclusive mode), is keyed by the device
    // node rather than a name, and dies with the process, so no stale lock is left.
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = errno == EBUSY ? inUse() : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        *why = inUse();
        return false;
    }
    struct stat st {};
    ::fstat(fd, &st);
    *node = stampOf(st);
    m_lockFd = fd;
#else
    // Windows opens a COM port for one program only: the open itself is the lock.
    Q_UNUSED(device);
    Q_UNUSED(node);
    Q_UNUSED(why);
#endif
    return true;
}

bool SerialPort::openPort(const QString& device, QString* why)
{
    // Handing QSerialPort the device also names its own lock file after the device,
    // which other serial programs honour.
    m_port->setPortName(device);
    m_port->setReadBufferSize(kReadBufferBytes);
    if (m_port->open(QIODevice::ReadWrite))
        return true;
#ifdef Q_OS_WIN
    // Windows opens a COM port for one program only and denies access to the next.
    const bool busy = m_port->error() == QSerialPort::PermissionError;
#else
    const bool busy = m_port->error() == QSerialPort::PermissionError && QFileInfo(device).isWritable();
#endif
    *why = busy ? inUse() : m_port->errorString();
    closePort();
    return false;
}

bool SerialPort::configurePort(QString* why)
{
    const bool configured = m_port->setBaudRate(QSerialPort::Baud9600)
        && m_port->setDataBits(QSerialPort::Data8)
        && m_port->setParity(QSerialPort::NoParity)
        && m_port->setStopBits(QSerialPort::OneStop)
        && m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (configured)
        return true;
    *why = m_port->errorString();
    closePort();
    return false;
}

void SerialPort::rememberDevice(const QString& device, const NodeStamp& node)
{
    m_device = device;
#ifdef Q_OS_UNIX
    m_node = node;
    m_pty = isPtySlave(node.rdev);
    m_link = linkStamp(m_path);
#else
    Q_UNUSED(node);
#endif
    m_identity = {};
    if (m_lister) {
        for (const SeenPort& seen : m_lister()) {
            if (seen.device == device)
                m_identity = seen.identity;
        }
    }
}

void SerialPort::retry()
{
    if (live()) {
        m_retry->stop();
        return;
    }
    // Where com<N> leads now; the fallback name is never tried instead, as it would
    // open an unrelated port while a link is being remade.
    const QString target = resolveDevice(m_path);
    QString device;
    if (m_identity.known()) {
#ifdef Q_OS_WIN
        // COM<N> is no link that could lead elsewhere: whether another device took the
        // adapter's place shows only in the port list.
        const QString place;
#else
        const QString& place = target;
#endif
        const AdapterSearch found = FindAdapter(m_identity, m_device, place, m_lister ? m_lister() : QList<SeenPort>());
        if (found.whereabouts == Whereabouts::Stranger) {
            setNotice(QStringLiteral("A different device is at %1; waiting for the adapter (%2)")
                          .arg(portName(), m_identity.text()));
            return;
        }
        if (found.whereabouts == Whereabouts::Gone) {
            setNotice(m_lostNotice);
            return;
        }
        device = found.device;
    } else {
        if (target.isEmpty()) {
            setNotice(m_lostNotice);
            return;
        }
#ifdef Q_OS_UNIX
        // A pseudo-terminal never comes back: a new node under its name, with com<N>
        // untouched, belongs to some other program.
        if (m_pty && target == m_device && nodeStamp(target) != m_node && linkStamp(m_path) == m_link) {
            setNotice(QStringLiteral("A different device is at %1; waiting for %1 to lead to the line again")
                          .arg(portName()));
            return;
        }
#endif
        device = target;
    }
    if (!openDevice(device, nullptr))
        return;
    m_retry->stop();
    m_unsent.clear();
    m_lineFailure.clear();
    emit lineRestored();
    emit noticeChanged();
}

QString SerialPort::portName() const
{
    if (m_path.startsWith(m_programDir + QLatin1Char('/')))
        return QFileInfo(m_path).fileName();
    return m_path;
}

void SerialPort::setNotice(const QString& notice)
{
    if (notice == m_lineFailure && (!notice.isEmpty() || m_unsent.isEmpty()))
        return;
    m_lineFailure = notice;
    if (notice.isEmpty())
        m_unsent.clear();
    emit noticeChanged();
}

void SerialPort::closePort()
{
    // Closing a hung-up device can itself report an error; that must not start a
    // second failure round, so errors are ignored while we close.
    m_failing = true;
    if (m_port->isOpen()) {
        // Sentences that reached us before the line failed are good data; closing
        // would throw them away with the device's buffer.
        const QByteArray waiting = m_port->readAll();
        m_kept += waiting.first(std::min(waiting.size(), qsizetype(kReadBufferBytes) - m_kept.size()));
        m_port->close();
    }
#ifdef Q_OS_UNIX
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
#endif
    m_failing = false;
}

bool SerialPort::live() const
{
    return m_port->isOpen() && !m_failing;
}

bool SerialPort::portOpen() const
{
    return live();
}

void SerialPort::discardInput()
{
    m_kept.clear();
    if (!live())
        return;
    m_port->clear(QSerialPort::Input);
    m_port->readAll();
}

int SerialPort::inBufferCount() const
{
    // Between a failure and its queued close the device's buffer still holds what had
    // arrived; reading it is safe, only the device itself is done with.
    const qint64 waiting = m_port->isOpen() ? m_port->bytesAvailable() : 0;
    return int(std::min(m_kept.size() + waiting, kMaxReportedCount));
}

QByteArray SerialPort::input()
{
    QByteArray got = std::exchange(m_kept, {});
    if (m_port->isOpen())
        got += m_port->readAll();
    return got;
}

bool SerialPort::readWaiting()
{
    if (!live())
        return false;
    const qint64 before = m_port->bytesAvailable();
    m_port->waitForReadyRead(0);
    return m_port->bytesAvailable() > before;
}

void SerialPort::output(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (live()) {
        m_port->write(bytes);
        // Hand the bytes to the OS now rather than on the next event-loop pass, so a
        // command goes out before whatever the caller does next.
        m_port->flush();
        if (live())
            return;
        // The write itself found the line gone: the command did not go out.
    }
    if (m_lineFailure.isEmpty())
        return;  // closed on purpose: there is no line to report on
    if (m_unsent.contains(bytes) || m_unsent.size() >= kMaxUnsent)
        return;
    m_unsent << bytes;
    emit noticeChanged();
}

void SerialPort::onError(int error)
{
    const auto e = QSerialPort::SerialPortError(error);
    if (e != QSerialPort::ResourceError && e != QSerialPort::ReadError && e != QSerialPort::WriteError)
        return;
    if (m_failing || !m_port->isOpen())
        return;  // already on the way down; the port may repeat the error many times

    // A hung-up line can report ReadError (not only ResourceError) over and over; keeping
    // the port open would spin the event loop, so every one of these ends the session.
    m_failing = true;
    // A hung-up read ends with whatever errno was left over; only a failed write's
    // reason is the system's own.
    const QString why = e == QSerialPort::WriteError ? m_port->errorString() : QString();
    m_lostNotice = LineLostNotice(why);
    m_lineFailure = m_lostNotice;

    // QSerialPort is still inside its own read/write handling here and touches its
    // buffer after signalling, so close from the event loop instead of from under it.
    // Writes already see a closed port because m_failing is set; reads still get what
    // had arrived.
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(this, [this, generation] {
        if (generation != m_generation)
            return;  // closed or reopened meanwhile
        closePort();
        emit lineFailed(m_lineFailure);
        emit noticeChanged();
        if (!m_kept.isEmpty())
            emit dataArrived();  // a sleeping reader should still collect these
        m_retry->start();
    }, Qt::QueuedConnection);
}

QString LineLostNotice(const QString& why)
{
    return saysNothingNew(why)
        ? QStringLiteral("Serial line lost: adapter unplugged or line hung up; reopening")
        : QStringLiteral("Serial line lost: adapter unplugged or line hung up (%1); reopening").arg(why);
}

} // namespace vt

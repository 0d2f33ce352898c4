#include "link/SerialPort.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace vt {

namespace {
// Enough for several seconds of a busy node at 9600 baud; a flood beyond this waits
// in the OS instead of growing our memory.
constexpr qint64 kReadBufferBytes = 16384;
constexpr qint64 kMaxReportedCount = 32767;
constexpr int kRetryMs = 2000;
} // namespace

SerialPort::SerialPort(QString programDir, QObject* parent)
    : QObject(parent)
    , m_programDir(std::move(programDir))
    , m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &SerialPort::dataArrived);
    // After a failure the adapter may come back (plugged in again, link remade): try
    // the same port now and then, never in a tight loop.
    m_retry = new QTimer(this);
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        // The same device as before: while a com<N> link is being remade, the fallback
        // name would open an unrelated port and call the line restored.
        if (live()) {
            m_retry->stop();
            return;
        }
        if (openPath(m_path, nullptr)) {
            m_retry->stop();
            emit lineRestored();
        }
    });
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

SerialPort::~SerialPort()
{
    // Disconnect first so closing cannot call back into a half-destroyed object.
    m_port->disconnect(this);
    if (m_port->isOpen())
        m_port->close();
}

QString SerialPort::DevicePath(int portNumber, const QString& programDir)
{
    if (portNumber < 1)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(programDir);
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
    if (!openPath(m_path, error))
        return false;
    m_retry->stop();
    return true;
}

bool SerialPort::openPath(const QString& path, QString* error)
{
    // Either closed, or failed with its close still queued: start clean.
    ++m_generation;
    closePort();

    m_port->setPortName(path);
    m_port->setReadBufferSize(kReadBufferBytes);
    if (!m_port->open(QIODevice::ReadWrite)) {
        if (error)
            *error = QStringLiteral("Cannot open serial port %1: %2").arg(path, m_port->errorString());
        return false;
    }
    const bool configured = m_port->setBaudRate(QSerialPort::Baud9600)
        && m_port->setDataBits(QSerialPort::Data8)
        && m_port->setParity(QSerialPort::NoParity)
        && m_port->setStopBits(QSerialPort::OneStop)
        && m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const QString why = m_port->errorString();
        closePort();
        if (error)
            *error = QStringLiteral("Cannot set up serial port %1: %2").arg(path, why);
        return false;
    }
    m_lineFailure.clear();
    if (error)
        error->clear();
    return true;
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
    if (!live() || bytes.isEmpty())
        return;
    m_port->write(bytes);
    // Hand the bytes to the OS now rather than on the next event-loop pass, so a
    // command goes out before whatever the caller does next.
    m_port->flush();
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
    m_lineFailure = m_port->errorString();
    if (m_lineFailure.isEmpty())
        m_lineFailure = QStringLiteral("Serial line failure");

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
        if (!m_kept.isEmpty())
            emit dataArrived();  // a sleeping reader should still collect these
        m_retry->start();
    }, Qt::QueuedConnection);
}

} // namespace vt

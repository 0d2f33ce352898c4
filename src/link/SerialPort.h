#pragma once
// The station's serial line: 9600 baud, 8 data bits, no parity, 1 stop bit, bytes
// passed unchanged. A failure after opening (adapter pulled out) closes the port
// quietly: characters that had already arrived can still be read, then reads see
// nothing and writes go nowhere; nothing is thrown.
#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;
class QTimer;

namespace vt {

class SerialPort : public QObject {
    Q_OBJECT
public:
    explicit SerialPort(QString programDir, QObject* parent = nullptr);
    ~SerialPort() override;

    // Port number N: COM<N> on Windows; elsewhere <programDir>/com<N> when it exists,
    // else /dev/ttyS<N-1>. Empty for N below 1 (no such port).
    static QString DevicePath(int portNumber, const QString& programDir);

    void setCommPort(int portNumber);
    int commPort() const { return m_commPort; }

    // Opens (true) or closes (false). On failure returns false and sets *error.
    bool setPortOpen(bool open, QString* error = nullptr);
    bool portOpen() const;

    // InBufferCount = 0: discards every character waiting.
    void discardInput();
    // Number of received characters waiting, including those that had arrived before
    // a line failure closed the port.
    int inBufferCount() const;
    // The characters waiting, oldest first; they are removed.
    QByteArray input();
    // Takes in what the system already holds for the line, without waiting for more;
    // true when something came.
    bool readWaiting();
    // Sends the bytes unchanged, without waiting for the line. Ignored when closed.
    void output(const QByteArray& bytes);

    // How often a failed port is tried again (tests shorten it).
    void setReopenInterval(int ms);

    // The reason the port was closed after a failure, empty while all is well.
    QString lineFailure() const { return m_lineFailure; }

signals:
    // New characters are waiting; lets a sleeping receiver wake up.
    void dataArrived();
    // The port was closed because of a read or write failure; it is then reopened
    // every couple of seconds until that works.
    void lineFailed(const QString& reason);
    // The port opened again after a failure.
    void lineRestored();

private:
    void onError(int error);
    // Open and not condemned by a line failure whose close is still pending.
    bool live() const;
    // Closes the device, keeping what it had received for the reader.
    void closePort();
    bool openPath(const QString& path, QString* error);

    QString m_programDir;
    int m_commPort = 0;
    QString m_path;              // the device the last deliberate open chose; reopens use it
    QSerialPort* m_port = nullptr;
    QTimer* m_retry = nullptr;
    QString m_lineFailure;
    QByteArray m_kept;           // received before a failure closed the port, not yet read
    bool m_failing = false;      // a line failure was seen; the close is queued
    quint64 m_generation = 0;    // bumped on every open/close so a stale queued close does nothing
};

} // namespace vt

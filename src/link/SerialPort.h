#pragma once
// The station's serial line: 9600 baud, 8 data bits, no parity, 1 stop bit, bytes
// passed unchanged. A failure after opening (adapter pulled out) closes the port
// quietly: characters that had already arrived can still be read, then reads see
// nothing and writes go nowhere; nothing is thrown.
//
// The port opens the device com<N> leads to, not the link, and holds a lock on that
// device, so two stations cannot share one line whatever their links are called. After
// a failure it reopens only the adapter it had: a USB adapter is followed by its
// identity under whatever name it comes back; a device without identity (built-in
// port, pseudo-terminal) is reopened through com<N>, but a new pseudo-terminal that
// took the old one's name while com<N> was left alone is a stranger.
#include "link/DeviceIdentity.h"

#include <QByteArray>
#include <QList>
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
    // Sends the bytes unchanged, without waiting for the line. While the line is down
    // they are dropped, never sent later (a late reset or datum could do harm), and
    // noted in unsent().
    void output(const QByteArray& bytes);

    // How often a failed port is tried again (tests shorten it).
    void setReopenInterval(int ms);
    // Where adapter identities come from (tests pass their own).
    void setPortLister(PortLister lister);

    // What the operator should know about the line, empty while all is well: lost and
    // reopening, or a different device at the port.
    QString lineFailure() const { return m_lineFailure; }
    // Commands written while the line was down, oldest first; cleared when it is back.
    const QList<QByteArray>& unsent() const { return m_unsent; }
    // The device the port last opened (the real one, not the link).
    QString device() const { return m_device; }

signals:
    // New characters are waiting; lets a sleeping receiver wake up.
    void dataArrived();
    // The port was closed because of a read or write failure; it is then reopened
    // every couple of seconds until that works.
    void lineFailed(const QString& reason);
    // The port opened again after a failure.
    void lineRestored();
    // lineFailure() or unsent() changed.
    void noticeChanged();

public:
    // What identifies a device node (or the com<N> link) as the one seen before.
    struct NodeStamp {
        quint64 dev = 0;
        quint64 ino = 0;
        quint64 rdev = 0;
        qint64 ctimeNs = 0;
        QByteArray linkTarget;
        bool operator==(const NodeStamp&) const = default;
    };

private:
    void onError(int error);
    void retry();
    // Open and not condemned by a line failure whose close is still pending.
    bool live() const;
    // Closes the device, keeping what it had received for the reader.
    void closePort();
    // Opens and locks the device path leads to, and remembers what it is.
    bool openDevice(const QString& path, QString* error);
    // The steps of openDevice; each says why it failed and leaves the port closed.
    bool lockDevice(const QString& device, NodeStamp* node, QString* why);
    bool openPort(const QString& device, QString* why);
    bool configurePort(QString* why);
    // What the next reopen must find again: the device, its node and its adapter.
    void rememberDevice(const QString& device, const NodeStamp& node);
    void setNotice(const QString& notice);
    QString portName() const;

    QString m_programDir;
    int m_commPort = 0;
    QString m_path;              // com<N> or its fallback, chosen at the deliberate open
    QSerialPort* m_port = nullptr;
    QTimer* m_retry = nullptr;
    PortLister m_lister;
    QString m_lineFailure;
    QString m_lostNotice;        // what the last failure was, shown while nothing is at the port
    QList<QByteArray> m_unsent;
    QByteArray m_kept;           // received before a failure closed the port, not yet read
    bool m_failing = false;      // a line failure was seen; the close is queued
    quint64 m_generation = 0;    // bumped on every open/close so a stale queued close does nothing
    int m_lockFd = -1;           // holds the lock on the open device

    // What the last open opened.
    QString m_device;
    DeviceIdentity m_identity;
    NodeStamp m_node;
    NodeStamp m_link;
    bool m_pty = false;
};

// The notice for a line lost for the given system reason (empty when none): a reason
// that says no more than "the line hung up" is left out.
QString LineLostNotice(const QString& why);

} // namespace vt

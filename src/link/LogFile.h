#pragma once
// log.txt as a record that loses nothing it was given. Each append opens and closes
// the file, so other programs can read the log while the station runs. What is written
// reaches the disk within a second, so a power cut cannot take readings already logged;
// a sync per line would cost a disk flush per reading, so lines that come faster share
// one. Lines that cannot be written (full disk, read-only folder, log.txt made a folder)
// wait in memory, in order, and go first once the log can be written again.
#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>

namespace vt {

class LogFile {
public:
    // The most lines kept waiting: about a day of readings at one a second.
    static constexpr qsizetype kMaxWaiting = 100000;
    // The least time between two syncs, and between two tries of a failing log.
    static constexpr qint64 kSyncIntervalMs = 1000;
    // Puts what was written through the open descriptor on the disk; false, with errno
    // set, when it could not.
    using SyncFn = std::function<bool(int fd)>;

    explicit LogFile(QString path);

    // Appends line after the lines that wait, all of them whole or none (a failed write
    // is cut off again). Returns why the log could not be written, or an empty text; the
    // lines then wait. nowMs is steady time, for pacing the syncs.
    QString append(QByteArray line, qint64 nowMs);
    // Writes the lines that wait and syncs what is not yet synced, once their time has
    // come (at once with force). Returns why it failed, or an empty text.
    QString flush(qint64 nowMs, bool force = false);
    // The steady time at which flush has work to do, or -1 while it has none.
    qint64 dueAtMs() const;

    const std::deque<QByteArray>& waitingLines() const { return m_waiting; }
    // Waiting lines dropped, oldest first, at kMaxWaiting since start.
    qint64 givenUp() const { return m_givenUp; }

    void setSync(SyncFn sync) { m_sync = std::move(sync); }

private:
    QString write(qint64 nowMs, bool forceSync);

    QString m_path;
    SyncFn m_sync;
    std::deque<QByteArray> m_waiting;
    qint64 m_givenUp = 0;
    bool m_unsynced = false;
    // Far enough back that the first line is synced at once.
    qint64 m_lastSyncMs = -kSyncIntervalMs;
    qint64 m_lastTryMs = 0;
};

} // namespace vt

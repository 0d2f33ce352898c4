#pragma once
// A real pseudo-terminal pair for serial tests. The station opens the slave side
// through its own port-number rule (a com<N> link in its program folder); the test
// plays the node on the master side.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    // Makes folder/com<N> a link to the slave side.
    bool linkAs(const QString& folder, int portNumber) const;
    // Writes everything to the master side (what the node sends).
    void write(const QByteArray& bytes) const;
    // What the station wrote so far: waits up to waitMs for the first byte, then drains.
    QByteArray read(int waitMs = 200) const;
    // Hangs up: closes the master side, as when an adapter is pulled out.
    void closeMaster();
    int masterFd() const { return m_master; }

private:
    int m_master = -1;
    int m_slave = -1;  // kept open so the slave never sees a hang-up before the test wants it
    QString m_slavePath;
};

// A temporary program folder: where the station finds settings.txt and writes log.txt.
class ProgramFolder {
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // False when the file could not be written whole.
    bool writeFile(const QString& name, const QByteArray& bytes) const;
    QByteArray readFile(const QString& name) const;

private:
    QTemporaryDir m_dir;
};

#pragma once
// Real processes for the end-to-end tests: the simulated node network, the station
// executable in a folder of its own, and what a user can see of them afterwards (the
// station's log, the command sentences the simulator echoes). Every wait is bounded and
// every process started here is killed when its owner goes, also after a failed check.
#include "link/Checksum.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTime>

#include <cmath>
#include <csignal>
#include <functional>

namespace e2e {

// Polls done() until it holds or timeoutMs has passed; Qt events (process output) keep
// flowing meanwhile.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int stepMs = 20)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents();
        if (done())
            return true;
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(stepMs);
    }
}

// Ends a process: the signal first, SIGKILL when it does not go within timeoutMs.
// Returns its exit code, or -1 when it crashed or had to be killed.
inline int EndProcess(QProcess& p, int signal, int timeoutMs)
{
    if (p.state() == QProcess::NotRunning)
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (p.state() == QProcess::Running && p.processId() > 0)
        ::kill(pid_t(p.processId()), signal);
    if (p.waitForFinished(timeoutMs))
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    p.kill();
    p.waitForFinished(3000);
    return -1;
}

// True when process pid has path open (one of its descriptors leads there).
inline bool HoldsOpen(qint64 pid, const QString& path)
{
    if (pid <= 0 || path.isEmpty())
        return false;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
        if (QFile::symLinkTarget(fds.filePath(fd)) == path)
            return true;
    return false;
}

// The simulated node network as a process, playing the node on <folder>/com<port>.
class NodeSim {
public:
    NodeSim() = default;
    NodeSim(const NodeSim&) = delete;
    NodeSim& operator=(const NodeSim&) = delete;
    ~NodeSim() { stop(); }

    // Starts it and waits for its link; false, with the reason, when it does not come up.
    bool start(const QString& folder, int port, const QStringList& options, QString* why)
    {
        QStringList args { QStringLiteral("--folder"), folder, QStringLiteral("--port"), QString::number(port) };
        m_p.start(QStringLiteral(NODESIM_PATH), args + options);
        if (!m_p.waitForStarted(5000)) {
            *why = QStringLiteral("the simulator did not start: ") + m_p.errorString();
            return false;
        }
        if (!WaitUntil([this] { return readyCount() > 0 || m_p.state() != QProcess::Running; }, 5000)
            || readyCount() == 0) {
            *why = QStringLiteral("no link from the simulator: ") + QString::fromLocal8Bit(m_out + m_err);
            return false;
        }
        return true;
    }

    // The pty the link points at, as the latest "ready" line named it.
    QString slavePath()
    {
        pump();
        return m_slave;
    }
    // How often the link was put in place (again after a dropped line).
    int readyCount()
    {
        pump();
        return m_ready;
    }
    // The command sentences the station put on the line so far, oldest first.
    QList<QByteArray> commands()
    {
        pump();
        return m_commands;
    }
    QByteArray errors()
    {
        pump();
        return m_err;
    }
    QProcess& process() { return m_p; }

    // Stops it with the signal (SIGTERM by default); returns what EndProcess does.
    int stop(int signal = SIGTERM, int timeoutMs = 3000)
    {
        const int code = EndProcess(m_p, signal, timeoutMs);
        pump();
        return code;
    }

private:
    void pump()
    {
        m_out += m_p.readAllStandardOutput();
        m_err += m_p.readAllStandardError();
        // Each complete line is either "ready <pty>" or "<HH:mm:ss.zzz> <command>".
        static const QRegularExpression echo(QStringLiteral(R"(^\d\d:\d\d:\d\d\.\d{3} (.+)$)"));
        for (qsizetype end; (end = m_out.indexOf('\n')) >= 0;) {
            const QByteArray line = m_out.left(end);
            m_out.remove(0, end + 1);
            if (line.startsWith("ready ")) {
                ++m_ready;
                m_slave = QFile::decodeName(line.mid(6));
            } else if (const auto m = echo.match(QString::fromLatin1(line)); m.hasMatch()) {
                m_commands.append(m.captured(1).toLatin1());
            }
        }
    }

    QProcess m_p;
    QByteArray m_out;
    QByteArray m_err;
    QString m_slave;
    int m_ready = 0;
    QList<QByteArray> m_commands;
};

// The station executable copied into a temporary folder of its own, where it finds
// settings.txt and writes log.txt.
class StationRun {
public:
    StationRun() = default;
    StationRun(const StationRun&) = delete;
    StationRun& operator=(const StationRun&) = delete;
    ~StationRun() { stop(); }

    bool install(QString* why)
    {
        if (!m_dir.isValid()) {
            *why = QStringLiteral("no temporary folder");
            return false;
        }
        if (!QFile::copy(QStringLiteral(VENTHOLM_PATH), file(QStringLiteral("ventholm")))) {
            *why = QStringLiteral("cannot copy %1").arg(QStringLiteral(VENTHOLM_PATH));
            return false;
        }
        return true;
    }

    QString folder() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.file(name); }
    bool writeFile(const QString& name, const QByteArray& bytes) const { return m_dir.writeFile(name, bytes); }

    // Starts it with these variables added to the environment (it takes no options).
    bool start(const QStringList& environment, QString* why)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& v : environment)
            env.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
        m_p.setProcessEnvironment(env);
        m_p.setWorkingDirectory(folder());
        m_p.start(file(QStringLiteral("ventholm")), {});
        if (!m_p.waitForStarted(5000)) {
            *why = QStringLiteral("the station did not start: ") + m_p.errorString();
            return false;
        }
        return true;
    }

    bool running() const { return m_p.state() == QProcess::Running; }
    qint64 pid() const { return m_p.processId(); }
    QProcess& process() { return m_p; }
    void stop() { EndProcess(m_p, SIGKILL, 3000); }

    // The complete lines of log.txt, each with its CR LF.
    QList<QByteArray> logLines() const
    {
        QFile f(file(QStringLiteral("log.txt")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray all = f.readAll();
        QList<QByteArray> lines;
        qsizetype from = 0;
        for (qsizetype end; (end = all.indexOf("\r\n", from)) >= 0; from = end + 2)
            lines.append(all.mid(from, end + 2 - from));
        return lines;
    }

private:
    ProgramFolder m_dir;
    QProcess m_p;
};

// The sentence of a log line ("<date> <time>,<sentence>" and CR LF), or nothing when the
// line does not have that form for a sentence of network 12.
inline QByteArray LoggedSentence(const QByteArray& line)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^\S.* \d{1,2}:\d{2}:\d{2}.*,12,\d+,[BRTDA],.*\*[0-9A-F]{2}\r\n$)"));
    static const QRegularExpression cut(QStringLiteral(R"(^\S.* \d{1,2}:\d{2}:\d{2}[^,]*,(.*)\r\n$)"));
    const QString text = QString::fromLatin1(line);
    if (!form.match(text).hasMatch())
        return {};
    return cut.match(text).captured(1).toLatin1();
}

// A station log written for the simulator's --replay: the sentences and when they were
// taken in, measured from 10:00:00.
class Replay {
public:
    void add(double atSeconds, const QByteArray& body)
    {
        const QByteArray sentence = body + '*' + vt::ChecksumText(body);
        const QTime at = QTime(10, 0).addMSecs(int(std::lround(atSeconds * 1000)));
        m_text += "01/01/2026 " + at.toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1() + ',' + sentence + "\r\n";
        m_sentences.append(sentence);
    }
    // The sentences in the order the simulator sends them, without line ends.
    const QList<QByteArray>& sentences() const { return m_sentences; }

    bool writeTo(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(m_text) == m_text.size();
    }

private:
    QByteArray m_text;
    QList<QByteArray> m_sentences;
};

// A rover reading whose pressure field tells the sentences apart: i from 0 to 9999.
inline QByteArray RoverBody(int i)
{
    return "12,3,R,0," + QByteArray::number(1000 + i / 100) + '.' + QByteArray::number(i % 100).rightJustified(2, '0')
        + ",120.0";
}

// Where each logged sentence stands among the sentences sent, each searched after the
// previous one: -1 marks one that was never sent, or not after its predecessor.
inline QList<qsizetype> Positions(const QList<QByteArray>& logged, const QList<QByteArray>& sent)
{
    QList<qsizetype> at;
    qsizetype previous = -1;
    for (const QByteArray& s : logged) {
        const qsizetype i = sent.indexOf(s, previous + 1);
        at.append(i);
        if (i >= 0)
            previous = i;
    }
    return at;
}

} // namespace e2e

// Every good sentence becomes one line of log.txt, stamped with the moment it arrived.
#include "app/frmMain.h"

#include "link/Clock.h"
#include "link/LogFile.h"
#include "record/LogLine.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>

void frmMain::LogSentence(const QByteArray& text, const std::optional<vt::LogStamp>& arrived)
{
    const vt::LogStamp stamp = arrived ? *arrived : m_clock->stamp();
    QByteArray line = vt::FormatLogLine(stamp.date, stamp.time, text);
    const qint64 givenUp = m_log->givenUp();
    noteLogResult(m_log->append(std::move(line), m_clock->steadyMs()));
    if (m_log->givenUp() > givenUp && givenUp == 0)
        std::fprintf(stderr, "ventholm: too many lines wait for log.txt; the oldest are given up\n");
}

void frmMain::FlushLog(bool force)
{
    const qint64 due = m_log->dueAtMs();
    if (due >= 0 && (force || m_clock->steadyMs() >= due))
        noteLogResult(m_log->flush(m_clock->steadyMs(), force));
    else
        armLogTimer();
}

void frmMain::noteLogResult(const QString& reason)
{
    const bool changed = reason != LogFailure;
    setLogFailure(reason);
    // The count of waiting lines changes with every line while the log fails.
    if (!changed && !reason.isEmpty())
        updateStatus();
    armLogTimer();
}

void frmMain::armLogTimer()
{
    const qint64 due = m_log->dueAtMs();
    if (due < 0)
        m_logTimer->stop();
    else
        m_logTimer->start(int(std::clamp<qint64>(due - m_clock->steadyMs(), 0, vt::LogFile::kSyncIntervalMs)));
}

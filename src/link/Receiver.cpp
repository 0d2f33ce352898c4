// Cuts one sentence out of what the node sends. It may take more than one read to
// gather a sentence, and one read may hold the end of one sentence and the start
// of the next: whatever follows the carriage return stays for the next call, and a
// whole line already waiting is taken at once, without waiting for more characters.
#include "app/frmMain.h"

#include "link/Checksum.h"
#include "link/Clock.h"
#include "link/SerialPort.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>

void frmMain::ReadSentence(int timeoutSeconds, quint8& gotSentence)
{
    for (QByteArray& field : SentenceFields)
        field.clear();
    gotSentence = 0;
    qint32 changes = 0;
    int lastSeen = m_clock->secondsOfDay();
    qint64 lastSeenAt = m_clock->steadyMs();

    // Wait for a carriage return, counting changes of the clock's seconds. The wait sleeps
    // through seconds: each one it passed counts, as a poll would have seen it; a clock
    // set forward or back meanwhile counts once, as any other difference.
    for (;;) {
        if (const int now = m_clock->secondsOfDay(); now != lastSeen) {
            const int passed = (now - lastSeen + 86400) % 86400;
            const qint64 steadyNow = m_clock->steadyMs();
            changes += passed <= (steadyNow - lastSeenAt) / 1000 + 1 ? passed : 1;
            lastSeen = now;
            lastSeenAt = steadyNow;
            if (changes >= timeoutSeconds) {
                m_secondWake->stop();
                return;
            }
        }
        TakeInput();
        const qsizetype cr = ReceiveBuffer.indexOf('\r');
        if (cr >= 0 && m_dropRemainder) {
            // The end of a line a display reset cut in two: logged, not shown.
            ReceiveBuffer.remove(0, cr + 1);
            m_dropRemainder = false;
            continue;
        }
        if (cr >= 0 && cr <= kMaxLine)
            break;
        if (cr > kMaxLine || ReceiveBuffer.size() > kMaxLine) {
            // A runaway line is dropped like a bad one, so garbage cannot grow memory.
            ReceiveBuffer.clear();
            m_secondWake->stop();
            return;
        }
        WaitForActivity(std::max(1, timeoutSeconds - changes));
    }
    m_secondWake->stop();

    if (!vt::VerifyChecksum(ReceiveBuffer)) {
        // Only the bad line goes: the lines behind it were framed on their own and may
        // be good readings.
        ReceiveBuffer.remove(0, ReceiveBuffer.indexOf('\r') + 1);
        return;
    }

    // The sentence was logged when its carriage return arrived. Characters go on arriving
    // in the yields, so the split works on a copy of the line. A display reset in a yield
    // means the sentence is not to be shown; a backlog cut took it from the buffer.
    const QByteArray line = ReceiveBuffer.first(ReceiveBuffer.indexOf('\r') + 1);
    const quint64 cuts = m_backlogCuts;
    if (vt::SplitSentence(line, SentenceFields.data(), int(SentenceFields.size()), [this] { return !Yield(); }) < 0) {
        for (QByteArray& field : SentenceFields)
            field.clear();
        return;
    }
    if (cuts == m_backlogCuts)
        ReceiveBuffer.remove(0, line.size());
    gotSentence = 1;
}

void frmMain::TakeInput()
{
    if (MSComm1->inBufferCount() == 0)
        return;
    const QByteArray got = MSComm1->input();
    m_received += got.size();
    LogArrivedLines(got);
    ReceiveBuffer += got;
    if (ReceiveBuffer.size() <= kMaxBacklog)
        return;
    // The station fell behind the line. Cut at a line end so the next sentence starts
    // whole, and say so: these are readings the charts will not show (the log has them).
    const qsizetype end = ReceiveBuffer.indexOf('\r', ReceiveBuffer.size() - kMaxBacklog - 1);
    const qsizetype cut = end < 0 ? ReceiveBuffer.size() : end + 1;
    const qsizetype lines = std::max<qsizetype>(1, QByteArrayView(ReceiveBuffer).first(cut).count('\r'));
    ReceiveBuffer.remove(0, cut);
    ++m_backlogCuts;
    m_dropRemainder = false;
    if (!m_fallingBehind)
        std::fprintf(stderr, "ventholm: fell behind the serial line; the oldest received lines are not charted\n");
    m_fallingBehind = true;
    LinesGivenUp += lines;
    updateStatus();
}

// Every good sentence is logged the moment its carriage return arrives, with that moment
// as its stamp, whatever the display does with it later: it may wait behind a burst or a
// message box, be cut at the backlog bound, or be dropped by a display reset.
void frmMain::LogArrivedLines(const QByteArray& got)
{
    std::optional<vt::LogStamp> now;
    qsizetype from = 0;
    for (qsizetype cr; (cr = got.indexOf('\r', from)) >= 0; from = cr + 1) {
        const QByteArrayView end = QByteArrayView(got).sliced(from, cr + 1 - from);
        // The same bound as the receiver's: a carriage return past kMaxLine ends no sentence.
        if (!m_logLineTooLong && m_logLine.size() + end.size() <= kMaxLine + 1) {
            m_logLine += end;
            if (vt::VerifyChecksum(m_logLine)) {
                if (!now)
                    now = m_clock->stamp();
                LogSentence(m_logLine, now);
            }
        }
        m_logLine.clear();
        m_logLineTooLong = false;
    }
    const QByteArrayView rest = QByteArrayView(got).sliced(from);
    m_logLineTooLong = m_logLineTooLong || m_logLine.size() + rest.size() > kMaxLine;
    if (m_logLineTooLong)
        m_logLine.clear();
    else
        m_logLine += rest;
}

void frmMain::OnArrival()
{
    TakeInput();
    // Between ticks the timer runs; within one it is off, and no tick may start then.
    if (Timer1->isActive() && Timer1->remainingTime() > 0)
        Timer1->start(0);
}

bool frmMain::InputWaiting()
{
    // What reached the system while this tick worked counts too, not only what the port
    // has read so far. A partly received line needs no tick yet: its end wakes one.
    MSComm1->readWaiting();
    TakeInput();
    return ReceiveBuffer.contains('\r');
}

void frmMain::LogWaitingLines()
{
    // Nothing may yield here: the program ends right after. A line that keeps sending
    // cannot hold the close up: a few rounds take all that came before it.
    int rounds = 0;
    qint64 before = 0;
    do {
        before = m_received;
        MSComm1->readWaiting();
        TakeInput();
    } while (++rounds < 8 && m_received > before);
    ReceiveBuffer.clear();
}

// Cuts one sentence out of what the node sends. It may take more than one read to
// gather a sentence, and one read may hold the end of one sentence and the start
// of the next: whatever follows the carriage return stays for the next call, and a
// whole line already waiting is taken at once, without waiting for more characters.
#include "app/frmMain.h"

#include "link/Checksum.h"
#include "link/Clock.h"
#include "link/SerialPort.h"

#include <QTimer>

#include <cstdio>

void frmMain::ReadSentence(int timeoutSeconds, quint8& gotSentence)
{
    for (QByteArray& field : SentenceFields)
        field.clear();
    gotSentence = 0;
    qint32 changes = 0;
    int lastSeen = m_clock->secondsOfDay();

    // Wait for a carriage return, counting changes of the clock's seconds.
    for (;;) {
        if (m_clock->secondsOfDay() != lastSeen) {
            lastSeen = m_clock->secondsOfDay();
            if (++changes >= timeoutSeconds) {
                m_secondWake->stop();
                return;
            }
        }
        TakeInput();
        const qsizetype cr = ReceiveBuffer.indexOf('\r');
        if (cr >= 0 && cr <= kMaxLine)
            break;
        if (cr > kMaxLine || ReceiveBuffer.size() > kMaxLine) {
            // A runaway line is dropped like a bad one, so garbage cannot grow memory.
            ReceiveBuffer.clear();
            m_secondWake->stop();
            return;
        }
        WaitForActivity();
    }
    m_secondWake->stop();

    if (!vt::VerifyChecksum(ReceiveBuffer)) {
        // Only the bad line goes: the lines behind it were framed on their own and may
        // be good readings.
        ReceiveBuffer.remove(0, ReceiveBuffer.indexOf('\r') + 1);
        return;
    }

    // A display reset in a yield empties the buffer: the sentence is gone then.
    const qsizetype cr = vt::SplitSentence(ReceiveBuffer, SentenceFields.data(), int(SentenceFields.size()),
                                           [this] { return !Yield(); });
    if (cr < 0) {
        for (QByteArray& field : SentenceFields)
            field.clear();
        return;
    }
    LogSentence(ReceiveBuffer.left(cr + 1));
    ReceiveBuffer.remove(0, cr + 1);
    gotSentence = 1;
}

void frmMain::TakeInput()
{
    if (MSComm1->inBufferCount() == 0)
        return;
    ReceiveBuffer += MSComm1->input();
    if (ReceiveBuffer.size() <= kMaxBacklog)
        return;
    // The station fell behind the line. Cut at a line end so the next sentence starts
    // whole, and say so: these are readings the log will not have.
    const qsizetype end = ReceiveBuffer.indexOf('\r', ReceiveBuffer.size() - kMaxBacklog - 1);
    const qsizetype cut = end < 0 ? ReceiveBuffer.size() : end + 1;
    const qsizetype lines = std::max<qsizetype>(1, QByteArrayView(ReceiveBuffer).first(cut).count('\r'));
    ReceiveBuffer.remove(0, cut);
    if (!m_fallingBehind)
        std::fprintf(stderr, "ventholm: fell behind the serial line; the oldest received lines are given up\n");
    m_fallingBehind = true;
    LinesGivenUp += lines;
    updateStatus();
}

bool frmMain::InputWaiting()
{
    // Characters in the port are most likely the next sentence on its way; taking them
    // now rather than a tick interval later keeps the log on time. What reached the
    // system while this tick worked counts too, not only what the port has read so far.
    return ReceiveBuffer.contains('\r') || MSComm1->inBufferCount() > 0 || MSComm1->readWaiting();
}

void frmMain::LogWaitingLines()
{
    // Nothing may yield here: the program ends right after. A line that keeps sending
    // cannot hold the close up: a few rounds take all that came before it.
    int rounds = 0;
    do {
        TakeInput();
        for (qsizetype cr; (cr = ReceiveBuffer.indexOf('\r')) >= 0;) {
            if (cr <= kMaxLine && vt::VerifyChecksum(ReceiveBuffer))
                LogSentence(ReceiveBuffer.left(cr + 1));
            ReceiveBuffer.remove(0, cr + 1);
        }
    } while (++rounds < 8 && MSComm1->readWaiting());
    ReceiveBuffer.clear();
}

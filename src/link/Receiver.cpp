// Cuts one sentence out of what the node sends. It may take more than one read to
// gather a sentence, and one read may hold the end of one sentence and the start
// of the next: whatever follows the carriage return stays for the next call.
#include "app/frmMain.h"

#include "link/Checksum.h"
#include "link/Clock.h"
#include "link/SerialPort.h"

#include <QTimer>

void frmMain::ReadSentence(int timeoutSeconds, quint8& gotSentence)
{
    for (QByteArray& field : SentenceFields)
        field.clear();
    gotSentence = 0;
    int fieldIndex = 0;
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
        if (MSComm1->inBufferCount() > 0) {
            ReceiveBuffer += MSComm1->input();
            if (ReceiveBuffer.size() > kMaxBacklog) {
                // Cut at a line end so the next sentence starts whole.
                const qsizetype end = ReceiveBuffer.indexOf('\r', ReceiveBuffer.size() - kMaxBacklog - 1);
                ReceiveBuffer.remove(0, end < 0 ? ReceiveBuffer.size() : end + 1);
            }
            const qsizetype cr = ReceiveBuffer.indexOf('\r');
            if (cr >= 0 && cr <= kMaxLine)
                break;
            if (cr > kMaxLine || ReceiveBuffer.size() > kMaxLine) {
                // A runaway line is dropped like a bad one, so garbage cannot grow memory.
                ReceiveBuffer.clear();
                m_secondWake->stop();
                return;
            }
        }
        WaitForActivity();
    }
    m_secondWake->stop();

    if (!vt::VerifyChecksum(ReceiveBuffer)) {
        ReceiveBuffer.clear();
        return;
    }

    bool starSeen = false;
    const qsizetype length = ReceiveBuffer.size();
    for (qsizetype k = 0; k < length; ++k) {
        if (ReceiveBuffer.size() != length) {
            // A handler emptied the buffer while we yielded: the sentence is gone.
            for (QByteArray& field : SentenceFields)
                field.clear();
            return;
        }
        const char ch = ReceiveBuffer.at(k);
        if (ch == '\n') {
            // Line feeds have no place in a sentence.
        } else if (ch == '\r') {
            LogSentence(ReceiveBuffer.left(k + 1));
            ReceiveBuffer.remove(0, k + 1);
            gotSentence = 1;
            return;
        } else if (ch == ',') {
            ++fieldIndex;
        } else {
            if (ch == '*')
                starSeen = true;
            // Fields past the last entry are ignored; the check covered them already.
            if (ch != '\0' && !starSeen && fieldIndex < int(SentenceFields.size()))
                SentenceFields[size_t(fieldIndex)].append(ch);
        }
        Yield();
    }
}

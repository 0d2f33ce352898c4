// The main loop: one sentence per timer tick, the ping rotation over the known
// nodes, and the node controls' state.
#include "app/frmMain.h"

#include "commands/CommandText.h"
#include "link/SerialPort.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

void frmMain::AcquisitionTick()
{
    // No second tick may start while this one yields.
    Timer1->stop();
    SuppressOptionCommands = false;
    quint8 gotSentence = 0;
    ReadSentence(5, gotSentence);
    if (!gotSentence) {
        for (QWidget* w : std::initializer_list<QWidget*> { cboDatumNodeID, cmdDatum, cmdNetID, cmdNodeID,
                                                            optInverseDisabled, optInverseEnabled,
                                                            txtDatum, txtNetID, txtNodeID })
            w->setEnabled(false);
        SetCaption(cmdNetID, kNoData);
        SetCaption(cmdNodeID, kNoData);
    } else {
        StepPingRotation();
        for (QWidget* w : std::initializer_list<QWidget*> { cmdNetID, cmdNodeID, txtNetID, txtNodeID })
            w->setEnabled(true);
        optInverseDisabled->setEnabled(false);
        optInverseEnabled->setEnabled(false);
        DispatchRecord();
    }
    // Lines already waiting are taken at once, so a backlog drains as fast as the station
    // works; with nothing waiting the next tick comes one interval after this one ends.
    const bool waiting = InputWaiting();
    if (!waiting)
        m_fallingBehind = false;
    Timer1->setInterval(waiting ? 0 : kTickIntervalMs);
    Timer1->start();
}

// One ping every ten received sentences, walking the node list; a wrap costs one
// sentence without a ping.
void frmMain::StepPingRotation()
{
    const int count = cboDatumNodeID->count();
    if (count == 0)
        return;
    if (PingPhase == 0) {
        PingPhase = 1;
        if (PingIndex <= count - 1) {
            MSComm1->output(vt::cmd::Ping(cboDatumNodeID->itemText(PingIndex)));
        } else {
            PingIndex = 0;
            PingPhase = 0;
        }
    } else if (++PingPhase == 10) {
        PingPhase = 0;
        ++PingIndex;
    }
}

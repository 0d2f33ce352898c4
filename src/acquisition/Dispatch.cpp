// What each record letter does to the window and the charts.
#include "app/frmMain.h"

#include "text/NumberText.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

void frmMain::DispatchRecord()
{
    // Bytes from the line become text one to one.
    const auto field = [this](int i) { return QString::fromLatin1(SentenceFields[size_t(i)]); };
    const QString letter = field(2);
    const auto showNode = [&] {
        SetCaption(cmdNetID, QStringLiteral("NetID (") + field(0) + QLatin1Char(')'));
        SetCaption(cmdNodeID, QStringLiteral("NodeID (") + field(1) + QLatin1Char(')'));
    };

    if (letter == QLatin1String("B")) {
        cmdDatum->setEnabled(false);
        ResetDatumControls();
        SetCaption(cmdDatum, QStringLiteral("Ping"));
        showNode();
        PlotMeasurement(field(1), letter, field(3), field(4), field(5));
    } else if (letter == QLatin1String("A")) {
        cmdDatum->setEnabled(true);
        cboDatumNodeID->setEnabled(false);
        txtDatum->setEnabled(false);
        const double adjustment = vt::PrefixValue(field(9));
        SetCaption(cmdDatum, QStringLiteral("Adjust (") + vt::FormatFixed2(-adjustment) + QLatin1Char(')'));
        showNode();
        PlotMeasurement(field(1), letter, field(4), field(5), field(8));
    } else if (letter == QLatin1String("D")) {
        cmdDatum->setEnabled(false);
        cmdResume->setEnabled(true);
        cboDatumNodeID->setEnabled(false);
        txtDatum->setEnabled(false);
        optInverseDisabled->setEnabled(true);
        optInverseEnabled->setEnabled(true);
        SetCaption(cmdDatum, QStringLiteral("Datum (") + field(7) + QLatin1Char(')'));
        showNode();
        // Show the node's inverse mode without sending it back.
        SuppressOptionCommands = true;
        if (vt::PrefixValue(field(3)) >= 0)
            optInverseDisabled->setChecked(true);
        else
            optInverseEnabled->setChecked(true);
        Yield();
        SuppressOptionCommands = false;
        PlotMeasurement(field(1), letter, field(4), field(5), field(8));
    } else if (letter == QLatin1String("R")) {
        cmdDatum->setEnabled(true);
        txtDatum->setEnabled(true);
        const QString caption = Caption(cmdDatum);
        if (caption.contains(QLatin1String("Adjust (")) || caption.contains(QLatin1String("Datum (")))
            SetCaption(cmdDatum, QStringLiteral("Ping"));
        showNode();
        if (DatumNodeId == QLatin1String("-1"))
            PlotMeasurement(field(1), letter, field(3), field(4), field(5));
    } else if (letter == QLatin1String("T")) {
        cboDatumNodeID->setEnabled(true);
        cmdDatum->setEnabled(true);
        const QString node = field(1);
        if (cboDatumNodeID->findText(node, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0
            && cboDatumNodeID->count() < kMaxNodes) {
            cboDatumNodeID->addItem(node);
            cboDatumNodeID->setCurrentIndex(cboDatumNodeID->count() - 1);
        }
        if (DatumNodeId != QLatin1String("-1") && cboDatumNodeID->currentText() == node)
            PlotMeasurement(DatumNodeId, letter, field(3), field(4), field(5));
        PingPhase = 0;
        ++PingIndex;
    }
}

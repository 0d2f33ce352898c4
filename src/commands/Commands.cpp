// The operator's commands. No handler waits for an answer: the node's next reports,
// shown by the tick, show the effect.
#include "app/frmMain.h"

#include "commands/CommandText.h"
#include "commands/DatumButton.h"
#include "link/SerialPort.h"
#include "text/NumberText.h"
#include "text/Trim.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

// Entries lose their leading and trailing spaces before anything else, in the box too.
QString trimmedEntry(QLineEdit* box)
{
    const QString entry = vt::TrimSpaces(box->text()).toString();
    box->setText(entry);
    return entry;
}

} // namespace

void frmMain::EntryCommand(QLineEdit* box, QByteArray (*sentence)(const QString&), const QString& rejected)
{
    const QString entry = trimmedEntry(box);
    const auto value = vt::NumericValue(entry);
    if (!value || *value < 0 || vt::RoundHalfEven(*value) > 999) {
        ShowMessage(rejected);
        return;
    }
    box->setText(vt::NumberToText(vt::RoundHalfEven(*value)));
    MSComm1->output(sentence(box->text()));
    cmdReset_Click();
}

void frmMain::cmdNetID_Click()
{
    EntryCommand(txtNetID, &vt::cmd::SetNetId, QStringLiteral("NetID must be in the range 0 to 999"));
}

void frmMain::cmdNodeID_Click()
{
    EntryCommand(txtNodeID, &vt::cmd::SetNodeId, QStringLiteral("NodeID must be in the range 0 to 999"));
}

void frmMain::cmdReset_Click()
{
    MSComm1->output(vt::cmd::Reset());
    ClearDisplays();
    ResetDatumControls();
}

void frmMain::cmdResume_Click()
{
    MSComm1->output(vt::cmd::Resume());
    ClearDisplays();
    ResetDatumControls();
}

void frmMain::OptionCommand(const QByteArray& sentence)
{
    // The tick and the chart update select options to show the node's state; those
    // selections must not echo back to the node.
    if (SuppressOptionCommands)
        return;
    MSComm1->output(sentence);
    ClearDisplays();
}

void frmMain::optUnitsMetric_Click() { OptionCommand(vt::cmd::Units(false)); }
void frmMain::optUnitsImperial_Click() { OptionCommand(vt::cmd::Units(true)); }
void frmMain::optInverseDisabled_Click() { OptionCommand(vt::cmd::Inverse(false)); }
void frmMain::optInverseEnabled_Click() { OptionCommand(vt::cmd::Inverse(true)); }

// The button's caption is its state: the first of Datum, Adjust and Ping it holds.
void frmMain::cmdDatum_Click()
{
    using vt::datum::Mode;
    const std::optional<Mode> mode = vt::datum::ModeOf(Caption(cmdDatum));
    if (mode == Mode::Datum)
        DatumAction();
    else if (mode == Mode::Adjust)
        AdjustAction();
    else if (mode == Mode::Ping)
        PingAction();
}

void frmMain::PingAction()
{
    const QString entry = trimmedEntry(txtDatum);
    const auto value = vt::NumericValue(entry);
    const double node = value ? vt::RoundHalfEven(*value) : -1;
    if (!value || node < 0 || node > 999) {
        ShowMessage(QStringLiteral("Ping NodeID must be in the range 0 to 999"));
        return;
    }
    txtDatum->setText(vt::NumberToText(node));
    MSComm1->output(vt::cmd::Ping(txtDatum->text()));
    txtDatum->setText(QString());
}

void frmMain::DatumAction()
{
    const QString entry = trimmedEntry(txtDatum);
    const auto value = vt::NumericValue(entry);
    // Two decimals, rounded the way the caption form shows them.
    const double rounded = value ? vt::PrefixValue(vt::FormatFixed2(*value)) : 0;
    if (!value || rounded < -9999.99 || rounded > 9999.99) {
        ShowMessage(QStringLiteral("Datum must be in the range -9999.99 to 9999.99"));
        return;
    }
    if (cboDatumNodeID->currentIndex() < 0) {
        cboDatumNodeID->setFocus();
        ShowMessage(QStringLiteral("Select datum NodeID"));
        return;
    }
    txtDatum->setText(vt::NumberToText(rounded));
    MSComm1->output(vt::cmd::SetDatum(txtDatum->text(), cboDatumNodeID->currentText()));
    ClearDisplays();
}

void frmMain::AdjustAction()
{
    MSComm1->output(vt::cmd::Adjust());
    ClearDisplays();
}

void frmMain::cboDatumNodeID_Click()
{
    if (cboDatumNodeID->currentText() == DatumNodeId)
        return;
    ClearDisplays();
    DatumNodeId = cboDatumNodeID->currentText();
    SetCaption(cmdDatum, vt::datum::Caption(vt::datum::Mode::Datum));
    txtDatum->setEnabled(true);
}

void frmMain::ResetDatumControls()
{
    cboDatumNodeID->setEnabled(false);
    cboDatumNodeID->setCurrentIndex(-1);
    txtDatum->setEnabled(false);
    txtDatum->setText(QString());
    SetCaption(cmdDatum, vt::datum::Caption(vt::datum::Mode::Ping));
    PingPhase = 0;
    DatumNodeId = kNoDatumNode;
}

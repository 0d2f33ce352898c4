// What each record letter does to the window and the charts.
#include "app/frmMain.h"

#include "commands/DatumButton.h"
#include "record/RecordLayout.h"
#include "text/NumberText.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <optional>

namespace {

// The enabled states a record letter gives the datum controls (unset: left as they
// are), written in this order.
struct RecordRule {
    char letter;
    std::optional<bool> cmdDatum = {}, cmdResume = {}, cboDatumNodeID = {}, txtDatum = {}, inverseOptions = {};
};

constexpr RecordRule kRecordRules[] = {
    { .letter = 'B', .cmdDatum = false },
    { .letter = 'A', .cmdDatum = true, .cboDatumNodeID = false, .txtDatum = false },
    { .letter = 'D', .cmdDatum = false, .cmdResume = true, .cboDatumNodeID = false, .txtDatum = false,
      .inverseOptions = true },
    { .letter = 'R', .cmdDatum = true, .txtDatum = true },
    { .letter = 'T', .cmdDatum = true, .cboDatumNodeID = true },
};

const RecordRule* ruleFor(const QString& letter)
{
    for (const RecordRule& r : kRecordRules)
        if (letter.size() == 1 && letter.at(0) == QLatin1Char(r.letter))
            return &r;
    return nullptr;
}

void enableIfSet(QWidget* w, std::optional<bool> enabled)
{
    if (enabled)
        w->setEnabled(*enabled);
}

// Shows the node's inverse mode on the options without echoing it back to the node,
// then yields (one of the yield points listed in frmMain.h).
void showInverseMode(frmMain& w, const QString& inverseField)
{
    const frmMain::QuietOptions quiet(w);
    (vt::PrefixValue(inverseField) >= 0 ? w.optInverseDisabled : w.optInverseEnabled)->setChecked(true);
    w.Yield();
}

} // namespace

void frmMain::DispatchRecord()
{
    // Bytes from the line become text one to one.
    const auto field = [this](int i) { return QString::fromLatin1(SentenceFields[size_t(i)]); };
    const QString letter = field(2);
    const RecordRule* rule = ruleFor(letter);
    if (!rule)
        return;  // a letter of no known record changes nothing
    const vt::RecordLayout& fields = *vt::RecordLayoutOf(rule->letter);
    enableIfSet(cmdDatum, rule->cmdDatum);
    enableIfSet(cmdResume, rule->cmdResume);
    enableIfSet(cboDatumNodeID, rule->cboDatumNodeID);
    enableIfSet(txtDatum, rule->txtDatum);
    enableIfSet(optInverseDisabled, rule->inverseOptions);
    enableIfSet(optInverseEnabled, rule->inverseOptions);

    const auto showNode = [&] {
        SetCaption(cmdNetID, QStringLiteral("NetID (") + field(0) + QLatin1Char(')'));
        SetCaption(cmdNodeID, QStringLiteral("NodeID (") + field(1) + QLatin1Char(')'));
    };
    const auto plot = [&](const QString& nodeId) {
        PlotMeasurement(nodeId, letter, field(fields.units), field(fields.pressure), field(fields.elevation));
    };
    using vt::datum::Caption;
    using vt::datum::Mode;

    switch (rule->letter) {
    case 'B':
        ResetDatumControls();  // back to Ping, no datum node
        showNode();
        plot(field(1));
        break;
    case 'A':
        SetCaption(cmdDatum, Caption(Mode::Adjust, vt::FormatFixed2(-vt::PrefixValue(field(fields.adjustment)))));
        showNode();
        plot(field(1));
        break;
    case 'D':
        SetCaption(cmdDatum, Caption(Mode::Datum, field(fields.datum)));
        showNode();
        showInverseMode(*this, field(fields.inverse));
        plot(field(1));
        break;
    case 'R':
        if (vt::datum::ShowsNodeValue(frmMain::Caption(cmdDatum)))
            SetCaption(cmdDatum, Caption(Mode::Ping));
        showNode();
        if (DatumNodeId == kNoDatumNode)
            plot(field(1));
        break;
    case 'T':
        ListNode(field(1));
        if (DatumNodeId != kNoDatumNode && cboDatumNodeID->currentText() == field(1))
            plot(DatumNodeId);
        // The rotation moves on to the next entry.
        PingPhase = 0;
        ++PingIndex;
        break;
    }
}

// A node that announces itself joins the list once, and becomes its current entry.
void frmMain::ListNode(const QString& node)
{
    if (cboDatumNodeID->findText(node, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0
        && cboDatumNodeID->count() < kMaxNodes) {
        cboDatumNodeID->addItem(node);
        cboDatumNodeID->setCurrentIndex(cboDatumNodeID->count() - 1);
    }
}

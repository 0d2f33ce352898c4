// What each record letter does to the window, driven through real sentences on the
// line and real acquisition ticks.
#include "display/Chart.h"
#include "support/Station.h"

#include <QChart>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace {

QString caption(const QPushButton* b) { return frmMain::Caption(b); }

enum class En { Kept, On, Off };
enum class List { Kept, NoneCurrent, SenderAdded };

struct StateRow {
    const char* name;
    std::optional<QByteArray> body;  // no sentence when empty
    En nodeButtons;                  // cmdNetID, cmdNodeID
    En nodeBoxes;                    // txtNetID, txtNodeID
    En inverse;                      // both inverse options
    En datumButton;                  // cmdDatum
    En datumBox;                     // txtDatum
    En list;                         // cboDatumNodeID
    En resume;                       // cmdResume
    const char* netCaption;          // nullptr: left as it was
    const char* nodeCaption;
    const char* datumCaption;
    List listChange;
};

const StateRow kStateTable[] = {
    { "no sentence", std::nullopt, En::Off, En::Off, En::Off, En::Off, En::Off, En::Off, En::Kept,
      "No Data", "No Data", nullptr, List::Kept },
    { "unknown letter", "12,3,Q,0,1013.25,120.5", En::On, En::On, En::Off, En::Kept, En::Kept, En::Kept,
      En::Kept, nullptr, nullptr, nullptr, List::Kept },
    { "lower-case b", "12,3,b,0,1013.25,120.5", En::On, En::On, En::Off, En::Kept, En::Kept, En::Kept,
      En::Kept, nullptr, nullptr, nullptr, List::Kept },
    { "two letters BB", "12,3,BB,0,1013.25,120.5", En::On, En::On, En::Off, En::Kept, En::Kept, En::Kept,
      En::Kept, nullptr, nullptr, nullptr, List::Kept },
    { "empty letter", "12,3,,0,1013.25,120.5", En::On, En::On, En::Off, En::Kept, En::Kept, En::Kept,
      En::Kept, nullptr, nullptr, nullptr, List::Kept },
    { "B", "12,3,B,0,1013.25,120.5", En::On, En::On, En::Off, En::Off, En::Off, En::Off, En::Kept,
      "NetID (12)", "NodeID (3)", "Ping", List::NoneCurrent },
    { "A", "12,3,A,0,0,1.25,x,100.00,2.5,12.5", En::On, En::On, En::Off, En::On, En::Off, En::Off,
      En::Kept, "NetID (12)", "NodeID (3)", "Adjust (-12.50)", List::Kept },
    { "D", "12,3,D,-2,0,1.25,x,100.00,2.5", En::On, En::On, En::On, En::Off, En::Off, En::Off, En::On,
      "NetID (12)", "NodeID (3)", "Datum (100.00)", List::Kept },
    { "R", "12,3,R,0,1013.25,120.5", En::On, En::On, En::Off, En::On, En::On, En::Kept, En::Kept,
      "NetID (12)", "NodeID (3)", "Ping", List::Kept },
    { "T", "12,7,T,0,1013.25,120.5", En::On, En::On, En::Off, En::On, En::Kept, En::On, En::Kept,
      nullptr, nullptr, nullptr, List::SenderAdded },
};

void expectEnabled(QWidget* w, En expected, bool before, const char* what)
{
    const bool want = expected == En::Kept ? before : expected == En::On;
    EXPECT_EQ(w->isEnabled(), want) << what;
}

// Every row runs twice, once with all controls enabled beforehand and once with all
// disabled, so a control the tick must leave alone shows any change either way.
TEST(RecordDispatch, ControlStatesByRecordLetter)
{
    for (const StateRow& row : kStateTable) {
        for (bool before : { false, true }) {
            SCOPED_TRACE(std::string(row.name) + (before ? ", controls enabled before" : ", controls disabled before"));
            Station s;
            frmMain& w = *s.w;
            for (QWidget* c : std::initializer_list<QWidget*> {
                     w.cmdNetID, w.cmdNodeID, w.txtNetID, w.txtNodeID, w.optInverseDisabled,
                     w.optInverseEnabled, w.cmdDatum, w.txtDatum, w.cboDatumNodeID, w.cmdResume })
                c->setEnabled(before);
            frmMain::SetCaption(w.cmdNetID, "NetID (old)");
            frmMain::SetCaption(w.cmdNodeID, "NodeID (old)");
            frmMain::SetCaption(w.cmdDatum, "Datum (1.00)");
            w.cboDatumNodeID->addItem("5");
            w.cboDatumNodeID->setCurrentIndex(0);

            if (row.body)
                deliver(s, *row.body);
            else
                s.tick();

            expectEnabled(w.cmdNetID, row.nodeButtons, before, "cmdNetID");
            expectEnabled(w.cmdNodeID, row.nodeButtons, before, "cmdNodeID");
            expectEnabled(w.txtNetID, row.nodeBoxes, before, "txtNetID");
            expectEnabled(w.txtNodeID, row.nodeBoxes, before, "txtNodeID");
            expectEnabled(w.optInverseDisabled, row.inverse, before, "optInverseDisabled");
            expectEnabled(w.optInverseEnabled, row.inverse, before, "optInverseEnabled");
            expectEnabled(w.cmdDatum, row.datumButton, before, "cmdDatum");
            expectEnabled(w.txtDatum, row.datumBox, before, "txtDatum");
            expectEnabled(w.cboDatumNodeID, row.list, before, "cboDatumNodeID");
            expectEnabled(w.cmdResume, row.resume, before, "cmdResume");

            EXPECT_EQ(caption(w.cmdNetID), row.netCaption ? row.netCaption : "NetID (old)");
            EXPECT_EQ(caption(w.cmdNodeID), row.nodeCaption ? row.nodeCaption : "NodeID (old)");
            EXPECT_EQ(caption(w.cmdDatum), row.datumCaption ? row.datumCaption : "Datum (1.00)");

            switch (row.listChange) {
            case List::Kept:
                EXPECT_EQ(w.cboDatumNodeID->count(), 1);
                EXPECT_EQ(w.cboDatumNodeID->currentText(), "5");
                break;
            case List::NoneCurrent:
                EXPECT_EQ(w.cboDatumNodeID->count(), 1);
                EXPECT_EQ(w.cboDatumNodeID->currentIndex(), -1);
                break;
            case List::SenderAdded:
                ASSERT_EQ(w.cboDatumNodeID->count(), 2);
                EXPECT_EQ(w.cboDatumNodeID->itemText(1), "7");
                EXPECT_EQ(w.cboDatumNodeID->currentText(), "7");
                break;
            }
        }
    }
}

TEST(RecordDispatch, UnknownLettersChartNothing)
{
    for (const char* letter : { "b", "BB", "Q", "", " B" }) {
        SCOPED_TRACE(letter);
        Station s;
        showUnits(*s.w, false);
        s.w->DatumNodeId = "-1";
        deliver(s, QByteArray("12,3,") + letter + ",0,1013.25,120.5");
        EXPECT_EQ(s.w->mscPressure->Row(), 1);
        EXPECT_EQ(s.w->mscPressure->TitleText(), "Absolute Pressure");
        EXPECT_EQ(s.w->DatumNodeId, "-1");
        EXPECT_TRUE(s.sent(60).isEmpty());
    }
}

TEST(RecordDispatch, TRecordAddsTheSenderAndMovesThePingOn)
{
    Station s;
    auto* list = s.w->cboDatumNodeID;
    list->addItem("5");
    s.w->PingIndex = 0;
    s.w->PingPhase = 0;

    deliver(s, "12,7,T,0,1013.25,120.5");
    EXPECT_EQ(s.sent(300), "9,5!") << "this tick's ping names the entry that stood before";
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "5");
    EXPECT_EQ(list->itemText(1), "7");
    EXPECT_EQ(list->currentText(), "7");
    EXPECT_EQ(s.w->PingPhase, 0);
    EXPECT_EQ(s.w->PingIndex, 1);
    // Showing the new entry is not the operator's choice of a datum node.
    EXPECT_EQ(s.w->DatumNodeId, "-1");
    EXPECT_EQ(caption(s.w->cmdDatum), "Ping");

    deliver(s, "12,3,R,0,1013.25,120.5");
    EXPECT_EQ(s.sent(300), "9,7!") << "the next sentence pings the new entry at once";

    deliver(s, "12,7,T,0,1013.25,120.5");
    EXPECT_EQ(list->count(), 2) << "a known node is not added twice";
    EXPECT_EQ(s.w->PingPhase, 0);
    EXPECT_EQ(s.w->PingIndex, 2);
}

TEST(RecordDispatch, NodeListStopsGrowingAtItsCap)
{
    Station s;
    auto* list = s.w->cboDatumNodeID;
    QStringList many;
    for (int i = 0; i < frmMain::kMaxNodes; ++i)
        many << QString::number(1000 + i);
    list->addItems(many);
    list->setCurrentIndex(3);
    s.w->PingPhase = 5;  // keep the ping out of the way

    deliver(s, "12,42,T,0,1013.25,120.5");
    EXPECT_EQ(list->count(), frmMain::kMaxNodes);
    EXPECT_EQ(list->findText("42"), -1);
    EXPECT_EQ(list->currentIndex(), 3);
}

TEST(RecordDispatch, DRecordShowsInverseModeWithoutEchoingIt)
{
    struct Case {
        const char* field3;
        bool enabledBefore;  // which option the node showed before
        bool enabledAfter;
    };
    const Case cases[] = {
        { "-2", false, true },
        { "-0.5", false, true },
        { "0", true, false },
        { "1.5", true, false },
        { "abc", true, false },
        { "", true, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("field 3 \"") + c.field3 + "\"");
        Station s;
        s.w->SuppressOptionCommands = true;
        (c.enabledBefore ? s.w->optInverseEnabled : s.w->optInverseDisabled)->setChecked(true);
        s.w->SuppressOptionCommands = false;
        showUnits(*s.w, false);

        deliver(s, QByteArray("12,3,D,") + c.field3 + ",0,1.25,x,100.00,2.5");

        EXPECT_EQ(s.w->optInverseEnabled->isChecked(), c.enabledAfter);
        EXPECT_EQ(s.w->optInverseDisabled->isChecked(), !c.enabledAfter);
        EXPECT_TRUE(s.w->optInverseEnabled->isEnabled());
        EXPECT_TRUE(s.w->optInverseDisabled->isEnabled());
        EXPECT_FALSE(s.w->SuppressOptionCommands);
        EXPECT_TRUE(s.sent(100).isEmpty()) << "no 8, command may go back to the node";
        EXPECT_EQ(s.w->mscPressure->Row(), 2) << "the reading is charted, not cleared by an echo";

        deliver(s, "12,3,R,0,1013.25,120.5");
        EXPECT_FALSE(s.w->optInverseEnabled->isEnabled());
        EXPECT_FALSE(s.w->optInverseDisabled->isEnabled());
        EXPECT_EQ(s.w->optInverseEnabled->isChecked(), c.enabledAfter) << "disabling keeps the selection";
    }
}

TEST(RecordDispatch, DatumAndAdjustCaptions)
{
    struct Case {
        QByteArray body;
        const char* caption;
    };
    const Case cases[] = {
        { "12,3,D,0,0,1.25,x,100.00,2.5", "Datum (100.00)" },
        { "12,3,D,0,0,1.25,x,,2.5", "Datum ()" },
        { "12,3,D,0,0,1.25,x,a&b,2.5", "Datum (a&b)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5,12.5", "Adjust (-12.50)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5,-3", "Adjust (3.00)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5,0.125", "Adjust (-0.13)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5,1234567.891", "Adjust (-1234567.89)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5,0", "Adjust (0.00)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5,abc", "Adjust (0.00)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5,1e999", "Adjust (0.00)" },
        { "12,3,A,0,0,1.25,x,100.00,2.5", "Adjust (0.00)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        Station s;
        deliver(s, c.body);
        EXPECT_EQ(caption(s.w->cmdDatum), c.caption);
    }
}

TEST(RecordDispatch, RRecordClearsOnlyAValueFromTheDatumCaption)
{
    const std::pair<const char*, const char*> cases[] = {
        { "Datum (100.00)", "Ping" },
        { "Adjust (-12.50)", "Ping" },
        { "xAdjust (y", "Ping" },
        { "Datum", "Datum" },
        { "Ping", "Ping" },
        { "datum (1.00)", "datum (1.00)" },
        { "Adjust(1)", "Adjust(1)" },
    };
    for (const auto& [before, after] : cases) {
        SCOPED_TRACE(before);
        Station s;
        frmMain::SetCaption(s.w->cmdDatum, before);
        deliver(s, "12,3,R,0,1013.25,120.5");
        EXPECT_EQ(caption(s.w->cmdDatum), after);
    }
}

TEST(RecordDispatch, RRecordIsChartedOnlyWithoutADatumNode)
{
    for (const char* datumNode : { "-1", "7" }) {
        SCOPED_TRACE(datumNode);
        Station s;
        showUnits(*s.w, false);
        s.w->DatumNodeId = datumNode;
        deliver(s, "12,3,R,0,1013.25,120.5");
        const bool charted = QByteArray(datumNode) == "-1";
        EXPECT_EQ(s.w->mscPressure->Row(), charted ? 2 : 1);
        EXPECT_EQ(s.w->mscPressure->TitleText(),
                  charted ? "Absolute Pressure (Rover 3, 0=1013 mb)" : "Absolute Pressure");
        EXPECT_EQ(s.w->mscElevation->TitleText(),
                  charted ? "Absolute Elevation (Rover 3, 0=120 m)" : "Absolute Elevation");
        EXPECT_EQ(s.w->DatumNodeId, datumNode);
    }
}

TEST(RecordDispatch, TRecordIsChartedOnlyForTheChosenNodeShownInTheList)
{
    struct Case {
        const char* name;
        int chosen;  // list index the operator picked; -1: none
        const char* sender;
        const char* title;  // nullptr: not charted
    };
    const Case cases[] = {
        { "no datum node", -1, "7", nullptr },
        { "datum node reports", 1, "7", "Absolute Pressure (Base 7, 0=1013 mb)" },
        { "another known node reports", 1, "5", nullptr },
        // The new entry becomes the list's text, so it is charted under the datum node's id.
        { "a new node reports", 1, "9", "Absolute Pressure (Base 7, 0=1013 mb)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station s;
        showUnits(*s.w, false);
        s.w->cboDatumNodeID->addItems({ "5", "7" });
        s.w->cboDatumNodeID->setEnabled(true);
        s.w->cboDatumNodeID->setCurrentIndex(1);
        if (c.chosen >= 0)
            choose(*s.w, c.chosen);
        s.w->PingPhase = 5;

        deliver(s, QByteArray("12,") + c.sender + ",T,0,1013.25,120.5");

        EXPECT_EQ(s.w->mscPressure->Row(), c.title ? 2 : 1);
        EXPECT_EQ(s.w->mscPressure->TitleText(), c.title ? c.title : "Absolute Pressure");
    }
}

TEST(RecordDispatch, UnitsFollowTheNodeOnlyWhenTheReadingIsPassedOn)
{
    struct Case {
        const char* name;
        QByteArray body;
        const char* datumNode;
        bool imperialAfter;
    };
    const Case cases[] = {
        { "B", "12,3,B,1,29.92,350", "-1", true },
        { "A", "12,3,A,0,1,1.25,x,100.00,2.5,0", "-1", true },
        { "D", "12,3,D,0,1,1.25,x,100.00,2.5", "-1", true },
        { "R without datum node", "12,3,R,1,29.92,350", "-1", true },
        { "R with datum node", "12,3,R,1,29.92,350", "7", false },
        { "T without datum node", "12,3,T,1,29.92,350", "-1", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station s;
        showUnits(*s.w, false);
        s.w->DatumNodeId = c.datumNode;
        deliver(s, c.body);
        EXPECT_EQ(s.w->optUnitsImperial->isChecked(), c.imperialAfter);
        EXPECT_EQ(s.w->optUnitsMetric->isChecked(), !c.imperialAfter);
        EXPECT_TRUE(s.sent(100).isEmpty()) << "following the node's units sends nothing";
        EXPECT_EQ(s.w->mscPressure->Row(), 1) << "a units mismatch charts nothing";
    }
}

TEST(RecordDispatch, ResumeStaysEnabledAfterTheFirstDRecord)
{
    Station s;
    ASSERT_FALSE(s.w->cmdResume->isEnabled());
    deliver(s, "12,3,D,0,0,1.25,x,100.00,2.5");
    ASSERT_TRUE(s.w->cmdResume->isEnabled());
    for (int i = 0; i < 3; ++i)
        s.tick();
    EXPECT_TRUE(s.w->cmdResume->isEnabled()) << "after ticks without a sentence";
    for (const char* body : { "12,3,B,0,1013.25,120.5", "12,3,R,0,1013.25,120.5",
                              "12,7,T,0,1013.25,120.5", "12,3,A,0,0,1.25,x,1,2.5,1" }) {
        deliver(s, body);
        s.tick();
        EXPECT_TRUE(s.w->cmdResume->isEnabled()) << body;
    }
}

TEST(RecordDispatch, BRecordsPingTheSameNodeEveryTick)
{
    Station s;
    s.w->cboDatumNodeID->addItems({ "5", "7" });
    s.w->PingIndex = 0;
    s.w->PingPhase = 0;
    for (int tick = 1; tick <= 4; ++tick) {
        deliver(s, "12,3,B,0,1013.25,120.5");
        EXPECT_EQ(s.sent(300), "9,5!") << "tick " << tick;
        EXPECT_EQ(s.w->PingIndex, 0);
        EXPECT_EQ(s.w->PingPhase, 0);
    }
}

TEST(RecordDispatch, TextFromTheLineIsShownLiterally)
{
    Station s;
    showUnits(*s.w, false);
    deliver(s, "a&b,<b>3</b>,B,0,1013.25,120.5");

    EXPECT_EQ(caption(s.w->cmdNetID), "NetID (a&b)");
    EXPECT_EQ(s.w->cmdNetID->text(), "NetID (a&&b)") << "'&' must not become a mnemonic";
    EXPECT_EQ(caption(s.w->cmdNodeID), "NodeID (<b>3</b>)");
    EXPECT_EQ(s.w->mscPressure->TitleText(), "Absolute Pressure (Base <b>3</b>, 0=1013 mb)");
    const QString shown = s.w->mscPressure->chart()->title();
    EXPECT_TRUE(shown.contains("&lt;b&gt;3&lt;/b&gt;")) << shown.toStdString();
    EXPECT_FALSE(shown.contains("<b>")) << shown.toStdString();
}

TEST(RecordDispatch, EightBitFieldBytesShowAsLatin1)
{
    Station s;
    deliver(s, "caf\xE9,\xFC" "3,R,0,1013.25,120.5");
    EXPECT_EQ(caption(s.w->cmdNetID), QStringLiteral("NetID (caf\u00E9)"));
    EXPECT_EQ(caption(s.w->cmdNodeID), QStringLiteral("NodeID (\u00FC" "3)"));
}

} // namespace

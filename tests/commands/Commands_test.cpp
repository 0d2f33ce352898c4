// The operator's commands as they reach the line: entry validation, the option
// buttons, the datum button and list, and clicks that land inside a tick.
#include "display/Chart.h"
#include "support/Station.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace {

constexpr int kQuietMs = 60;   // how long to listen when nothing should come
constexpr int kExpectMs = 500; // upper bound for bytes that should come

// A reading on the charts, so that a clear shows.
void chartOneReading(frmMain& w)
{
    w.PlotMeasurement("3", "B", w.optUnitsImperial->isChecked() ? "1" : "0", "1013.25", "120.5");
    ASSERT_EQ(w.mscPressure->Row(), 2);
}

bool displaysCleared(frmMain& w)
{
    return w.mscPressure->Row() == 1 && w.mscElevation->Row() == 1
        && w.mscPressure->TitleText() == "Absolute Pressure" && w.mscPressure->drawnPoints().isEmpty()
        && w.PressureHistory[1] == 0;
}

// A station whose node has reported once, so the node controls are open and the
// datum button says "Ping".
void openNodeControls(Station& s)
{
    deliver(s, "12,3,R,0,1013.25,120.5");
    s.sent(kQuietMs);
}

// Node 7 is known and the operator has chosen it as the datum node.
void chooseDatumNode7(Station& s)
{
    deliver(s, "12,7,T,0,1013.25,120.5");
    choose(*s.w, s.w->cboDatumNodeID->findText("7"));
    ASSERT_EQ(frmMain::Caption(s.w->cmdDatum), "Datum");
    s.sent(kQuietMs);
}

enum class Kind { NetID, NodeID, Ping, Datum };

struct EntryCase {
    Kind kind;
    const char* entry;
    const char* normalised;  // nullptr: rejected
    QByteArray sent;
};

const char* rangeMessage(Kind k)
{
    switch (k) {
    case Kind::NetID: return "NetID must be in the range 0 to 999";
    case Kind::NodeID: return "NodeID must be in the range 0 to 999";
    case Kind::Ping: return "Ping NodeID must be in the range 0 to 999";
    case Kind::Datum: return "Datum must be in the range -9999.99 to 9999.99";
    }
    return "";
}

const EntryCase kEntries[] = {
    { Kind::NetID, " 42 ", "42", "1,42!6!" },
    { Kind::NetID, "13.5", "14", "1,14!6!" },
    { Kind::NetID, "12.5", "12", "1,12!6!" },
    { Kind::NetID, "999.4", "999", "1,999!6!" },
    { Kind::NetID, "007", "7", "1,7!6!" },
    { Kind::NetID, "0", "0", "1,0!6!" },
    { Kind::NetID, "1.5e2", "150", "1,150!6!" },
    { Kind::NetID, "-1", nullptr, {} },
    { Kind::NetID, "-0.4", nullptr, {} },
    { Kind::NetID, "999.5", nullptr, {} },
    { Kind::NetID, "1000", nullptr, {} },
    { Kind::NetID, "1e3", nullptr, {} },
    { Kind::NetID, "abc", nullptr, {} },
    { Kind::NetID, "12abc", nullptr, {} },
    { Kind::NetID, " 12 abc ", nullptr, {} },
    { Kind::NetID, "", nullptr, {} },
    { Kind::NetID, "   ", nullptr, {} },
    { Kind::NetID, "1e12", nullptr, {} },
    { Kind::NetID, "1e999", nullptr, {} },
    { Kind::NodeID, " 42 ", "42", "2,42!6!" },
    { Kind::NodeID, "13.5", "14", "2,14!6!" },
    { Kind::NodeID, "007", "7", "2,7!6!" },
    { Kind::NodeID, "1000", nullptr, {} },
    { Kind::NodeID, "-1", nullptr, {} },
    { Kind::NodeID, "12abc", nullptr, {} },
    { Kind::Ping, " 42 ", "42", "9,42!" },
    { Kind::Ping, "-0.4", "0", "9,0!" },
    { Kind::Ping, "7.5", "8", "9,8!" },
    { Kind::Ping, "-0.5", "0", "9,0!" },
    { Kind::Ping, "0.5", "0", "9,0!" },
    { Kind::Ping, "998.5", "998", "9,998!" },
    { Kind::Ping, "999.4", "999", "9,999!" },
    { Kind::Ping, "1000", nullptr, {} },
    { Kind::Ping, "-1", nullptr, {} },
    { Kind::Ping, "999.5", nullptr, {} },
    { Kind::Ping, "abc", nullptr, {} },
    { Kind::Ping, "", nullptr, {} },
    { Kind::Datum, "12.346", "12.35", "4,12.35,7!" },
    { Kind::Datum, "12.344", "12.34", "4,12.34,7!" },
    { Kind::Datum, "12.345", "12.35", "4,12.35,7!" },
    { Kind::Datum, "-12.345", "-12.35", "4,-12.35,7!" },
    { Kind::Datum, "5.5", "5.5", "4,5.5,7!" },
    { Kind::Datum, "5.00", "5", "4,5,7!" },
    { Kind::Datum, " 42 ", "42", "4,42,7!" },
    { Kind::Datum, "1.5e1", "15", "4,15,7!" },
    { Kind::Datum, "-0.001", "0", "4,0,7!" },
    { Kind::Datum, "9999.99", "9999.99", "4,9999.99,7!" },
    { Kind::Datum, "-9999.99", "-9999.99", "4,-9999.99,7!" },
    { Kind::Datum, "9999.994", "9999.99", "4,9999.99,7!" },
    { Kind::Datum, "10000", nullptr, {} },
    { Kind::Datum, "9999.999", nullptr, {} },
    { Kind::Datum, "9999.995", nullptr, {} },
    { Kind::Datum, "-10000", nullptr, {} },
    { Kind::Datum, "abc", nullptr, {} },
    { Kind::Datum, "", nullptr, {} },
    { Kind::Datum, "1e12", nullptr, {} },
    // The largest doubles: their two-decimal form must still read back as far too large.
    { Kind::Datum, "1.7976931348623157e308", nullptr, {} },
    { Kind::Datum, "-1.7976931348623157e308", nullptr, {} },
    { Kind::Datum, "1e308", nullptr, {} },
    { Kind::Ping, "1.7976931348623157e308", nullptr, {} },
};

const char* kindName(Kind k)
{
    switch (k) {
    case Kind::NetID: return "NetID";
    case Kind::NodeID: return "NodeID";
    case Kind::Ping: return "Ping";
    case Kind::Datum: return "Datum";
    }
    return "";
}

TEST(EntryCommands, ValidateNormaliseAndSend)
{
    for (const EntryCase& c : kEntries) {
        SCOPED_TRACE(std::string(kindName(c.kind)) + " entry \"" + c.entry + "\"");
        Station s;
        frmMain& w = *s.w;
        openNodeControls(s);
        QLineEdit* box = nullptr;
        QPushButton* button = nullptr;
        switch (c.kind) {
        case Kind::NetID: box = w.txtNetID; button = w.cmdNetID; break;
        case Kind::NodeID: box = w.txtNodeID; button = w.cmdNodeID; break;
        case Kind::Ping: box = w.txtDatum; button = w.cmdDatum; break;
        case Kind::Datum:
            chooseDatumNode7(s);
            box = w.txtDatum;
            button = w.cmdDatum;
            break;
        }
        ASSERT_TRUE(button->isEnabled());
        box->setText(c.entry);
        // What the box shows, in order: the entry, then every change of it.
        QStringList shown { box->text() };
        QObject::connect(box, &QLineEdit::textChanged, box, [&](const QString& t) { shown << t; });

        QTest::mouseClick(button, Qt::LeftButton);

        const QByteArray line = s.sent(c.normalised ? kExpectMs : kQuietMs);
        if (c.normalised) {
            EXPECT_TRUE(s.messages.isEmpty()) << s.messages.join('|').toStdString();
            EXPECT_EQ(line, c.sent);
            ASSERT_GE(shown.size(), 2) << shown.join('|').toStdString();
            EXPECT_EQ(shown.at(shown.size() - 2), c.normalised) << "shown: " << shown.join('|').toStdString();
            EXPECT_TRUE(box->text().isEmpty()) << "the box ends up empty";
        } else {
            EXPECT_EQ(s.messages, QStringList { rangeMessage(c.kind) });
            EXPECT_TRUE(line.isEmpty()) << line.toStdString();
            EXPECT_EQ(box->text(), QString(c.entry).trimmed()) << "the box keeps the trimmed entry";
        }
    }
}

TEST(EntryCommands, EveryCommandGoesOutInOrder)
{
    Station s;
    frmMain& w = *s.w;
    openNodeControls(s);
    struct Step {
        const char* name;
        std::function<void()> act;
        QByteArray sent;
    };
    const Step steps[] = {
        { "NetID", [&] { w.txtNetID->setText("12"); w.cmdNetID->click(); }, "1,12!6!" },
        { "NodeID", [&] { w.txtNodeID->setText("3"); w.cmdNodeID->click(); }, "2,3!6!" },
        { "imperial", [&] { w.optUnitsImperial->click(); }, "3,1!" },
        { "metric", [&] { w.optUnitsMetric->click(); }, "3,0!" },
        { "ping", [&] { w.txtDatum->setText("4"); w.cmdDatum->click(); }, "9,4!" },
        { "datum",
          [&] {
              w.cboDatumNodeID->addItem("7");
              w.cboDatumNodeID->setEnabled(true);
              choose(w, 0);
              w.txtDatum->setText("-12.5");
              w.cmdDatum->click();
          },
          "4,-12.5,7!" },
        { "adjust", [&] { frmMain::SetCaption(w.cmdDatum, "Adjust (-12.50)"); w.cmdDatum->click(); }, "5!" },
        { "reset", [&] { w.cmdReset->click(); }, "6!" },
        { "resume", [&] { w.cmdResume->setEnabled(true); w.cmdResume->click(); }, "7!" },
        { "inverse on",
          [&] {
              w.optInverseEnabled->setEnabled(true);
              w.optInverseDisabled->setEnabled(true);
              w.optInverseEnabled->click();
          },
          "8,1!" },
        { "inverse off", [&] { w.optInverseDisabled->click(); }, "8,0!" },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(s.sent(kExpectMs), step.sent);
    }
    EXPECT_TRUE(s.messages.isEmpty()) << s.messages.join('|').toStdString();
}

TEST(EntryCommands, ResetWritesItsSentenceWhateverTheState)
{
    Station s;
    // Straight after start-up every node control is still closed.
    s.w->cmdReset->click();
    EXPECT_EQ(s.sent(kExpectMs), "6!");
    deliver(s, "12,3,D,-2,0,1.25,x,100.00,2.5");
    s.w->txtNetID->setText("abc");
    s.w->cmdReset->click();
    EXPECT_EQ(s.sent(kExpectMs), "6!");
    EXPECT_EQ(frmMain::Caption(s.w->cmdDatum), "Ping");
    EXPECT_TRUE(s.w->txtNetID->text().isEmpty());
}

struct OptionCase {
    const char* name;
    QRadioButton* frmMain::*option;
    QRadioButton* frmMain::*other;
    QByteArray sent;
    bool units;
};

const OptionCase kOptions[] = {
    { "metric", &frmMain::optUnitsMetric, &frmMain::optUnitsImperial, "3,0!", true },
    { "imperial", &frmMain::optUnitsImperial, &frmMain::optUnitsMetric, "3,1!", true },
    { "inverse disabled", &frmMain::optInverseDisabled, &frmMain::optInverseEnabled, "8,0!", false },
    { "inverse enabled", &frmMain::optInverseEnabled, &frmMain::optInverseDisabled, "8,1!", false },
};

// The node shows the other option, a datum node is chosen and a reading is charted.
void prepareForOption(Station& s, const OptionCase& c)
{
    frmMain& w = *s.w;
    openNodeControls(s);
    chooseDatumNode7(s);
    w.optInverseDisabled->setEnabled(true);
    w.optInverseEnabled->setEnabled(true);
    w.SuppressOptionCommands = true;
    (w.*c.other)->setChecked(true);
    w.SuppressOptionCommands = false;
    if (!c.units)
        showUnits(w, false);
    chartOneReading(w);
    w.txtNetID->setText("12");
}

TEST(OptionCommands, SuppressedWhileTheStationShowsTheNodesState)
{
    for (const OptionCase& c : kOptions) {
        SCOPED_TRACE(c.name);
        Station s;
        frmMain& w = *s.w;
        prepareForOption(s, c);

        w.SuppressOptionCommands = true;
        (w.*c.option)->click();
        EXPECT_TRUE((w.*c.option)->isChecked());
        EXPECT_TRUE(s.sent(kQuietMs).isEmpty());
        EXPECT_EQ(w.mscPressure->Row(), 2) << "the displays are untouched";
        EXPECT_EQ(w.txtNetID->text(), "12");
    }
}

TEST(OptionCommands, SelectingSendsExactlyItsSentenceAndClearsOnlyTheDisplays)
{
    for (const OptionCase& c : kOptions) {
        SCOPED_TRACE(c.name);
        Station s;
        frmMain& w = *s.w;
        prepareForOption(s, c);

        (w.*c.option)->click();

        EXPECT_EQ(s.sent(kExpectMs), c.sent);
        EXPECT_TRUE(displaysCleared(w));
        EXPECT_TRUE(w.txtNetID->text().isEmpty());
        EXPECT_FALSE((w.*c.other)->isChecked());
        // The datum controls stay as the operator left them.
        EXPECT_EQ(w.DatumNodeId, "7");
        EXPECT_EQ(frmMain::Caption(w.cmdDatum), "Datum");
        EXPECT_EQ(w.cboDatumNodeID->currentText(), "7");
        EXPECT_TRUE(w.txtDatum->isEnabled());
    }
}

TEST(DatumButton, CaptionChoosesTheAction)
{
    struct Case {
        const char* caption;
        const char* entry;
        QByteArray sent;
        bool clears;
    };
    const Case cases[] = {
        { "Datum (100.00)", "1.5", "4,1.5,7!", true },
        { "Datum", "1.5", "4,1.5,7!", true },
        { "Adjust Datum", "1.5", "4,1.5,7!", true },
        { "Adjust (-12.50)", "1.5", "5!", true },
        { "Ping", "4", "9,4!", false },
        { "Nothing", "4", {}, false },
        { "ping", "4", {}, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        Station s;
        frmMain& w = *s.w;
        showUnits(w, false);
        openNodeControls(s);
        chooseDatumNode7(s);
        chartOneReading(w);
        frmMain::SetCaption(w.cmdDatum, c.caption);
        w.txtDatum->setText(c.entry);
        ASSERT_TRUE(w.cmdDatum->isEnabled());

        w.cmdDatum->click();

        EXPECT_EQ(s.sent(c.sent.isEmpty() ? kQuietMs : kExpectMs), c.sent);
        EXPECT_EQ(displaysCleared(w), c.clears);
        EXPECT_EQ(frmMain::Caption(w.cmdDatum), c.caption) << "the button's own action keeps its caption";
        EXPECT_EQ(w.DatumNodeId, "7");
        EXPECT_TRUE(s.messages.isEmpty());
    }
}

TEST(DatumButton, DatumWithoutAChosenEntryFocusesTheList)
{
    Station s;
    frmMain& w = *s.w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.cboDatumNodeID->addItem("5");
    w.cboDatumNodeID->setEnabled(true);
    w.cboDatumNodeID->setCurrentIndex(-1);
    w.cmdDatum->setEnabled(true);
    w.txtDatum->setEnabled(true);
    frmMain::SetCaption(w.cmdDatum, "Datum");
    w.txtDatum->setText(" 12.5 ");
    w.txtDatum->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), w.txtDatum);

    QWidget* focusAtMessage = nullptr;
    s.onMessage = [&](const QString&) { focusAtMessage = QApplication::focusWidget(); };
    w.cmdDatum->click();

    EXPECT_EQ(s.messages, QStringList { "Select datum NodeID" });
    EXPECT_EQ(focusAtMessage, w.cboDatumNodeID) << "the list has the focus while the message shows";
    EXPECT_EQ(w.txtDatum->text(), "12.5");
    EXPECT_TRUE(s.sent(kQuietMs).isEmpty());

    // An entry out of range is reported first, and the focus stays where it was.
    s.messages.clear();
    w.txtDatum->setFocus();
    w.txtDatum->setText("10000");
    w.cmdDatum->click();
    EXPECT_EQ(s.messages, QStringList { "Datum must be in the range -9999.99 to 9999.99" });
    EXPECT_EQ(focusAtMessage, w.txtDatum);
    EXPECT_TRUE(s.sent(kQuietMs).isEmpty());
}

TEST(DatumList, ChoosingTheCurrentDatumNodeDoesNothingAnotherStartsOver)
{
    struct Case {
        const char* datumBefore;
        int pick;  // index in the list 5, 7
        bool changes;
    };
    const Case cases[] = {
        { "-1", 0, true },
        { "7", 1, false },
        { "7", 0, true },
        { "5", 0, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("datum node ") + c.datumBefore + ", pick " + std::to_string(c.pick));
        Station s;
        frmMain& w = *s.w;
        showUnits(w, false);
        w.cboDatumNodeID->addItems({ "5", "7" });
        w.cboDatumNodeID->setEnabled(true);
        w.DatumNodeId = c.datumBefore;
        frmMain::SetCaption(w.cmdDatum, "Ping");
        w.txtDatum->setEnabled(false);
        chartOneReading(w);

        choose(w, c.pick);

        const QString picked = w.cboDatumNodeID->itemText(c.pick);
        EXPECT_EQ(w.DatumNodeId, c.changes ? picked : QString(c.datumBefore));
        EXPECT_EQ(frmMain::Caption(w.cmdDatum), c.changes ? "Datum" : "Ping");
        EXPECT_EQ(w.txtDatum->isEnabled(), c.changes);
        EXPECT_EQ(displaysCleared(w), c.changes);
        EXPECT_TRUE(s.sent(kQuietMs).isEmpty()) << "choosing sends nothing";
    }
}

// A click that lands while the tick waits for a sentence: the command goes out at
// once and the tick then handles the sentence with the state the click left.
TEST(ClickDuringTick, CommandGoesOutAndTheTickUsesTheNewState)
{
    struct Case {
        const char* name;
        std::function<void(frmMain&)> prepare;
        std::function<void(frmMain&)> click;
        QByteArray sentence;
        QByteArray sent;
        std::function<void(frmMain&)> check;
    };
    const Case cases[] = {
        { "reset forgets the datum node, so the rover reading is charted",
          [](frmMain& w) {
              showUnits(w, false);
              w.DatumNodeId = "7";
              frmMain::SetCaption(w.cmdDatum, "Datum (100.00)");
          },
          [](frmMain& w) { w.cmdReset->click(); },
          "12,3,R,0,1013.25,120.5", "6!",
          [](frmMain& w) {
              EXPECT_EQ(w.DatumNodeId, "-1");
              EXPECT_EQ(w.mscPressure->Row(), 2);
              EXPECT_EQ(w.mscPressure->TitleText(), "Absolute Pressure (Rover 3, 0=1013 mb)");
              EXPECT_EQ(frmMain::Caption(w.cmdNetID), "NetID (12)");
          } },
        { "imperial chosen, so the metric reading is not charted",
          [](frmMain& w) { showUnits(w, false); },
          [](frmMain& w) { w.optUnitsImperial->click(); },
          "12,3,B,0,1013.25,120.5", "3,1!",
          [](frmMain& w) {
              EXPECT_EQ(w.mscPressure->Row(), 1);
              EXPECT_EQ(w.mscPressure->TitleText(), "Absolute Pressure");
              EXPECT_TRUE(w.optUnitsMetric->isChecked()) << "the node's units are shown again";
              EXPECT_EQ(frmMain::Caption(w.cmdNodeID), "NodeID (3)");
          } },
        { "a datum node chosen, so the rover reading is not charted",
          [](frmMain& w) {
              showUnits(w, false);
              w.cboDatumNodeID->addItems({ "5", "7" });
              w.cboDatumNodeID->setEnabled(true);
              w.cboDatumNodeID->setCurrentIndex(-1);
              w.PingPhase = 5;
          },
          [](frmMain& w) { choose(w, 1); },
          "12,3,R,0,1013.25,120.5", {},
          [](frmMain& w) {
              EXPECT_EQ(w.DatumNodeId, "7");
              EXPECT_EQ(w.mscPressure->Row(), 1);
              EXPECT_EQ(frmMain::Caption(w.cmdDatum), "Datum");
              EXPECT_TRUE(w.txtDatum->isEnabled());
          } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station s;
        frmMain& w = *s.w;
        c.prepare(w);
        // The clock stands still, so the receiver waits for the sentence rather than
        // timing out; the guard only ends a tick that would otherwise never return.
        s.clock->autoAdvance = false;
        QTimer guard;
        guard.setInterval(2000);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            guard.setInterval(5);
            ++s.clock->seconds;
        });
        guard.start();

        // The click comes while the receiver waits, the sentence right after it.
        bool inTick = false;
        bool clickedInTick = false;
        w.YieldHook = [&](int) {
            if (clickedInTick)
                return;
            clickedInTick = inTick;
            c.click(w);
            s.send(c.sentence);
        };
        inTick = true;
        s.tick();
        inTick = false;
        guard.stop();
        w.YieldHook = {};

        EXPECT_TRUE(clickedInTick);
        ASSERT_FALSE(w.SentenceFields[0].isEmpty()) << "the tick went on to receive the sentence";
        EXPECT_EQ(s.sent(c.sent.isEmpty() ? kQuietMs : kExpectMs), c.sent);
        c.check(w);
    }
}

} // namespace

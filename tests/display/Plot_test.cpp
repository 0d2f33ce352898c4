// The measurement histories and their charts: filling, shifting, baselines, titles,
// units, and the two reset procedures that the display depends on.
#include "display/Chart.h"
#include "support/Station.h"

#include <QChart>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <vector>


namespace {

// Reads one row without moving the chart's current row, which is the fill position.
QString rowText(vt::Chart* chart, int row)
{
    const int keep = chart->Row();
    chart->setRow(row);
    const QString text = chart->Data();
    chart->setRow(keep);
    return text;
}

QStringList rowTexts(vt::Chart* chart)
{
    QStringList rows;
    for (int r = 1; r <= chart->RowCount(); ++r)
        rows << rowText(chart, r);
    return rows;
}

QStringList expectedRows(const QStringList& used)
{
    QStringList rows = used;
    while (rows.size() < 10)
        rows << QString();
    return rows;
}

bool allFinite(vt::Chart* chart)
{
    for (const QPointF& p : chart->drawnPoints())
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return false;
    return true;
}

// Plain number text for values that are exact in binary (whole numbers and halves).
QString num(double v) { return QString::number(v, 'g', 15); }

TEST(PlotMeasurement, FirstReadingAfterAResetGoesToRowOne)
{
    Station s;
    ASSERT_TRUE(s.startError.isEmpty()) << s.startError.toStdString();
    showUnits(*s.w, false);
    s.w->ClearDisplays();

    s.w->PlotMeasurement("3", "B", "0", "1013.25", "120.5");

    EXPECT_EQ(s.w->PressureHistory[1], 1013.25);
    EXPECT_EQ(s.w->ElevationHistory[1], 120.5);
    EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows({ "0.25" }));
    EXPECT_EQ(rowTexts(s.w->mscElevation), expectedRows({ "0.5" }));
    EXPECT_EQ(s.w->mscPressure->Row(), 2);
    EXPECT_EQ(s.w->mscElevation->Row(), 2);
    EXPECT_EQ(s.w->mscPressure->TitleText(), "Absolute Pressure (Base 3, 0=1013 mb)");
    EXPECT_EQ(s.w->mscElevation->TitleText(), "Absolute Elevation (Base 3, 0=120 m)");
    EXPECT_TRUE(s.w->optUnitsMetric->isChecked());
    EXPECT_FALSE(s.w->SuppressOptionCommands);
    EXPECT_TRUE(s.sent(100).isEmpty()) << "following the node's units sends nothing";
}

TEST(PlotMeasurement, TenReadingsFillTheRowsAndLaterOnesShift)
{
    Station s;
    showUnits(*s.w, false);
    // Squares keep every row distinct, so a missed or doubled shift shows.
    const auto pressure = [](int k) { return 1000.0 + k * k; };
    const auto elevation = [](int k) { return 50.0 - 0.5 * k; };

    for (int k = 1; k <= 12; ++k) {
        s.w->PlotMeasurement("3", "B", "0", num(pressure(k)), num(elevation(k)));
        SCOPED_TRACE(k);
        const int used = std::min(k, 10);
        const int first = k - used + 1;  // oldest reading still kept
        QStringList p;
        QStringList e;
        double pBase = 1e9;
        double eBase = 1e9;
        for (int j = first; j <= k; ++j) {
            pBase = std::min(pBase, pressure(j));
            eBase = std::min(eBase, elevation(j));
        }
        pBase = std::trunc(pBase);
        eBase = std::trunc(eBase);
        for (int j = first; j <= k; ++j) {
            p << num(pressure(j) - pBase);
            e << num(elevation(j) - eBase);
            EXPECT_EQ(s.w->PressureHistory[size_t(j - first + 1)], pressure(j));
            EXPECT_EQ(s.w->ElevationHistory[size_t(j - first + 1)], elevation(j));
        }
        EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows(p));
        EXPECT_EQ(rowTexts(s.w->mscElevation), expectedRows(e));
        EXPECT_EQ(s.w->mscPressure->Row(), std::min(k + 1, 10));
        EXPECT_EQ(s.w->mscElevation->Row(), std::min(k + 1, 10));
        EXPECT_EQ(s.w->mscPressure->TitleText(),
                  QStringLiteral("Absolute Pressure (Base 3, 0=%1 mb)").arg(num(pBase)));
        EXPECT_EQ(s.w->mscPressure->drawnPoints().size(), used);
    }
}

TEST(PlotMeasurement, ALowerReadingMovesTheBaselineAndRedrawsEveryRow)
{
    Station s;
    showUnits(*s.w, false);
    s.w->PlotMeasurement("3", "B", "0", "1013.25", "120.5");
    s.w->PlotMeasurement("3", "B", "0", "1015.5", "121");
    EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows({ "0.25", "2.5" }));

    s.w->PlotMeasurement("3", "B", "0", "1009.75", "118.25");

    EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows({ "4.25", "6.5", "0.75" }));
    EXPECT_EQ(rowTexts(s.w->mscElevation), expectedRows({ "2.5", "3", "0.25" }));
    EXPECT_EQ(s.w->mscPressure->TitleText(), "Absolute Pressure (Base 3, 0=1009 mb)");
    EXPECT_EQ(s.w->mscElevation->TitleText(), "Absolute Elevation (Base 3, 0=118 m)");
}

TEST(PlotMeasurement, BaselineIsTheTruncatedMinimumCappedAt100000)
{
    struct Case {
        const char* name;
        std::vector<const char*> readings;
        const char* baseline;
        QStringList rows;
    };
    const Case cases[] = {
        { "negative minimum truncates toward zero", { "3", "-12.5" }, "-12", { "15", "-0.5" } },
        { "small negative gives zero, not minus zero", { "-0.75" }, "0", { "-0.75" } },
        { "whole minimum", { "1013", "1014.5" }, "1013", { "0", "1.5" } },
        { "all at or above the cap", { "100000", "250000.5" }, "100000", { "0", "150000.5" } },
        { "one reading above the cap", { "123456" }, "100000", { "23456" } },
        { "text after the number is ignored", { "1013.25mb" }, "1013", { "0.25" } },
        { "text without a number reads as 0", { "1013.25", "abc" }, "0", { "1013.25", "0" } },
        { "beyond double range reads as 0", { "1013.25", "1e999" }, "0", { "1013.25", "0" } },
        { "negative beyond double range reads as 0", { "-1e999", "5.5" }, "0", { "0", "5.5" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station s;
        showUnits(*s.w, false);
        for (const char* r : c.readings)
            s.w->PlotMeasurement("3", "B", "0", r, "10");
        EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows(c.rows));
        EXPECT_EQ(s.w->mscPressure->TitleText(),
                  QStringLiteral("Absolute Pressure (Base 3, 0=%1 mb)").arg(c.baseline));
        EXPECT_TRUE(allFinite(s.w->mscPressure));
        for (double h : s.w->PressureHistory)
            EXPECT_TRUE(std::isfinite(h));
    }
}

TEST(PlotMeasurement, ImperialPressureIsHeldInHundredths)
{
    struct Case {
        const char* name;
        const char* pressure;
        double stored;
        const char* baseline;
    };
    const Case cases[] = {
        { "plain", "29.92", 2992, "2992" },
        { "blanks around the number", " 29.5 ", 2950, "2950" },
        { "exponent", "2.992e1", 2992, "2992" },
        { "not numeric: the leading number counts", "29.92abc", 2992, "2992" },
        { "no number at all", "abc", 0, "0" },
        { "beyond double range", "1e999", 0, "0" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station s;
        showUnits(*s.w, true);
        s.w->PlotMeasurement("3", "B", "1", c.pressure, "350.5");
        EXPECT_NEAR(s.w->PressureHistory[1], c.stored, 1e-9);
        EXPECT_EQ(s.w->ElevationHistory[1], 350.5) << "elevation is never scaled";
        EXPECT_EQ(s.w->mscPressure->TitleText(),
                  QStringLiteral("Absolute Pressure (Base 3, 0=%1 inHg/100)").arg(c.baseline));
        EXPECT_EQ(s.w->mscElevation->TitleText(), "Absolute Elevation (Base 3, 0=350 ft)");
        EXPECT_EQ(rowText(s.w->mscElevation, 1), "0.5");
        EXPECT_TRUE(s.w->optUnitsImperial->isChecked());
        EXPECT_TRUE(s.sent(60).isEmpty());
    }
}

TEST(PlotMeasurement, ExtremeReadingsKeepTheChartFinite)
{
    Station s;
    showUnits(*s.w, true);
    // Scaling to hundredths overflows a double here.
    s.w->PlotMeasurement("3", "B", "1", "1e307", "1");
    s.w->PlotMeasurement("3", "B", "1", "-1e307", "1");
    EXPECT_TRUE(std::isfinite(s.w->PressureHistory[1]));
    EXPECT_TRUE(std::isfinite(s.w->PressureHistory[2]));
    EXPECT_TRUE(allFinite(s.w->mscPressure));
    EXPECT_EQ(s.w->mscPressure->Row(), 3);

    // Offsets from the baseline overflow a double here.
    showUnits(*s.w, false);
    s.w->ClearDisplays();
    s.w->PlotMeasurement("3", "B", "0", "1.7e308", "1");
    s.w->PlotMeasurement("3", "B", "0", "-1.7e308", "1");
    EXPECT_TRUE(allFinite(s.w->mscPressure));
    EXPECT_EQ(s.w->mscPressure->drawnPoints().size(), 2);
}

// The operator's reset can run in any of the update's yields. Whatever the update had
// done by then, the displays must end up reset, and charting starts over with the
// next reading.
TEST(PlotMeasurement, AResetDuringTheUpdateLeavesTheDisplaysReset)
{
    // With one reading charted the update yields nine times: twice per history and
    // twice per chart for each of the two, then once after the units. The click lands
    // in each of them in turn.
    for (int at = 1; at <= 9; ++at) {
        SCOPED_TRACE(at);
        Station s;
        showUnits(*s.w, false);
        s.w->PlotMeasurement("3", "B", "0", "1015.5", "121");

        bool clicked = false;
        int yields = 0;
        s.w->YieldHook = [&](int) {
            if (++yields == at) {
                clicked = true;
                s.w->cmdReset->click();
            }
        };
        s.w->PlotMeasurement("3", "B", "0", "1013.25", "120.5");
        ASSERT_TRUE(clicked) << "the reset did not land inside the update";
        EXPECT_EQ(yields, at < 9 ? at + 1 : 9) << "after the reset only the units' yield follows";
        s.w->YieldHook = {};

        std::array<double, 11> zero {};
        EXPECT_EQ(s.w->PressureHistory, zero);
        EXPECT_EQ(s.w->ElevationHistory, zero);
        EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows({}));
        EXPECT_EQ(rowTexts(s.w->mscElevation), expectedRows({}));
        EXPECT_EQ(s.w->mscPressure->Row(), 1);
        EXPECT_EQ(s.w->mscElevation->Row(), 1);
        EXPECT_EQ(s.w->mscPressure->TitleText(), "Absolute Pressure");
        EXPECT_EQ(s.w->mscElevation->TitleText(), "Absolute Elevation");
        EXPECT_TRUE(s.w->optUnitsMetric->isChecked()) << "the units still follow the node";
        EXPECT_EQ(s.sent(500), "6!");

        s.w->PlotMeasurement("3", "B", "0", "1013.5", "120.5");
        EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows({ "0.5" }));
        EXPECT_EQ(rowTexts(s.w->mscElevation), expectedRows({ "0.5" }));
        EXPECT_EQ(s.w->mscPressure->TitleText(), "Absolute Pressure (Base 3, 0=1013 mb)");
    }
}

TEST(PlotMeasurement, TitlesFollowTheRecordLetterAndUnits)
{
    struct Case {
        const char* letter;
        const char* units;
        const char* pressure;
        const char* pressureTitle;
        const char* elevationTitle;
    };
    const Case cases[] = {
        { "B", "0", "1013.5", "Absolute Pressure (Base 3, 0=1013 mb)", "Absolute Elevation (Base 3, 0=120 m)" },
        { "T", "0", "1013.5", "Absolute Pressure (Base 3, 0=1013 mb)", "Absolute Elevation (Base 3, 0=120 m)" },
        { "A", "0", "1013.5", "Differential Pressure (0=1013 mb)", "Differential Elevation (0=120 m)" },
        { "D", "0", "1013.5", "Differential Pressure (0=1013 mb)", "Differential Elevation (0=120 m)" },
        { "R", "0", "1013.5", "Absolute Pressure (Rover 3, 0=1013 mb)", "Absolute Elevation (Rover 3, 0=120 m)" },
        { "B", "1", "10.135", "Absolute Pressure (Base 3, 0=1013 inHg/100)", "Absolute Elevation (Base 3, 0=120 ft)" },
        { "D", "1", "10.135", "Differential Pressure (0=1013 inHg/100)", "Differential Elevation (0=120 ft)" },
        { "R", "1", "10.135", "Absolute Pressure (Rover 3, 0=1013 inHg/100)", "Absolute Elevation (Rover 3, 0=120 ft)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.letter) + " units " + c.units);
        Station s;
        showUnits(*s.w, QByteArray(c.units) == "1");
        s.w->PlotMeasurement("3", c.letter, c.units, c.pressure, "120.5");
        EXPECT_EQ(s.w->mscPressure->TitleText(), c.pressureTitle);
        EXPECT_EQ(s.w->mscElevation->TitleText(), c.elevationTitle);
    }
}

TEST(PlotMeasurement, UnitsMismatchChartsNothingAndMovesTheOptionSilently)
{
    enum Selected { None, Metric, Imperial };
    struct Case {
        const char* name;
        Selected selected;
        const char* flag;
        bool charted;
        bool metricAfter;
    };
    const Case cases[] = {
        { "imperial flag while metric", Metric, "1", false, false },
        { "metric flag while imperial", Imperial, "0", false, true },
        { "metric flag before any units", None, "0", false, true },
        { "imperial flag before any units", None, "1", false, false },
        { "unknown flag while metric", Metric, "2", false, false },
        { "unknown flag while imperial", Imperial, "2", false, false },
        { "empty flag while metric", Metric, "", false, false },
        { "metric matches", Metric, "0", true, true },
        { "imperial matches", Imperial, "1", true, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station s;
        // A first matching reading gives the charts content that must survive.
        int rowBefore = 1;
        QString titleBefore = QStringLiteral("Absolute Pressure");
        if (c.selected != None) {
            const bool imperial = c.selected == Imperial;
            showUnits(*s.w, imperial);
            s.w->PlotMeasurement("3", "B", imperial ? "1" : "0", "1000.5", "20.5");
            rowBefore = 2;
            titleBefore = s.w->mscPressure->TitleText();
        }
        const auto history = s.w->PressureHistory;

        s.w->PlotMeasurement("4", "R", c.flag, "990.5", "10.5");

        if (c.charted) {
            EXPECT_EQ(s.w->mscPressure->Row(), rowBefore + 1);
            EXPECT_TRUE(s.w->mscPressure->TitleText().startsWith("Absolute Pressure (Rover 4"));
        } else {
            EXPECT_EQ(s.w->mscPressure->Row(), rowBefore);
            EXPECT_EQ(s.w->mscElevation->Row(), rowBefore);
            EXPECT_EQ(s.w->mscPressure->TitleText(), titleBefore);
            EXPECT_EQ(s.w->PressureHistory, history);
        }
        EXPECT_EQ(s.w->optUnitsMetric->isChecked(), c.metricAfter);
        EXPECT_EQ(s.w->optUnitsImperial->isChecked(), !c.metricAfter);
        EXPECT_FALSE(s.w->SuppressOptionCommands);
        EXPECT_TRUE(s.sent(60).isEmpty()) << "moving the option must not command the node";
    }
}

// Everything ClearDisplays owns, to compare one state with another.
struct DisplayState {
    std::array<double, 11> pressure;
    std::array<double, 11> elevation;
    QByteArray receiveBuffer;
    int pressureRow;
    int elevationRow;
    QStringList pressureRows;
    QStringList elevationRows;
    QString pressureTitle;
    QString elevationTitle;
    QString datum, netId, nodeId;
    bool operator==(const DisplayState&) const = default;

    static DisplayState of(frmMain& w)
    {
        return { w.PressureHistory, w.ElevationHistory, w.ReceiveBuffer,
                 w.mscPressure->Row(), w.mscElevation->Row(),
                 rowTexts(w.mscPressure), rowTexts(w.mscElevation),
                 w.mscPressure->TitleText(), w.mscElevation->TitleText(),
                 w.txtDatum->text(), w.txtNetID->text(), w.txtNodeID->text() };
    }
};

// The untouched temperature chart, as far as it can be read.
struct Chart4State {
    QString title;
    QString shownTitle;
    int rowCount;
    int row;
    QStringList rows;
    int points;
    bool operator==(const Chart4State&) const = default;

    static Chart4State of(frmMain& w)
    {
        return { w.MSChart4->TitleText(), w.MSChart4->chart()->title(), w.MSChart4->RowCount(),
                 w.MSChart4->Row(), rowTexts(w.MSChart4), int(w.MSChart4->drawnPoints().size()) };
    }
};

TEST(ClearDisplays, EmptiesHistoriesChartsBufferAndEntryBoxesOnly)
{
    Station s;
    showUnits(*s.w, false);
    for (const char* p : { "1013.25", "1012.5", "1014" })
        s.w->PlotMeasurement("3", "B", "0", p, "120.5");
    s.w->PressureHistory[0] = 7;  // element 0 is unused but still reset
    s.w->ReceiveBuffer = "12,3,B,0,10";
    s.w->txtDatum->setText("1.5");
    s.w->txtNetID->setText("12");
    s.w->txtNodeID->setText("3");
    s.w->cboDatumNodeID->addItem("7");
    s.w->cboDatumNodeID->setCurrentIndex(0);
    s.w->DatumNodeId = "7";
    s.w->PingIndex = 2;
    s.w->PingPhase = 3;
    frmMain::SetCaption(s.w->cmdDatum, "Datum");
    frmMain::SetCaption(s.w->cmdNetID, "NetID (12)");
    const Chart4State chart4 = Chart4State::of(*s.w);

    s.w->ClearDisplays();
    const DisplayState once = DisplayState::of(*s.w);

    std::array<double, 11> zero {};
    EXPECT_EQ(once.pressure, zero);
    EXPECT_EQ(once.elevation, zero);
    EXPECT_TRUE(once.receiveBuffer.isEmpty());
    EXPECT_EQ(once.pressureRow, 1);
    EXPECT_EQ(once.elevationRow, 1);
    EXPECT_EQ(once.pressureRows, expectedRows({}));
    EXPECT_EQ(once.elevationRows, expectedRows({}));
    EXPECT_EQ(s.w->mscPressure->RowCount(), 10);
    EXPECT_TRUE(s.w->mscPressure->drawnPoints().isEmpty());
    EXPECT_TRUE(s.w->mscElevation->drawnPoints().isEmpty());
    EXPECT_EQ(once.pressureTitle, "Absolute Pressure");
    EXPECT_EQ(once.elevationTitle, "Absolute Elevation");
    EXPECT_TRUE(once.datum.isEmpty());
    EXPECT_TRUE(once.netId.isEmpty());
    EXPECT_TRUE(once.nodeId.isEmpty());

    // Not its business: selections, captions, datum node and the ping rotation.
    EXPECT_TRUE(s.w->optUnitsMetric->isChecked());
    EXPECT_EQ(s.w->cboDatumNodeID->currentText(), "7");
    EXPECT_EQ(s.w->DatumNodeId, "7");
    EXPECT_EQ(s.w->PingIndex, 2);
    EXPECT_EQ(s.w->PingPhase, 3);
    EXPECT_EQ(frmMain::Caption(s.w->cmdDatum), "Datum");
    EXPECT_EQ(frmMain::Caption(s.w->cmdNetID), "NetID (12)");
    EXPECT_EQ(Chart4State::of(*s.w), chart4);
    EXPECT_TRUE(s.sent(60).isEmpty());

    s.w->ClearDisplays();
    EXPECT_TRUE(DisplayState::of(*s.w) == once) << "a second clear changes nothing";

    s.w->PlotMeasurement("3", "B", "0", "1009.5", "118.5");
    EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows({ "0.5" }));
    EXPECT_EQ(s.w->mscPressure->Row(), 2);
    EXPECT_EQ(s.w->mscElevation->Row(), 2);
}

// A reset forgets on the screen what arrived before it, never in the log: the whole lines
// waiting and the line cut in two are logged, and the first reading shown is the next one.
TEST(ClearDisplays, LogsWhatItKeepsOffTheScreen)
{
    Station s;
    showUnits(*s.w, false);
    QList<QByteArray> lines;
    for (const char* p : { "1001", "1002", "1003", "1004" })
        lines << sentence(QByteArray("12,3,R,0,") + p + ",120.5");
    const QByteArray before = lines[0] + lines[1] + lines[2].first(12);
    s.pty.write(before);
    ASSERT_TRUE(s.waitForPort(int(before.size())));
    s.w->cmdReset->click();
    const QByteArray after = lines[2].sliced(12) + lines[3];
    s.pty.write(after);
    ASSERT_TRUE(s.waitForPort(int(after.size())));
    s.tick();

    EXPECT_EQ(s.w->SentenceFields[4], "1004");
    EXPECT_EQ(s.w->Timer1->interval(), 1000) << "nothing else waits to be shown";
    EXPECT_EQ(rowTexts(s.w->mscPressure), expectedRows({ "0" }));
    QByteArray logged;
    for (const QByteArray& line : lines)
        logged += "08/12/2026 17:52:19," + line.chopped(2) + "\r\n";
    EXPECT_EQ(s.log(), logged);
}

TEST(TemperatureChart, NeverChanges)
{
    Station s;
    const Chart4State before = Chart4State::of(*s.w);
    EXPECT_EQ(before.title, "Temperature (Rover)");
    EXPECT_EQ(before.rowCount, 10);
    EXPECT_EQ(before.points, 0);

    for (bool imperial : { false, true }) {
        showUnits(*s.w, imperial);
        for (const char* letter : { "B", "A", "D", "R", "T" })
            for (int k = 0; k < 3; ++k)
                s.w->PlotMeasurement("3", letter, imperial ? "1" : "0", num(1000 + k), num(k));
        s.w->ClearDisplays();
    }
    s.w->ResetDatumControls();
    EXPECT_EQ(Chart4State::of(*s.w), before);
}

TEST(ResetDatumControls, ReturnsToIdleAndKeepsListEntriesAndButtonState)
{
    for (bool datumEnabled : { false, true }) {
        SCOPED_TRACE(datumEnabled ? "button enabled" : "button disabled");
        Station s;
        showUnits(*s.w, false);
        auto* list = s.w->cboDatumNodeID;
        list->addItem("5");
        list->addItem("7");
        list->setEnabled(true);
        list->setCurrentIndex(1);
        s.w->DatumNodeId = "7";
        s.w->txtDatum->setEnabled(true);
        s.w->txtDatum->setText("12.5");
        s.w->cmdDatum->setEnabled(datumEnabled);
        frmMain::SetCaption(s.w->cmdDatum, "Datum (100.00)");
        s.w->PingIndex = 1;
        s.w->PingPhase = 4;
        s.w->PlotMeasurement("3", "B", "0", "1013.25", "120.5");

        for (int run = 1; run <= 2; ++run) {
            SCOPED_TRACE(run);
            s.w->ResetDatumControls();
            EXPECT_EQ(list->count(), 2);
            EXPECT_EQ(list->itemText(0), "5");
            EXPECT_EQ(list->itemText(1), "7");
            EXPECT_EQ(list->currentIndex(), -1);
            EXPECT_TRUE(list->currentText().isEmpty());
            EXPECT_FALSE(list->isEnabled());
            EXPECT_FALSE(s.w->txtDatum->isEnabled());
            EXPECT_TRUE(s.w->txtDatum->text().isEmpty());
            EXPECT_EQ(frmMain::Caption(s.w->cmdDatum), "Ping");
            EXPECT_EQ(s.w->cmdDatum->isEnabled(), datumEnabled);
            EXPECT_EQ(s.w->DatumNodeId, "-1");
            EXPECT_EQ(s.w->PingPhase, 0);
            EXPECT_EQ(s.w->PingIndex, 1) << "the rotation continues with the same entry";
            // Clearing the selection is no choice of the operator: the charts stay.
            EXPECT_EQ(s.w->mscPressure->Row(), 2);
            EXPECT_EQ(rowText(s.w->mscPressure, 1), "0.25");
        }
        EXPECT_TRUE(s.sent(60).isEmpty());
    }
}

} // namespace

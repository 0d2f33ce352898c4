// The last ten pressure and elevation readings, drawn relative to a whole-number
// baseline named in each chart's title.
#include "app/frmMain.h"

#include "display/Chart.h"
#include "display/History.h"
#include "record/RecordLayout.h"
#include "text/NumberText.h"

#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <cmath>

namespace {

QString chartTitle(const QString& recordType, bool pressure, const QString& nodeId,
                   const QString& baseline, bool imperial)
{
    const char letter = recordType.size() == 1 ? char(recordType.at(0).toLatin1()) : 'B';
    const vt::Quantity quantity = pressure ? vt::Quantity::Pressure : vt::Quantity::Elevation;
    // Imperial pressure is charted in hundredths of an inch; a differential chart does
    // not name its node.
    QString unit = vt::UnitName(quantity, imperial);
    if (pressure && imperial)
        unit += QStringLiteral("/100");
    const bool differential = letter == 'A' || letter == 'D';
    return vt::RecordTitle(letter, quantity, differential ? QString() : nodeId,
                           QStringLiteral("0=") + baseline + QLatin1Char(' ') + unit);
}

} // namespace

void frmMain::PlotMeasurement(QString nodeId, QString recordType, QString unitsFlag,
                              QString pressureText, QString elevationText)
{
    const bool imperial = unitsFlag == QLatin1String("1");
    const bool unitsMatch = (imperial && optUnitsImperial->isChecked())
        || (unitsFlag == QLatin1String("0") && optUnitsMetric->isChecked());
    if (unitsMatch) {
        if (imperial) {
            // Hundredths of an inch of mercury. The strict reading is the intended one;
            // where the text is no number the prefix rule still gives a number.
            const double inches = vt::NumericValue(pressureText).value_or(vt::PrefixValue(pressureText));
            const double hundredths = inches * 100;
            pressureText = vt::NumberToText(std::isfinite(hundredths) ? hundredths : 0.0);
        }
        // A display reset during the pressure update ends the chart update there.
        if (const auto pressureBase = UpdateSeries(mscPressure, PressureHistory, pressureText)) {
            mscPressure->setTitleText(chartTitle(recordType, true, nodeId, vt::NumberToText(*pressureBase), imperial));
            if (const auto elevationBase = UpdateSeries(mscElevation, ElevationHistory, elevationText))
                mscElevation->setTitleText(chartTitle(recordType, false, nodeId, vt::NumberToText(*elevationBase), imperial));
        }
    }
    // Follow the node's units without sending them back.
    const QuietOptions quiet(*this);
    (unitsFlag == QLatin1String("0") ? optUnitsMetric : optUnitsImperial)->setChecked(true);
    Yield();
}

// Adds a reading to a history and redraws its chart; returns the baseline used, or
// nothing when the displays were reset during one of its yields (it stops there).
std::optional<double> frmMain::UpdateSeries(vt::Chart* chart, vt::History& history, const QString& reading)
{
    // Drawn once, on return: the yields below must not paint a half-rewritten chart.
    const vt::Chart::Update update(*chart);
    const bool full = !chart->Data().isEmpty() && chart->Row() == 10;
    const int used = vt::AddReading(history, vt::PrefixValue(reading), chart->Row(), full);
    const double baseline = vt::Baseline(history, used);
    // One yield per entry while the baseline is found, and one per point charted.
    for (int i = 1; i <= used; ++i)
        if (Yield())
            return std::nullopt;
    for (int i = 1; i <= used; ++i) {
        chart->setRow(i);
        chart->setData(vt::NumberToText(history[size_t(i)] - baseline));
        if (Yield())
            return std::nullopt;
    }
    if (!full && chart->Row() < 10)
        chart->setRow(chart->Row() + 1);
    return baseline;
}

void frmMain::ClearDisplays()
{
    ++m_displayResets;
    ElevationHistory.fill(0);
    PressureHistory.fill(0);
    // What arrived before the reset is not shown after it; the log has every sentence
    // of it already, and the line cut in two goes there once its end comes.
    TakeInput();
    const qsizetype lastEnd = ReceiveBuffer.lastIndexOf('\r');
    const QByteArrayView partial = QByteArrayView(ReceiveBuffer).sliced(lastEnd + 1);
    m_dropRemainder = std::any_of(partial.begin(), partial.end(), [](char c) { return c != '\n'; })
        || (m_dropRemainder && lastEnd < 0);
    ReceiveBuffer.clear();
    for (auto [chart, title] : { std::pair { mscPressure, QStringLiteral("Absolute Pressure") },
                                 std::pair { mscElevation, QStringLiteral("Absolute Elevation") } }) {
        const vt::Chart::Update update(*chart);
        chart->setRow(1);
        chart->setRowCount(0);
        chart->setRowCount(10);
        chart->setTitleText(title);
    }
    txtDatum->setText(QString());
    txtNetID->setText(QString());
    txtNodeID->setText(QString());
}

// The last ten pressure and elevation readings, drawn relative to a whole-number
// baseline named in each chart's title.
#include "app/frmMain.h"

#include "display/Chart.h"
#include "text/NumberText.h"

#include <QLineEdit>
#include <QRadioButton>

#include <cmath>

namespace {

QString unitEnding(bool imperial, bool pressure)
{
    if (pressure)
        return imperial ? QStringLiteral(" inHg/100)") : QStringLiteral(" mb)");
    return imperial ? QStringLiteral(" ft)") : QStringLiteral(" m)");
}

QString chartTitle(const QString& recordType, bool pressure, const QString& nodeId,
                   const QString& baseline, bool imperial)
{
    const QString quantity = pressure ? QStringLiteral("Pressure") : QStringLiteral("Elevation");
    QString head;
    if (recordType == QLatin1String("A") || recordType == QLatin1String("D"))
        head = QStringLiteral("Differential %1 (").arg(quantity);
    else if (recordType == QLatin1String("R"))
        head = QStringLiteral("Absolute %1 (Rover %2, ").arg(quantity, nodeId);
    else
        head = QStringLiteral("Absolute %1 (Base %2, ").arg(quantity, nodeId);
    return head + QStringLiteral("0=") + baseline + unitEnding(imperial, pressure);
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
        const quint64 resets = m_displayResets;
        const double pressureBase = UpdateSeries(mscPressure, PressureHistory, pressureText);
        if (m_displayResets == resets) {
            mscPressure->setTitleText(chartTitle(recordType, true, nodeId, vt::NumberToText(pressureBase), imperial));
            const double elevationBase = UpdateSeries(mscElevation, ElevationHistory, elevationText);
            if (m_displayResets == resets)
                mscElevation->setTitleText(chartTitle(recordType, false, nodeId, vt::NumberToText(elevationBase), imperial));
        }
    }
    // Follow the node's units without sending them back.
    SuppressOptionCommands = true;
    if (unitsFlag == QLatin1String("0"))
        optUnitsMetric->setChecked(true);
    else
        optUnitsImperial->setChecked(true);
    Yield();
    SuppressOptionCommands = false;
}

// Adds a reading to a history and redraws its chart; returns the baseline used. Stops
// early when the displays were reset during one of its yields.
double frmMain::UpdateSeries(vt::Chart* chart, std::array<double, 11>& history, const QString& reading)
{
    // Drawn once, on return: the yields below must not paint a half-rewritten chart.
    const vt::Chart::Update update(*chart);
    const quint64 resets = m_displayResets;
    const double value = vt::PrefixValue(reading);
    const bool full = !chart->Data().isEmpty() && chart->Row() == 10;
    int used = 10;
    if (full) {
        for (int i = 2; i <= 10; ++i)
            history[size_t(i - 1)] = history[size_t(i)];
        history[10] = value;
    } else {
        used = chart->Row();
        history[size_t(used)] = value;
    }
    double baseline = 100000;
    for (int i = 1; i <= used; ++i) {
        if (history[size_t(i)] < baseline)
            baseline = history[size_t(i)];
        Yield();
        if (m_displayResets != resets)
            return baseline;
    }
    baseline = std::trunc(baseline);
    for (int i = 1; i <= used; ++i) {
        chart->setRow(i);
        chart->setData(vt::NumberToText(history[size_t(i)] - baseline));
        Yield();
        if (m_displayResets != resets)
            return baseline;
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

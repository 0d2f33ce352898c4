// The window as the operator first sees it: every control where the description puts it.
#include "support/Station.h"

#include "display/Chart.h"

#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTest>
#include <QAccessible>
#include <QApplication>
#include <gtest/gtest.h>

#include <optional>

namespace {

struct ControlRow {
    const char* name;
    QWidget* widget;
    const char* kind;
    QString text;
    QWidget* container;
    QRect twips;  // left, top, width, height in the container
    bool enabled;
    bool checked;
};

QString textOf(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w))
        return frmMain::Caption(b);
    if (auto* o = qobject_cast<QRadioButton*>(w))
        return o->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* t = qobject_cast<QLineEdit*>(w))
        return t->text();
    if (auto* c = qobject_cast<vt::Chart*>(w))
        return c->TitleText();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return {};
}

TEST(Window, EveryControlAsDescribed)
{
    Station s;
    frmMain& w = *s.w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Ventholm v 1.5"));
    EXPECT_EQ(w.size(), QSize(394, 554));
    // The icon is drawn crisp at its native size: ink, white and transparency, no blends.
    const QImage icon = w.windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    QSet<QRgb> colours;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            colours.insert(icon.pixel(x, y));
    EXPECT_EQ(colours, (QSet<QRgb> { 0, qRgb(255, 255, 255), qRgb(0x10, 0x3c, 0x78) }));

    const QList<ControlRow> rows {
        { "cmdResume", w.cmdResume, "QPushButton", "Resume", &w, { 4440, 7800, 1335, 375 }, false, false },
        { "fraUnits", w.fraUnits, "QGroupBox", "", &w, { 1560, 7800, 2775, 375 }, true, false },
        { "optUnitsMetric", w.optUnitsMetric, "QRadioButton", "Metric", w.fraUnits, { 600, 0, 855, 255 }, true, false },
        { "optUnitsImperial", w.optUnitsImperial, "QRadioButton", "Imperial", w.fraUnits, { 1560, 0, 975, 255 }, true, false },
        { "Label1", w.Label1, "QLabel", "Units:", w.fraUnits, { 0, 0, 495, 255 }, true, false },
        { "fraInverse", w.fraInverse, "QGroupBox", "", &w, { 1440, 6960, 2775, 375 }, true, false },
        { "optInverseEnabled", w.optInverseEnabled, "QRadioButton", "Enabled", w.fraInverse, { 1680, 120, 975, 255 }, false, false },
        { "optInverseDisabled", w.optInverseDisabled, "QRadioButton", "Disabled", w.fraInverse, { 720, 120, 975, 255 }, false, true },
        { "Label3", w.Label3, "QLabel", "Inverse:", w.fraInverse, { 120, 120, 735, 255 }, true, false },
        { "cboDatumNodeID", w.cboDatumNodeID, "QComboBox", "", &w, { 3240, 7395, 1095, 315 }, false, false },
        { "cmdReset", w.cmdReset, "QPushButton", "Reset", &w, { 4440, 7320, 1335, 375 }, true, false },
        { "cmdNetID", w.cmdNetID, "QPushButton", "No Data", &w, { 120, 6600, 1335, 375 }, false, false },
        { "txtNetID", w.txtNetID, "QLineEdit", "", &w, { 1560, 6600, 975, 405 }, false, false },
        { "txtNodeID", w.txtNodeID, "QLineEdit", "", &w, { 4800, 6600, 975, 405 }, false, false },
        { "cmdNodeID", w.cmdNodeID, "QPushButton", "No Data", &w, { 3360, 6600, 1335, 375 }, false, false },
        { "cmdDatum", w.cmdDatum, "QPushButton", "Ping", &w, { 120, 7320, 1335, 375 }, false, false },
        { "txtDatum", w.txtDatum, "QLineEdit", "", &w, { 1560, 7320, 975, 405 }, false, false },
        { "mscElevation", w.mscElevation, "vt::Chart", "Absolute Elevation", &w, { 120, 3360, 5655, 3150 }, true, false },
        { "mscPressure", w.mscPressure, "vt::Chart", "Absolute Pressure", &w, { 120, 120, 5655, 3135 }, true, false },
        { "MSChart4", w.MSChart4, "vt::Chart", "Temperature (Rover)", &w, { 120, 3360, 5655, 3150 }, true, false },
        { "Label2", w.Label2, "QLabel", "NodeID", &w, { 2640, 7440, 615, 255 }, true, false },
    };
    for (const ControlRow& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_NE(r.widget, nullptr);
        EXPECT_STREQ(r.widget->metaObject()->className(), r.kind);
        EXPECT_EQ(textOf(r.widget), r.text);
        EXPECT_EQ(r.widget->parentWidget(), r.container);
        const QRect& t = r.twips;
        EXPECT_EQ(r.widget->geometry(), QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15));
        EXPECT_EQ(r.widget->isEnabled(), r.enabled);
        EXPECT_TRUE(r.widget->isVisibleTo(&w));
        EXPECT_EQ(r.widget->objectName(), QLatin1String(r.name));
        if (auto* o = qobject_cast<QRadioButton*>(r.widget)) {
            EXPECT_EQ(o->isChecked(), r.checked);
        }
    }
    EXPECT_EQ(w.cboDatumNodeID->count(), 0);
    EXPECT_EQ(w.cboDatumNodeID->currentIndex(), -1);
    EXPECT_FALSE(w.cboDatumNodeID->isEditable());
    EXPECT_FALSE(w.Timer1->isSingleShot());
    EXPECT_EQ(w.Timer1->interval(), 1000);
    EXPECT_TRUE(w.lblStatus->isHidden());
}

TEST(Window, KeyboardOrderFollowsTheDescription)
{
    Station s;
    frmMain& w = *s.w;
    const QList<QWidget*> expected { w.mscPressure, w.mscElevation, w.txtDatum, w.cmdDatum, w.cmdNodeID,
                                     w.txtNodeID, w.txtNetID, w.cmdNetID, w.cmdReset, w.cboDatumNodeID,
                                     w.optInverseDisabled, w.optInverseEnabled, w.optUnitsImperial,
                                     w.optUnitsMetric, w.cmdResume };
    // Disabled controls take no focus; enable them all to see the whole order.
    for (QWidget* c : expected)
        c->setEnabled(true);
    // Walk the order as a keyboard user does: Tab from the first control.
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.mscPressure->setFocus(Qt::TabFocusReason);
    QList<QWidget*> chain { QApplication::focusWidget() };
    QStringList names;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        if (now == chain.first())
            break;
        chain << now;
        names << (now ? now->accessibleName() + "/" + now->metaObject()->className() : QString("none"));
    }
    // Tab enters an option group once, at its selected option (the first one when none
    // is selected); the arrow keys move inside the group.
    QList<QWidget*> stops = expected;
    stops.removeOne(w.optInverseEnabled);
    stops.removeOne(w.optUnitsMetric);
    EXPECT_EQ(chain, stops) << names.join(' ').toStdString();
}

// A click anywhere on a control the operator uses must reach it. Some labels overlap
// the control beside them by a few pixels (the "Inverse:" label runs into its first
// option, right on the option's round indicator); the label must not take the click.
// The charts take focus too; the temperature chart lies beneath the elevation chart.
TEST(Window, NoLabelOrFrameTakesAClickMeantForAControl)
{
    Station s;
    ASSERT_TRUE(s.startError.isEmpty()) << s.startError.toStdString();
    frmMain& w = *s.w;
    const QList<QWidget*> controls { w.cmdNetID, w.txtNetID, w.cmdNodeID, w.txtNodeID, w.cmdDatum, w.txtDatum,
                                     w.cboDatumNodeID, w.cmdReset, w.cmdResume, w.optInverseDisabled,
                                     w.optInverseEnabled, w.optUnitsMetric, w.optUnitsImperial,
                                     w.mscPressure, w.mscElevation };
    const auto operated = [&](QWidget* hit) {
        for (QWidget* c : controls)
            if (hit == c || c->isAncestorOf(hit))
                return c;
        return static_cast<QWidget*>(nullptr);
    };
    for (QWidget* c : controls) {
        const QRect r(c->mapTo(&w, QPoint(0, 0)), c->size());
        int lost = 0;
        QPoint firstLost;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                // Where two controls overlap, either may take it; nothing else may.
                if (!operated(w.childAt(x, y)) && lost++ == 0)
                    firstLost = QPoint(x, y);
        EXPECT_EQ(lost, 0) << c->objectName().toStdString() << ": " << lost << " pixel(s) taken by something else, first at ("
                           << firstLost.x() << ", " << firstLost.y() << ") by "
                           << (w.childAt(firstLost) ? w.childAt(firstLost)->metaObject()->className() : "nothing");
    }
}

TEST(Window, OptionGroupsAreIndependent)
{
    Station s;
    frmMain& w = *s.w;
    w.SuppressOptionCommands = true;
    w.optUnitsMetric->setChecked(true);
    w.optUnitsImperial->setChecked(true);
    EXPECT_FALSE(w.optUnitsMetric->isChecked());
    EXPECT_TRUE(w.optInverseDisabled->isChecked()) << "the inverse group keeps its selection";
    w.optInverseEnabled->setChecked(true);
    EXPECT_TRUE(w.optUnitsImperial->isChecked());
    EXPECT_FALSE(w.optInverseDisabled->isChecked());
}

TEST(Window, TextsFromTheLineShowLiterally)
{
    Station s;
    frmMain::SetCaption(s.w->cmdNetID, QStringLiteral("NetID (a&b)"));
    EXPECT_EQ(frmMain::Caption(s.w->cmdNetID), QStringLiteral("NetID (a&b)"));
    EXPECT_EQ(s.w->cmdNetID->text(), QStringLiteral("NetID (a&&b)")) << "'&' must not become a mnemonic";
}

} // namespace

namespace {

// What a screen reader hears for each control it can reach.
TEST(Window, EveryControlHasAnAccessibleNameAndRole)
{
    Station s;
    frmMain& w = *s.w;
    frmMain::SetCaption(w.cmdNetID, QStringLiteral("NetID (a&b)"));
    const struct {
        QWidget* widget;
        std::optional<QAccessible::Role> role;  // none: whatever the chart view reports
        QString name;
    } rows[] = {
        { w.cmdNetID, QAccessible::Button, QStringLiteral("NetID (a&b)") },
        { w.cmdReset, QAccessible::Button, QStringLiteral("Reset") },
        { w.txtNetID, QAccessible::EditableText, QStringLiteral("NetID") },
        { w.txtNodeID, QAccessible::EditableText, QStringLiteral("NodeID") },
        { w.txtDatum, QAccessible::EditableText, QStringLiteral("Datum value or NodeID to ping") },
        { w.cboDatumNodeID, QAccessible::ComboBox, QStringLiteral("Datum NodeID") },
        { w.fraUnits, QAccessible::Grouping, QStringLiteral("Units") },
        { w.fraInverse, QAccessible::Grouping, QStringLiteral("Inverse") },
        { w.optUnitsMetric, QAccessible::RadioButton, QStringLiteral("Metric") },
        { w.mscPressure, std::nullopt, QStringLiteral("Absolute Pressure") },
    };
    for (const auto& r : rows) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(r.widget);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), r.name);
        if (r.role) {
            EXPECT_EQ(a->role(), *r.role) << r.name.toStdString();
        }
    }
    // Read in order, a group's label comes before its options.
    for (const auto& [group, label] : { std::pair<QWidget*, const char*> { w.fraUnits, "Units:" },
                                        std::pair<QWidget*, const char*> { w.fraInverse, "Inverse:" } }) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(group);
        ASSERT_GT(a->childCount(), 0);
        EXPECT_EQ(a->child(0)->text(QAccessible::Name), QLatin1String(label));
    }
}

} // namespace

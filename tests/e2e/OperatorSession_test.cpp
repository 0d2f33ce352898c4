// One operator session in process against the simulated node network: the window's
// controls are clicked like an operator would, the test runs the acquisition ticks
// itself, and the simulator shows which command sentences reached the line.
#include "E2eProcesses.h"
#include "support/Station.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "display/Chart.h"

namespace {

constexpr int kPort = 3;

// Each of the station's seconds lasts a tenth of a real one: a silent line times a tick
// out in half a second, while the simulator's twenty sentences a second always come in time.
class SessionClock : public FakeClock {
public:
    int msToSecondChange(int n) const override { return 100 * n; }
    void sleptToSecondChange(int n) override { seconds += n; }
};

class OperatorSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString why;
        ASSERT_TRUE(sim.start(folder.path(), kPort, { QStringLiteral("--rate"), QStringLiteral("0.05"),
                                                      QStringLiteral("--seed"), QStringLiteral("11"),
                                                      QStringLiteral("--auto-adjust"), QStringLiteral("1") }, &why))
            << why.toStdString();
        folder.writeFile(QStringLiteral("settings.txt"), QByteArray::number(kPort) + "\r\n");
        w = std::make_unique<frmMain>(folder.path(), clock, [this](const QString& m) { messages << m; },
                                      [this] { ++endCalls; });
        ASSERT_EQ(w->Form_Load(), QString());
        w->Timer1->stop();
        w->show();
    }

    void TearDown() override
    {
        w.reset();  // the station lets go of the line before the simulator ends
        sim.stop();
    }

    // Runs acquisition ticks until done() holds after one of them.
    bool tickUntil(const std::function<bool()>& done, int maxTicks = 400)
    {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < maxTicks && clock.elapsed() < 20000; ++i) {
            w->AcquisitionTick();
            w->Timer1->stop();
            if (done())
                return true;
        }
        return false;
    }

    // The commands on the line other than pings, once there are n of them.
    QList<QByteArray> commandsBesidesPings(qsizetype n)
    {
        QList<QByteArray> found;
        e2e::WaitUntil([&] {
            found.clear();
            for (const QByteArray& c : sim.commands())
                if (!c.startsWith("9,"))
                    found.append(c);
            return found.size() >= n;
        }, 3000);
        return found;
    }

    QString datumCaption() const { return frmMain::Caption(w->cmdDatum); }
    QString elevationTitle() const { return w->mscElevation->TitleText(); }

    // Types into an entry box and clicks a button, as the operator does.
    void enterAndClick(QLineEdit* box, const QString& text, QPushButton* button)
    {
        box->setFocus();
        QTest::keyClicks(box, text);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    ProgramFolder folder;
    e2e::NodeSim sim;
    std::shared_ptr<SessionClock> clock = std::make_shared<SessionClock>();
    QStringList messages;
    int endCalls = 0;
    std::unique_ptr<frmMain> w;
};

} // namespace

TEST_F(OperatorSession, PingChooseDatumAdjustResumeAndReset)
{
    // The cable node, a rover, reports: the datum button offers a ping. Its first reading
    // only brings the units option into line; the charts take the readings after it.
    ASSERT_TRUE(tickUntil([&] { return elevationTitle().startsWith(QLatin1String("Absolute Elevation (Rover 3, 0=")); }))
        << elevationTitle().toStdString();
    EXPECT_EQ(frmMain::Caption(w->cmdNodeID), QStringLiteral("NodeID (3)"));
    EXPECT_EQ(frmMain::Caption(w->cmdNetID), QStringLiteral("NetID (12)"));
    EXPECT_EQ(datumCaption(), QStringLiteral("Ping"));
    ASSERT_TRUE(w->cmdDatum->isEnabled());
    ASSERT_TRUE(w->txtDatum->isEnabled());
    EXPECT_FALSE(w->cmdResume->isEnabled());
    EXPECT_TRUE(w->optUnitsMetric->isChecked());

    // Ping node 7: the sentence goes out and node 7 answers, joining the list.
    enterAndClick(w->txtDatum, QStringLiteral("7"), w->cmdDatum);
    EXPECT_TRUE(w->txtDatum->text().isEmpty());
    ASSERT_TRUE(e2e::WaitUntil([&] { return !sim.commands().isEmpty(); }, 3000));
    EXPECT_EQ(sim.commands(), QList<QByteArray> { "9,7!" });
    ASSERT_TRUE(tickUntil([&] { return w->cboDatumNodeID->findText(QStringLiteral("7")) >= 0; }));
    EXPECT_EQ(w->cboDatumNodeID->count(), 1);
    ASSERT_TRUE(w->cboDatumNodeID->isEnabled());

    // Choose 7 as the datum node and send it the datum value 100.
    const int seven = w->cboDatumNodeID->findText(QStringLiteral("7"));
    w->cboDatumNodeID->setCurrentIndex(seven);
    emit w->cboDatumNodeID->activated(seven);
    EXPECT_EQ(datumCaption(), QStringLiteral("Datum"));
    ASSERT_TRUE(w->txtDatum->isEnabled());
    ASSERT_TRUE(w->cmdDatum->isEnabled());
    enterAndClick(w->txtDatum, QStringLiteral("100"), w->cmdDatum);
    EXPECT_EQ(commandsBesidesPings(1), QList<QByteArray> { "4,100,7!" });

    // The node now reports differences against node 7 (210 m, 90 m above the cable node)
    // with the datum value added: about 100 - 90 = 10 m.
    ASSERT_TRUE(tickUntil([&] { return datumCaption().startsWith(QLatin1String("Datum (")); }));
    EXPECT_EQ(datumCaption(), QStringLiteral("Datum (100.00)"));
    EXPECT_FALSE(w->cmdDatum->isEnabled());
    EXPECT_TRUE(w->cmdResume->isEnabled());
    EXPECT_FALSE(w->cboDatumNodeID->isEnabled());
    EXPECT_TRUE(w->optInverseDisabled->isEnabled());
    EXPECT_TRUE(w->optInverseDisabled->isChecked());
    EXPECT_TRUE(w->optUnitsMetric->isChecked());
    static const QRegularExpression differential(QStringLiteral(R"(^Differential Elevation \(0=(-?\d+) m\)$)"));
    const QRegularExpressionMatch m = differential.match(elevationTitle());
    ASSERT_TRUE(m.hasMatch()) << elevationTitle().toStdString();
    EXPECT_NEAR(m.captured(1).toInt(), 10, 3);

    // The locked datum button sends nothing.
    QTest::mouseClick(w->cmdDatum, Qt::LeftButton);

    // A second later the node starts adjusting by itself; the datum button then offers the
    // adjust command with the adjustment to make (100 - 90 below the datum: about -190 m).
    ASSERT_TRUE(tickUntil([&] { return datumCaption().startsWith(QLatin1String("Adjust (")); }));
    static const QRegularExpression adjust(QStringLiteral(R"(^Adjust \((\d+\.\d\d)\)$)"));
    const QRegularExpressionMatch a = adjust.match(datumCaption());
    ASSERT_TRUE(a.hasMatch()) << datumCaption().toStdString();
    EXPECT_NEAR(a.captured(1).toDouble(), 190, 5);
    ASSERT_TRUE(w->cmdDatum->isEnabled());
    QTest::mouseClick(w->cmdDatum, Qt::LeftButton);
    EXPECT_EQ(commandsBesidesPings(2), (QList<QByteArray> { "4,100,7!", "5!" }));

    ASSERT_TRUE(w->cmdResume->isEnabled());
    QTest::mouseClick(w->cmdResume, Qt::LeftButton);
    EXPECT_EQ(commandsBesidesPings(3), (QList<QByteArray> { "4,100,7!", "5!", "7!" }));
    EXPECT_EQ(datumCaption(), QStringLiteral("Ping"));
    EXPECT_EQ(w->cboDatumNodeID->currentIndex(), -1);
    EXPECT_FALSE(w->txtDatum->isEnabled());
    // The node goes on with its datum.
    ASSERT_TRUE(tickUntil([&] { return datumCaption().startsWith(QLatin1String("Datum (")); }));
    EXPECT_EQ(datumCaption(), QStringLiteral("Datum (100.00)"));

    // Reset: the node forgets the datum and reports plain rover readings again.
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    EXPECT_EQ(commandsBesidesPings(4), (QList<QByteArray> { "4,100,7!", "5!", "7!", "6!" }));
    ASSERT_TRUE(tickUntil([&] { return elevationTitle().startsWith(QLatin1String("Absolute Elevation (Rover 3, 0=")); }))
        << elevationTitle().toStdString();
    EXPECT_EQ(datumCaption(), QStringLiteral("Ping"));
    EXPECT_TRUE(w->cmdDatum->isEnabled());
    EXPECT_TRUE(w->cmdResume->isEnabled());

    // The ping rotation only pinged nodes of the list (7, and the simulator's own
    // announcements if the session ran that long), and no option the tick set to show
    // the node's state was echoed back as a command.
    for (const QByteArray& c : sim.commands()) {
        if (c.startsWith("9,")) {
            EXPECT_GE(w->cboDatumNodeID->findText(QString::fromLatin1(c.mid(2).chopped(1))), 0) << c.toStdString();
        }
    }
    EXPECT_EQ(commandsBesidesPings(4).size(), 4);
    EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1String(" | ")).toStdString();
    EXPECT_EQ(endCalls, 0);
}

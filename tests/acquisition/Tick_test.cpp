// The acquisition tick: "No Data", the ping rotation on the line, the timer.
#include "support/Station.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

QList<QWidget*> nodeControls(frmMain& w)
{
    return { w.cboDatumNodeID, w.cmdDatum, w.cmdNetID, w.cmdNodeID, w.optInverseDisabled,
             w.optInverseEnabled, w.txtDatum, w.txtNetID, w.txtNodeID };
}

TEST(Tick, WithoutASentenceShowsNoDataAndLeavesTheRotationAlone)
{
    Station s;
    for (QWidget* c : nodeControls(*s.w))
        c->setEnabled(true);
    frmMain::SetCaption(s.w->cmdNetID, QStringLiteral("NetID (12)"));
    s.w->cboDatumNodeID->addItem(QStringLiteral("5"));
    s.w->PingIndex = 1;
    s.w->PingPhase = 4;

    s.w->AcquisitionTick();

    for (QWidget* c : nodeControls(*s.w))
        EXPECT_FALSE(c->isEnabled()) << c->accessibleName().toStdString();
    EXPECT_EQ(frmMain::Caption(s.w->cmdNetID), QStringLiteral("No Data"));
    EXPECT_EQ(frmMain::Caption(s.w->cmdNodeID), QStringLiteral("No Data"));
    EXPECT_EQ(s.w->PingIndex, 1);
    EXPECT_EQ(s.w->PingPhase, 4);
    EXPECT_TRUE(s.w->Timer1->isActive()) << "every tick ends with the timer on again";
    EXPECT_EQ(s.w->Timer1->interval(), 1000);
    EXPECT_TRUE(s.sent(30).isEmpty());
}

TEST(Tick, PingRotationOverTwoNodesWithASentenceEveryTick)
{
    Station s;
    s.w->cboDatumNodeID->addItem(QStringLiteral("5"));
    s.w->cboDatumNodeID->addItem(QStringLiteral("7"));
    QMap<int, QByteArray> expected { { 1, "9,5!" }, { 11, "9,7!" }, { 22, "9,5!" } };
    for (int tick = 1; tick <= 22; ++tick) {
        s.send("12,3,R,0,1013.25,120.5");
        s.tick();
        EXPECT_EQ(s.sent(expected.contains(tick) ? 200 : 15), expected.value(tick)) << "tick " << tick;
        if (tick == 10) {
            EXPECT_EQ(s.w->PingIndex, 1);
            EXPECT_EQ(s.w->PingPhase, 0);
        }
        if (tick == 21) {
            EXPECT_EQ(s.w->PingIndex, 0) << "the wrap sends nothing and starts over";
            EXPECT_EQ(s.w->PingPhase, 0);
        }
    }
}

TEST(Tick, EmptyListSendsNothingAndKeepsTheRotation)
{
    Station s;
    s.w->PingIndex = 3;
    s.w->PingPhase = 0;
    s.send("12,3,R,0,1013.25,120.5");
    s.tick();
    EXPECT_TRUE(s.sent(30).isEmpty());
    EXPECT_EQ(s.w->PingIndex, 3);
    EXPECT_EQ(s.w->PingPhase, 0);
    EXPECT_EQ(frmMain::Caption(s.w->cmdNetID), QStringLiteral("NetID (12)"));
}

TEST(Tick, PingGoesOutBeforeTheSentenceIsDispatched)
{
    // A "T" record moves the rotation on; the ping of this tick still names the
    // entry that stood before it.
    Station s;
    s.w->cboDatumNodeID->addItem(QStringLiteral("5"));
    s.send("12,7,T,0,1013.25,120.5");
    s.tick();
    EXPECT_EQ(s.sent(), "9,5!");
    EXPECT_EQ(s.w->PingIndex, 1);
    s.send("12,3,R,0,1013.25,120.5");
    s.tick();
    EXPECT_EQ(s.sent(), "9,7!") << "after a T record the next sentence pings the next entry";
}

TEST(Tick, RejectedSentenceIsNoData)
{
    Station s;
    s.w->cmdNetID->setEnabled(true);
    s.pty.write("12,3,R,0,1013.25,120.5*00\r\n");
    s.tick();
    EXPECT_FALSE(s.w->cmdNetID->isEnabled());
    EXPECT_EQ(frmMain::Caption(s.w->cmdNetID), QStringLiteral("No Data"));
    EXPECT_TRUE(s.log().isEmpty());
}

} // namespace

namespace {

// The tick's pace: at once while lines wait, one interval after the tick otherwise.
struct PaceCase {
    const char* legend;
    QByteArray arrives;                 // written before the first tick
    QList<QByteArray> firstFields;      // field 0 of each tick's sentence, "" for none
    QList<int> intervals;               // Timer1's interval after each tick
};

TEST(Tick, PaceFollowsWhatWaits)
{
    const QList<PaceCase> table {
        { "two sentences in one read: both taken in consecutive ticks, no new character needed",
          sentence("A,1") + sentence("B,2"), { "A", "B" }, { 0, 1000 } },
        { "one sentence: the next tick after the interval", sentence("A,1"), { "A" }, { 1000 } },
        { "a partial line after the sentence waits for its carriage return as before",
          sentence("A,1") + "B,2*", { "A", "" }, { 1000, 1000 } },
        { "a rejected line with a good one behind it", "A,1*00\r\n" + sentence("B,2"), { "", "B" }, { 0, 1000 } },
    };
    for (const PaceCase& c : table) {
        SCOPED_TRACE(c.legend);
        Station s;
        s.pty.write(c.arrives);
        ASSERT_TRUE(s.waitForPort(int(c.arrives.size())));
        for (qsizetype t = 0; t < c.firstFields.size(); ++t) {
            s.tick();
            EXPECT_EQ(s.w->SentenceFields[0], c.firstFields[t]) << "tick " << t + 1;
            EXPECT_EQ(s.w->Timer1->interval(), c.intervals[t]) << "tick " << t + 1;
        }
    }
}

// Between ticks the timer waits; a sentence arriving then starts the next tick at once.
TEST(Tick, ASentenceArrivingWhileTheTimerWaitsIsTakenAtOnce)
{
    Station s;
    s.w->AcquisitionTick();
    ASSERT_TRUE(s.w->Timer1->isActive());
    s.w->Timer1->start(60000);  // far longer than the test may wait
    s.send("12,3,R,0,1013.25,120.5");
    QElapsedTimer t;
    t.start();
    while (s.w->SentenceFields[0].isEmpty() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    s.w->Timer1->stop();
    EXPECT_EQ(s.w->SentenceFields[4], "1013.25");
}

TEST(Tick, ABurstDrainsOneSentenceATickWithoutTheIntervalAndWithoutLoss)
{
    Station s;
    QByteArray burst;
    for (int i = 0; i < 100; ++i)
        burst += sentence("12,3,R,0," + QByteArray::number(1000 + i) + ",120.5");
    s.pty.write(burst);
    ASSERT_TRUE(s.waitForPort(int(burst.size())));
    for (int i = 0; i < 100; ++i) {
        s.tick();
        ASSERT_EQ(s.w->SentenceFields[4], QByteArray::number(1000 + i)) << "tick " << i + 1;
        EXPECT_EQ(s.w->Timer1->interval(), i < 99 ? 0 : 1000) << "tick " << i + 1;
    }
    EXPECT_EQ(s.log().count('\n'), 100);
    EXPECT_EQ(s.w->LinesGivenUp, 0);
}

} // namespace

// The simulator's end: whatever it is doing when told to stop, it exits at once with 0
// and takes its com<N> link with it, but never a link that another simulator has made.
#include "E2eProcesses.h"

#include <gtest/gtest.h>

namespace {

constexpr int kPort = 4;

bool LinkPresent(const QString& link)
{
    return QFileInfo(link).isSymLink();
}

} // namespace

TEST(NodeSimEnd, ExitsCleanlyOnEverySignalInEveryState)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    e2e::Replay replay;
    for (int i = 0; i < 5; ++i)
        replay.add(i * 0.1, e2e::RoverBody(i));
    const QString replayPath = dir.filePath(QStringLiteral("replay.txt"));
    ASSERT_TRUE(replay.writeTo(replayPath));

    struct Case {
        const char* name;
        int signal;
        QStringList options;
        QByteArray waitFor;  // on its standard error, before the signal
    };
    const Case cases[] = {
        { "SIGINT", SIGINT, {}, {} },
        { "SIGHUP", SIGHUP, {}, {} },
        // The link dangles while the line is down; it still goes.
        { "SIGTERM with the line dropped", SIGTERM, { QStringLiteral("--drop-link"), QStringLiteral("30") }, "line dropped" },
        { "SIGTERM while replaying", SIGTERM, { QStringLiteral("--replay"), replayPath, QStringLiteral("--loop") }, {} },
    };
    const QString link = dir.filePath(QStringLiteral("com%1").arg(kPort));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e2e::NodeSim sim;
        QString why;
        ASSERT_TRUE(sim.start(dir.path(), kPort, QStringList { QStringLiteral("--rate"), QStringLiteral("0.02"),
                                                                QStringLiteral("--seed"), QStringLiteral("1") } + c.options,
                              &why))
            << why.toStdString();
        ASSERT_TRUE(LinkPresent(link));
        if (!c.waitFor.isEmpty()) {
            ASSERT_TRUE(e2e::WaitUntil([&] { return sim.errors().contains(c.waitFor); }, 3000)) << sim.errors().toStdString();
        }
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(sim.stop(c.signal), 0) << sim.errors().toStdString();
        EXPECT_LT(clock.elapsed(), 2000) << "slow to end";
        EXPECT_EQ(sim.process().state(), QProcess::NotRunning);
        EXPECT_FALSE(LinkPresent(link)) << "link left behind";
    }
}

// A second simulator on the same port takes the link over; the first one's end must not
// pull it from under the second.
TEST(NodeSimEnd, LeavesALinkThatAnotherSimulatorTookOver)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("com%1").arg(kPort));
    const QStringList options { QStringLiteral("--rate"), QStringLiteral("0.05"), QStringLiteral("--seed"), QStringLiteral("1") };
    e2e::NodeSim first, second;
    QString why;
    ASSERT_TRUE(first.start(dir.path(), kPort, options, &why)) << why.toStdString();
    ASSERT_TRUE(second.start(dir.path(), kPort, options, &why)) << why.toStdString();
    ASSERT_NE(first.slavePath(), second.slavePath());
    ASSERT_EQ(QFile::symLinkTarget(link), second.slavePath());

    EXPECT_EQ(first.stop(), 0);
    EXPECT_EQ(QFile::symLinkTarget(link), second.slavePath()) << "the first simulator removed the second one's link";
    EXPECT_EQ(second.stop(), 0);
    EXPECT_FALSE(LinkPresent(link));
}

// The station executable against the simulated node network, judged only by what a user
// sees: the lines of log.txt and the command sentences on the line. The simulator sends
// faster than the station's tick interval, and each test counts the lines logged within a
// bounded time.
#include "E2eProcesses.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

using e2e::Positions;
using e2e::RoverBody;

namespace {

constexpr int kPort = 3;
// Time the station gets to come up before a replay's sentences that matter start: the
// first sentence goes out at once and is discarded when the station opens its port.
constexpr double kLeadIn = 2.0;

class StationE2e : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString why;
        ASSERT_TRUE(station.install(&why)) << why.toStdString();
        ASSERT_TRUE(station.writeFile(QStringLiteral("settings.txt"), QByteArray::number(kPort) + "\r\n"));
    }

    // Simulator first (the station needs its link at start-up), then the station.
    void startBoth(const QStringList& simOptions)
    {
        QString why;
        ASSERT_TRUE(sim.start(station.folder(), kPort, simOptions, &why)) << why.toStdString();
        ASSERT_TRUE(station.start({ QStringLiteral("QT_QPA_PLATFORM=offscreen") }, &why)) << why.toStdString();
    }

    // Replays this log at its own pace (plus the simulator options), then starts the station.
    void startReplay(const e2e::Replay& replay, const QStringList& more = {})
    {
        const QString path = station.file(QStringLiteral("replay.txt"));
        ASSERT_TRUE(replay.writeTo(path));
        startBoth(QStringList { QStringLiteral("--replay"), path } + more);
    }

    // The logged sentences; every log line must have the log's form and a good check.
    QList<QByteArray> loggedSentences()
    {
        QList<QByteArray> sentences;
        for (const QByteArray& line : station.logLines()) {
            const QByteArray s = e2e::LoggedSentence(line);
            EXPECT_FALSE(s.isEmpty()) << "log line of the wrong form: " << line.toStdString();
            EXPECT_TRUE(vt::VerifyChecksum(s)) << "logged with a bad check: " << line.toStdString();
            for (const char c : s)
                EXPECT_GE(quint8(c), 32) << "control character logged: " << line.toStdString();
            sentences.append(s);
        }
        return sentences;
    }

    // The logged sentences as they stand, unchecked, for polling.
    QList<QByteArray> sentencesNow() const
    {
        QList<QByteArray> sentences;
        for (const QByteArray& line : station.logLines())
            sentences.append(e2e::LoggedSentence(line));
        return sentences;
    }

    // Waits until at least n lines are logged; the station must keep running meanwhile.
    bool waitForLines(qsizetype n, int timeoutMs)
    {
        return e2e::WaitUntil([&] { return station.logLines().size() >= n || !station.running(); }, timeoutMs)
            && station.logLines().size() >= n;
    }

    // What went wrong, for a failure message.
    std::string report()
    {
        QByteArray text = "station " + QByteArray(station.running() ? "running" : "ended") + "; log:\n";
        for (const QByteArray& l : station.logLines())
            text += "  " + l.trimmed() + '\n';
        text += "simulator stderr: " + sim.errors() + "\nstation stderr: " + station.process().readAllStandardError();
        return text.toStdString();
    }

    // Members go in reverse order: the station ends before its line does.
    e2e::NodeSim sim;
    e2e::StationRun station;
};

// Sentences logged one after another, with none of those sent in between missing.
void ExpectConsecutive(const QList<qsizetype>& at, qsizetype first = -1)
{
    ASSERT_FALSE(at.isEmpty());
    if (first >= 0) {
        EXPECT_EQ(at.first(), first) << "the log does not start with the first sentence sent after start-up";
    }
    for (qsizetype i = 0; i < at.size(); ++i) {
        EXPECT_GE(at[i], 0) << "logged sentence " << i << " was not sent, or not in this order";
        if (i > 0 && at[i] >= 0 && at[i - 1] >= 0) {
            EXPECT_EQ(at[i], at[i - 1] + 1) << "sentences missing before logged sentence " << i;
        }
    }
}

void ExpectInSentOrder(const QList<qsizetype>& at)
{
    for (qsizetype i = 0; i < at.size(); ++i)
        EXPECT_GE(at[i], 0) << "logged sentence " << i << " was not sent, or not in this order";
}

} // namespace

// Nodes 5 and 7 announce themselves; from then on every tenth received sentence pings the
// next node of the list, and the log holds every sentence sent, in order.
TEST_F(StationE2e, LogsEverySentenceInOrderAndPingsTheAnnouncedNodesInTurn)
{
    e2e::Replay replay;
    replay.add(0, RoverBody(9999));
    replay.add(kLeadIn, "12,5,T,0,1010.40,140.2");
    replay.add(kLeadIn + 0.05, "12,7,T,0,1002.30,209.8");
    // Four a second, faster than the station's tick interval: it must keep up.
    for (int i = 0; i < 90; ++i)
        replay.add(kLeadIn + 0.1 + 0.25 * i, RoverBody(i));
    ASSERT_NO_FATAL_FAILURE(startReplay(replay, { QStringLiteral("--speed"), QStringLiteral("1") }));
    ASSERT_TRUE(e2e::WaitUntil([&] { return (station.logLines().size() >= 15 && sim.commands().size() >= 2)
                                          || !station.running(); }, 30000)) << report();

    // The list is 5, 7 after the announcements, and the second one moved the rotation on:
    // sentence 3 pings 7, ten sentences later the rotation wraps without a ping, and
    // sentence 14 pings 5; the next ping is due with sentence 25.
    const QList<QByteArray> commands = sim.commands();
    const qsizetype logged = station.logLines().size();
    const QList<QByteArray> expected { "9,7!", "9,5!" };
    EXPECT_EQ(commands.mid(0, 2), expected) << report();
    EXPECT_LE(commands.size(), 2 + (logged >= 25)) << "a ping that no logged sentence called for: " << report();
    ExpectConsecutive(Positions(loggedSentences(), replay.sentences()), 1);
    EXPECT_TRUE(station.running());
}

TEST_F(StationE2e, LogsNoSentenceWithABadCheck)
{
    ASSERT_NO_FATAL_FAILURE(startBoth({ QStringLiteral("--rate"), QStringLiteral("0.05"), QStringLiteral("--seed"),
                                        QStringLiteral("3"), QStringLiteral("--bad-checks"), QStringLiteral("0.3") }));
    // A bad sentence at the head of the buffer costs the tick its sentence, so fewer than
    // one line a second.
    ASSERT_TRUE(waitForLines(5, 15000)) << report();
    const QList<QByteArray> logged = loggedSentences();
    // Readings of the cable node, and the announcements of nodes 5 and 7.
    static const QRegularExpression good(QStringLiteral("^12,(3,R|5,T|7,T),0,[0-9.]+,[0-9.]+\\*[0-9A-F]{2}$"));
    for (const QByteArray& s : logged)
        EXPECT_TRUE(good.match(QString::fromLatin1(s)).hasMatch()) << s.toStdString();
    EXPECT_TRUE(station.running()) << report();
}

// Faults that only move bytes around or add noise between sentences; the station must
// keep logging the sentences exactly as sent.
struct LineFault {
    const char* name;
    QStringList options;
    bool lossless;  // every sentence still arrives whole
};

class StationLineFault : public StationE2e, public ::testing::WithParamInterface<LineFault> {};

TEST_P(StationLineFault, KeepsLoggingTheSentencesAsSent)
{
    e2e::Replay replay;
    for (int i = 0; i < 600; ++i)
        replay.add(0.05 * i, RoverBody(i));  // twenty a second, the flood faster still
    ASSERT_NO_FATAL_FAILURE(startReplay(replay, GetParam().options));
    ASSERT_TRUE(waitForLines(5, 12000)) << report();
    const QList<qsizetype> at = Positions(loggedSentences(), replay.sentences());
    if (GetParam().lossless)
        ExpectConsecutive(at);
    else
        ExpectInSentOrder(at);
    EXPECT_TRUE(station.running()) << report();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StationLineFault,
    ::testing::Values(
        LineFault { "split", { QStringLiteral("--split"), QStringLiteral("--seed"), QStringLiteral("2") }, true },
        // A stray byte of 128 or more before a sentence fails its check; control bytes pass
        // and must not reach the log. With this seed both come early in the stream, and no
        // run of stray bytes happens to leave the check right, which a plain XOR allows.
        LineFault { "stray", { QStringLiteral("--stray"), QStringLiteral("--seed"), QStringLiteral("6") }, false },
        LineFault { "flood", { QStringLiteral("--flood"), QStringLiteral("--seed"), QStringLiteral("1") }, true }),
    [](const ::testing::TestParamInfo<LineFault>& info) { return std::string(info.param.name); });

// 6000 bytes without a carriage return come right after the second sentence that matters.
TEST_F(StationE2e, RecoversFromAGarbageBurst)
{
    e2e::Replay replay;
    replay.add(0, RoverBody(9999));
    for (int i = 0; i < 60; ++i)
        replay.add(kLeadIn + 0.25 * i, RoverBody(i));
    ASSERT_NO_FATAL_FAILURE(startReplay(replay, { QStringLiteral("--speed"), QStringLiteral("1"),
                                                  QStringLiteral("--garbage-burst"), QStringLiteral("6000") }));
    const qsizetype burstAfter = 2;  // sentences 0 to 2 went out before it
    const auto afterBurst = [&] {
        qsizetype n = 0;
        for (const qsizetype at : Positions(sentencesNow(), replay.sentences()))
            n += at > burstAfter;
        return n;
    };
    ASSERT_TRUE(e2e::WaitUntil([&] { return afterBurst() >= 3 || !station.running(); }, 15000)) << report();
    const QList<qsizetype> at = Positions(loggedSentences(), replay.sentences());
    ExpectInSentOrder(at);
    // The station was listening before the burst, or this proves nothing.
    EXPECT_EQ(at.first(), 1) << report();
    EXPECT_TRUE(station.running()) << report();
}

// The line goes away for a second after the fourth sentence; the station reopens its port
// every two seconds until it works, and loses nothing it had already received.
TEST_F(StationE2e, ReopensAfterTheLineDropsAndKeepsWhatItHadReceived)
{
    e2e::Replay replay;
    replay.add(0, RoverBody(9999));
    replay.add(kLeadIn, RoverBody(0));
    replay.add(kLeadIn + 0.25, RoverBody(1));
    replay.add(kLeadIn + 0.5, RoverBody(2));  // the line drops right after this one
    // Nothing more until the station is surely back, so the line itself loses nothing.
    for (int i = 3; i < 40; ++i)
        replay.add(kLeadIn + 3.5 + 0.25 * (i - 3), RoverBody(i));
    ASSERT_NO_FATAL_FAILURE(startReplay(replay, { QStringLiteral("--speed"), QStringLiteral("1"),
                                                  QStringLiteral("--drop-link"), QStringLiteral("1") }));
    const QString firstPty = sim.slavePath();

    QElapsedTimer clock;
    clock.start();
    bool closedSeen = false;
    qint64 backAt = -1, reopenedAt = -1;
    const auto afterDrop = [&] {
        qsizetype n = 0;
        for (const qsizetype at : Positions(sentencesNow(), replay.sentences()))
            n += at > 3;
        return n;
    };
    const auto watch = [&] {
        if (sim.errors().contains("line dropped") && backAt < 0 && !e2e::HoldsOpen(station.pid(), firstPty))
            closedSeen = true;
        if (backAt < 0 && sim.readyCount() >= 2)
            backAt = clock.elapsed();
        if (backAt >= 0 && reopenedAt < 0 && e2e::HoldsOpen(station.pid(), sim.slavePath()))
            reopenedAt = clock.elapsed();
        return afterDrop() >= 3 || !station.running();
    };
    ASSERT_TRUE(e2e::WaitUntil(watch, 16000)) << report();

    EXPECT_TRUE(station.running()) << report();
    EXPECT_TRUE(closedSeen) << "the station never let go of the dropped line";
    ASSERT_GE(backAt, 0) << "the simulator never brought the line back: " << report();
    ASSERT_GE(reopenedAt, 0);
    EXPECT_LE(reopenedAt - backAt, 2500) << "the port was reopened only " << reopenedAt - backAt
                                         << " ms after the line came back";

    const QList<qsizetype> at = Positions(loggedSentences(), replay.sentences());
    ExpectInSentOrder(at);
    // Sentences 1 and 2 had reached the station before the line went; sentence 3 went out
    // just before the drop and may have been lost on the line.
    EXPECT_TRUE(at.contains(1) && at.contains(2)) << "sentences received before the drop were not logged: "
                                                  << report();
    QList<qsizetype> later;
    for (const qsizetype p : at)
        if (p > 3)
            later.append(p);
    ExpectConsecutive(later, 4);
}

// Each termination signal ends the station as a close does, with exit status 0, and every
// sentence that reached it before the signal is in the log, also during a flood.
class StationSignal : public StationE2e, public ::testing::WithParamInterface<int> {};

TEST_P(StationSignal, EndsCleanlyAndLogsEverySentenceReceived)
{
    const QString trace = station.file(QStringLiteral("trace.txt"));
    ASSERT_NO_FATAL_FAILURE(startBoth({ QStringLiteral("--flood"), QStringLiteral("--seed"), QStringLiteral("3"),
                                        QStringLiteral("--trace"), trace }));
    // A few more than the 20 checked: the last 50 ms before the signal do not count.
    ASSERT_TRUE(waitForLines(24, 15000)) << report();
    const double signalledAt = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    EXPECT_EQ(e2e::EndProcess(station.process(), GetParam(), 5000), 0) << report();

    QList<QByteArray> logged;
    for (const QByteArray& line : station.logLines())
        logged.append(line.mid(line.indexOf(',') + 1).trimmed());
    QFile f(trace);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    // The sentences the simulator wrote up to a moment before the signal (the line hands
    // bytes on a little later), without its notes.
    QList<QByteArray> sent;
    for (const QByteArray& entry : f.readAll().split('\n')) {
        const qsizetype space = entry.indexOf(' ');
        if (space > 0 && !entry.startsWith('#') && entry.left(space).toDouble() <= signalledAt - 0.05)
            sent.append(entry.mid(space + 1));
    }
    // Readings repeat, so the log's first lines fix where the station started listening;
    // from there every sentence sent must be in the log, in order.
    ASSERT_GE(logged.size(), 6);
    qsizetype start = 0;
    while (start + 6 <= sent.size() && sent.mid(start, 6) != logged.mid(0, 6))
        ++start;
    ASSERT_LE(start + 6, sent.size()) << "the log's first lines were never sent";
    qsizetype from = 0, checked = 0;
    for (qsizetype i = start; i < sent.size(); ++i, ++checked) {
        const qsizetype at = logged.indexOf(sent[i], from);
        EXPECT_GE(at, 0) << "sentence " << i << " not logged: " << sent[i].toStdString();
        from = at < 0 ? from : at + 1;
    }
    EXPECT_GE(checked, 20);
}

INSTANTIATE_TEST_SUITE_P(Signals, StationSignal, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM"
                                                : info.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

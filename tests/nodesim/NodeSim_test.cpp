// The simulated node network: readings, command responses, replay log lines, line
// faults, and the tool itself on a real pseudo-terminal.
#include "Faults.h"
#include "NodeNetwork.h"
#include "Replay.h"
#include "link/Checksum.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

using namespace nodesim;

namespace {

QList<QByteArray> Fields(const QByteArray& body) { return body.split(','); }

double Num(const QByteArray& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    EXPECT_TRUE(ok) << text.constData();
    return v;
}

int Decimals(const QByteArray& text)
{
    const qsizetype dot = text.indexOf('.');
    return dot < 0 ? 0 : int(text.size() - dot - 1);
}

} // namespace

TEST(NodeSimSentence, FramedSentencesCarryTheStationsCheck)
{
    NodeNetwork net(Role::Rover, false, 1);
    static const QRegularExpression shape(QStringLiteral(R"(^[^*\r\n]+\*[0-9A-F]{2}\r\n$)"));
    for (int i = 0; i < 50; ++i) {
        const QByteArray body = net.nextBody(i * 0.5);
        const QByteArray s = Frame(body);
        SCOPED_TRACE(s.constData());
        EXPECT_TRUE(shape.match(QString::fromLatin1(s)).hasMatch());
        EXPECT_TRUE(s.startsWith(body + '*'));
        EXPECT_TRUE(vt::VerifyChecksum(s));
    }
}

TEST(NodeSimReadings, PlausibleForEachNodeAndUnit)
{
    struct Case {
        Role role;
        bool imperial;
        QByteArray pingNode;  // empty: the cable node's own sentence
        QByteArray node, letter;
        double elevationM;
    };
    const Case cases[] = {
        { Role::Rover, false, "", "3", "R", 120 },
        { Role::Base, false, "", "3", "B", 120 },
        { Role::Rover, true, "", "3", "R", 120 },
        { Role::Rover, false, "1", "1", "T", 95 },
        { Role::Rover, false, "5", "5", "T", 140 },
        { Role::Rover, true, "7", "7", "T", 210 },
    };
    for (const Case& c : cases) {
        NodeNetwork net(c.role, c.imperial, 42);
        double lowest = 1e9, highest = -1e9;
        for (int i = 0; i < 120; ++i) {
            const double t = i * 5.0;  // ten minutes: a whole weather swing
            if (!c.pingNode.isEmpty()) {
                ASSERT_TRUE(net.applyCommand("9," + c.pingNode + "!"));
            }
            const QList<QByteArray> f = Fields(net.nextBody(t));
            SCOPED_TRACE(f.join(',').constData());
            ASSERT_EQ(f.size(), 6);
            if (c.pingNode.isEmpty() && f[2] == "T")
                continue;  // nodes 5 and 7 announcing themselves
            EXPECT_EQ(f[0], "12");
            EXPECT_EQ(f[1], c.node);
            EXPECT_EQ(f[2], c.letter);
            EXPECT_EQ(f[3], c.imperial ? "1" : "0");
            const double mb = Num(f[4]) / (c.imperial ? 0.0295299830714 : 1.0);
            const double m = Num(f[5]) * (c.imperial ? 0.3048 : 1.0);
            EXPECT_EQ(Decimals(f[4]), c.imperial ? 3 : 2);
            EXPECT_EQ(Decimals(f[5]), 1);
            EXPECT_GT(mb, 900.0);
            EXPECT_LT(mb, 1100.0);
            EXPECT_NEAR(mb, PressureAt(c.elevationM), 1.0);
            EXPECT_NEAR(m, c.elevationM, 8.0);
            // The elevation is the one the reported pressure stands for.
            EXPECT_NEAR(m, ElevationAt(mb), c.imperial ? 0.5 : 0.15);
            lowest = std::min(lowest, mb);
            highest = std::max(highest, mb);
        }
        // Weather and noise move the readings, but only by tenths of a millibar.
        EXPECT_GT(highest - lowest, 0.3);
        EXPECT_LT(highest - lowest, 2.0);
    }
}

TEST(NodeSimReadings, SameSeedSameReadings)
{
    NodeNetwork a(Role::Rover, false, 9), b(Role::Rover, false, 9), c(Role::Rover, false, 10);
    QByteArray sa, sb, sc;
    for (int i = 0; i < 20; ++i) {
        sa += a.nextBody(i);
        sb += b.nextBody(i);
        sc += c.nextBody(i);
    }
    EXPECT_EQ(sa, sb);
    EXPECT_NE(sa, sc);
}

TEST(NodeSimCommands, Responses)
{
    using Check = std::function<void(const QList<QByteArray>& first, const QList<QByteArray>& second)>;
    struct Case {
        const char* name;
        QList<QByteArray> commands;
        QList<bool> accepted;
        Check check;
    };
    const auto plainCable = [](const QList<QByteArray>& f) {
        ASSERT_EQ(f.size(), 6);
        EXPECT_EQ(f[0], "12");
        EXPECT_EQ(f[1], "3");
        EXPECT_EQ(f[2], "R");
        EXPECT_EQ(f[3], "0");
    };
    // D and A against node 5 (20 m above the cable node), datum value 100.
    const auto datumAgainst5 = [](const QList<QByteArray>& f, const char* letter, const char* sign) {
        ASSERT_EQ(f.size(), QByteArray(letter) == "A" ? 10 : 9);
        EXPECT_EQ(f[0], "12");
        EXPECT_EQ(f[1], "3");
        EXPECT_EQ(f[2], letter);
        EXPECT_EQ(f[3], sign);
        EXPECT_EQ(f[4], "0");
        EXPECT_EQ(Decimals(f[5]), 2);
        EXPECT_NEAR(Num(f[5]), PressureAt(120) - PressureAt(140), 0.3);
        EXPECT_EQ(f[6], "0");
        EXPECT_EQ(f[7], "100.00");
        EXPECT_EQ(Decimals(f[8]), 1);
        EXPECT_NEAR(Num(f[8]), 100.0 + 120 - 140, 3.0);
    };
    const Case cases[] = {
        { "ping 5", { "9,5!" }, { true },
          [&](auto& f, auto& g) {
              ASSERT_EQ(f.size(), 6);
              EXPECT_EQ(f[0], "12");
              EXPECT_EQ(f[1], "5");
              EXPECT_EQ(f[2], "T");
              EXPECT_NEAR(Num(f[5]), 140.0, 8.0);
              plainCable(g);  // once only
          } },
        { "ping 1 then 7 in order", { "9,1!", "9,7!" }, { true, true },
          [&](auto& f, auto& g) {
              EXPECT_EQ(f.mid(1, 2), (QList<QByteArray> { "1", "T" }));
              EXPECT_EQ(g.mid(1, 2), (QList<QByteArray> { "7", "T" }));
          } },
        { "ping unknown node 9", { "9,9!" }, { false }, [&](auto& f, auto& g) { plainCable(f); plainCable(g); } },
        { "NetID", { "1,44!" }, { true }, [&](auto& f, auto&) { EXPECT_EQ(f.mid(0, 3), (QList<QByteArray> { "44", "3", "R" })); } },
        { "NodeID, then pinged under it", { "2,8!", "9,8!" }, { true, true },
          [&](auto& f, auto& g) {
              EXPECT_EQ(f.mid(0, 3), (QList<QByteArray> { "12", "8", "T" }));
              EXPECT_EQ(g.mid(0, 3), (QList<QByteArray> { "12", "8", "R" }));
          } },
        { "imperial", { "3,1!" }, { true },
          [&](auto& f, auto&) {
              ASSERT_EQ(f.size(), 6);
              EXPECT_EQ(f[3], "1");
              EXPECT_NEAR(Num(f[4]), PressureAt(120) * 0.0295299830714, 0.03);
              EXPECT_NEAR(Num(f[5]), 120 / 0.3048, 25.0);
          } },
        { "imperial and back", { "3,1!", "3,0!" }, { true, true }, [&](auto& f, auto&) { plainCable(f); } },
        { "datum", { "4,100,5!" }, { true },
          [&](auto& f, auto& g) {
              datumAgainst5(f, "D", "1");
              datumAgainst5(g, "D", "1");
          } },
        { "adjust", { "4,100,5!", "5!" }, { true, true },
          [&](auto& f, auto&) {
              datumAgainst5(f, "A", "1");
              ASSERT_EQ(f.size(), 10);
              EXPECT_EQ(Decimals(f[9]), 2);
              EXPECT_NEAR(Num(f[9]), (120.0 - 140.0) - 100.0, 3.0);
          } },
        { "resume", { "4,100,5!", "5!", "7!" }, { true, true, true }, [&](auto& f, auto&) { datumAgainst5(f, "D", "1"); } },
        { "reset forgets the datum", { "4,100,5!", "5!", "6!", "5!", "7!" }, { true, true, true, false, false },
          [&](auto& f, auto&) { plainCable(f); } },
        { "inverse on", { "8,1!", "4,100,5!" }, { true, true }, [&](auto& f, auto&) { datumAgainst5(f, "D", "-1"); } },
        { "inverse off", { "8,1!", "8,0!", "4,100,5!" }, { true, true, true },
          [&](auto& f, auto&) { datumAgainst5(f, "D", "1"); } },
        { "ping while on a datum", { "4,100,5!", "9,7!" }, { true, true },
          [&](auto& f, auto& g) {
              EXPECT_EQ(f.mid(0, 3), (QList<QByteArray> { "12", "7", "T" }));
              datumAgainst5(g, "D", "1");
          } },
        { "malformed and unknown ignored",
          { "!", "x!", "0!", "3,2!", "1,!", "1,abc!", "4,100!", "4,abc,5!", "4,100,9!", "5!", "7!", "6,1!", "8!", "9,5,1!" },
          { false, false, false, false, false, false, false, false, false, false, false, false, false, false },
          [&](auto& f, auto& g) {
              plainCable(f);
              plainCable(g);
          } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NodeNetwork net(Role::Rover, false, 5);
        net.nextBody(0.0);
        for (int i = 0; i < c.commands.size(); ++i)
            EXPECT_EQ(net.applyCommand(c.commands[i]), c.accepted[i]) << c.commands[i].constData();
        const QByteArray first = net.nextBody(1.0);
        const QByteArray second = net.nextBody(2.0);
        SCOPED_TRACE((first + " / " + second).constData());
        c.check(Fields(first), Fields(second));
    }
}

TEST(NodeSimCommands, Nodes5And7AnnounceSoonAfterStartThenEvery30Seconds)
{
    NodeNetwork net(Role::Rover, false, 3);
    QList<QPair<double, QByteArray>> announced;
    for (double t = 0.0; t < 95.0; t += 0.5)
        if (const QList<QByteArray> f = Fields(net.nextBody(t)); f[2] == "T")
            announced.append({ t, f[1] });
    const QList<QPair<double, QByteArray>> expected {
        { 5.0, "5" }, { 5.5, "7" }, { 30.0, "5" }, { 30.5, "7" }, { 60.0, "5" }, { 60.5, "7" }, { 90.0, "5" }, { 90.5, "7" }
    };
    EXPECT_EQ(announced, expected);
}

// The station only offers its Adjust command once a node reports an adjustment, so the
// simulated node can start one by itself: once per datum, a set time after it.
TEST(NodeSimCommands, AutoAdjustStartsOncePerDatum)
{
    NodeNetwork net(Role::Rover, false, 5);
    net.setAutoAdjust(2.0);
    // The cable node's own record at time t, past any announcements queued then.
    const auto letterAt = [&](double t) {
        QByteArray letter;
        for (int i = 0; i < 5 && (letter.isEmpty() || letter == "T"); ++i)
            letter = Fields(net.nextBody(t)).value(2);
        return letter;
    };
    EXPECT_EQ(letterAt(1.0), "R") << "no datum, nothing to adjust";
    ASSERT_TRUE(net.applyCommand("4,100,5!"));
    EXPECT_EQ(letterAt(10.0), "D");
    EXPECT_EQ(letterAt(11.0), "D");
    EXPECT_EQ(letterAt(12.0), "A");
    ASSERT_TRUE(net.applyCommand("7!"));
    EXPECT_EQ(letterAt(20.0), "D") << "resumed: the same datum does not adjust again";
    ASSERT_TRUE(net.applyCommand("4,50,5!"));
    EXPECT_EQ(letterAt(21.0), "D");
    EXPECT_EQ(letterAt(23.0), "A") << "a new datum adjusts again";
}

TEST(NodeSimCommands, SplitterCutsTheStreamAtBang)
{
    CommandSplitter s;
    EXPECT_EQ(s.feed("9,7!1,4"), (QList<QByteArray> { "9,7!" }));
    EXPECT_EQ(s.feed("4!\r\n3,1!5!"), (QList<QByteArray> { "1,44!", "3,1!", "5!" }));
    EXPECT_TRUE(s.feed("6").isEmpty());
    EXPECT_EQ(s.feed("!"), (QList<QByteArray> { "6!" }));
}

TEST(NodeSimReplay, LogLines)
{
    const QByteArray sentence = "12,3,R,0,1000.12,120.3*4F";
    struct Case {
        QByteArray line;
        double seconds;  // < 0: not a logged sentence
        QByteArray text;
    };
    const Case cases[] = {
        { "05/01/2024 17:02:03," + sentence + "\r\n", 61323, sentence },
        { "2024-01-05 7:02:03," + sentence, 25323, sentence },
        { "05.01.2024 17:02," + sentence, 61320, sentence },
        { "05 01 2024 17:02:03," + sentence + "\n", 61323, sentence },
        { "Jan 5, 2024 5:02:03 PM," + sentence, 61323, sentence },
        { "1/5/24 12:10:00 AM," + sentence, 600, sentence },
        { "1/5/24 12:10:00 PM," + sentence, 43800, sentence },
        { "05/01/2024 17:02:03.250," + sentence, 61323.25, sentence },
        { "05/01/2024 17:02:03,text 18:00:00,more", 61323, "text 18:00:00,more" },
        { "no time here,12,3", -1, {} },
        { "05/01/2024 17:02:03 without a comma", -1, {} },
        { "05/01/2024 25:02:03," + sentence, -1, {} },
        { "", -1, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.constData());
        const auto got = ParseLogLine(c.line);
        ASSERT_EQ(got.has_value(), c.seconds >= 0);
        if (got) {
            EXPECT_DOUBLE_EQ(got->secondsOfDay, c.seconds);
            EXPECT_EQ(got->text, c.text);
        }
    }
}

TEST(NodeSimReplay, GapsBetweenLoggedTimes)
{
    EXPECT_DOUBLE_EQ(LogGap(100, 102.5), 2.5);
    EXPECT_DOUBLE_EQ(LogGap(86399, 1), 2);  // over midnight
    EXPECT_DOUBLE_EQ(LogGap(100, 99), 0);   // clock set back: no day-long wait
}

TEST(NodeSimFaults, ShapesKeepTheirPromises)
{
    LineFaults faults(11);
    NodeNetwork net(Role::Rover, false, 2);
    for (int i = 0; i < 300; ++i) {
        const QByteArray s = Frame(net.nextBody(i));
        const QByteArray bad = faults.wrongCheck(s);
        ASSERT_EQ(bad.size(), s.size());
        EXPECT_FALSE(vt::VerifyChecksum(bad)) << bad.constData();
        EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(\*[0-9A-F]{2}\r\n$)")).match(QString::fromLatin1(bad)).hasMatch());

        const QList<QByteArray> pieces = faults.split(s);
        EXPECT_GE(pieces.size(), 2);
        EXPECT_EQ(pieces.join(), s);
        for (const QByteArray& p : pieces)
            EXPECT_FALSE(p.isEmpty());

        const QByteArray stray = faults.stray();
        EXPECT_FALSE(stray.isEmpty());
        EXPECT_FALSE(stray.contains('\r'));
        for (const char c : stray)
            EXPECT_TRUE(quint8(c) < 32 || quint8(c) >= 128) << int(quint8(c));
    }
    const QByteArray garbage = faults.garbage(5000);
    EXPECT_EQ(garbage.size(), 5000);
    EXPECT_FALSE(garbage.contains('\r'));
}

namespace {

// Complete lines (CR LF removed) read from fd until done() says so or time runs out.
QList<QByteArray> ReadLines(int fd, QByteArray* buffer, const std::function<bool(const QList<QByteArray>&)>& done,
                            int timeoutMs)
{
    QList<QByteArray> lines;
    QElapsedTimer clock;
    clock.start();
    while (!done(lines) && clock.elapsed() < timeoutMs) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 20) <= 0)
            continue;
        char buf[1024];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            continue;
        buffer->append(buf, n);
        for (qsizetype end; (end = buffer->indexOf("\r\n")) >= 0;) {
            lines.append(buffer->left(end));
            buffer->remove(0, end + 2);
        }
    }
    return lines;
}

} // namespace

TEST(NodeSimTool, ServesTheLinkAnswersAPingAndEndsCleanly)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess sim;
    sim.start(QStringLiteral(NODESIM_PATH),
              { QStringLiteral("--folder"), dir.path(), QStringLiteral("--rate"), QStringLiteral("0.02"),
                QStringLiteral("--seed"), QStringLiteral("4") });
    ASSERT_TRUE(sim.waitForStarted(5000));
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains("ready /") && clock.elapsed() < 5000 && sim.state() == QProcess::Running)
        if (sim.waitForReadyRead(50))
            out += sim.readAllStandardOutput();
    ASSERT_TRUE(out.startsWith("ready /")) << out.constData() << sim.readAllStandardError().constData();

    const QByteArray link = QFile::encodeName(dir.filePath(QStringLiteral("com1")));
    const int fd = ::open(link.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << strerror(errno);
    termios tio {};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);

    QByteArray pending;
    const QList<QByteArray> first = ReadLines(fd, &pending, [](auto& l) { return l.size() >= 3; }, 3000);
    ASSERT_GE(first.size(), 3);
    for (const QByteArray& l : first) {
        EXPECT_TRUE(vt::VerifyChecksum(l)) << l.constData();
        EXPECT_TRUE(l.startsWith("12,3,R,0,")) << l.constData();
    }

    ASSERT_EQ(::write(fd, "9,5!", 4), 4);
    const auto isPingAnswer = [](const QByteArray& l) { return l.startsWith("12,5,T,0,") && vt::VerifyChecksum(l); };
    const QList<QByteArray> after = ReadLines(
        fd, &pending, [&](auto& l) { return !l.isEmpty() && isPingAnswer(l.last()); }, 3000);
    ASSERT_FALSE(after.isEmpty());
    EXPECT_TRUE(isPingAnswer(after.last())) << after.last().constData();

    static const QRegularExpression echo(QStringLiteral(R"(^\d\d:\d\d:\d\d\.\d{3} 9,5!$)"),
                                         QRegularExpression::MultilineOption);
    clock.restart();
    while (!echo.match(QString::fromLatin1(out)).hasMatch() && clock.elapsed() < 3000)
        if (sim.waitForReadyRead(50))
            out += sim.readAllStandardOutput();
    EXPECT_TRUE(echo.match(QString::fromLatin1(out)).hasMatch()) << out.constData();

    sim.terminate();  // SIGTERM
    ASSERT_TRUE(sim.waitForFinished(3000));
    ::close(fd);
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().constData();
    struct stat st {};
    EXPECT_NE(::lstat(link.constData(), &st), 0) << "com1 link left behind";
}

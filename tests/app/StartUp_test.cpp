// Start-up from settings.txt, and the end of the program when the window closes.
#include "support/Station.h"

#include "app/TermSignals.h"
#include "link/SerialPort.h"

#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A station whose settings.txt holds the given bytes (nothing when absent), with com3
// linked to a pseudo-terminal and com7 a link to nothing.
struct StartCase {
    const char* legend;
    std::optional<QByteArray> settings;
    bool starts;
    int port;
    const char* says = "";  // part of the start-up error
};

TEST(StartUp, SettingsFileTable)
{
    const StartCase cases[] = {
        { "plain number", "3", true, 3 },
        { "spaces around, further lines ignored", " 3 \r\nrubbish\r\n7\r\n", true, 3 },
        { "line feed only line end", "3\nx", true, 3 },
        { "half goes to even", "2.5", true, 2 },
        { "fraction to nearest", "3.4\r\n", true, 3 },
        { "missing file", std::nullopt, false, 0, "Cannot read the settings file" },
        { "empty file", "", false, 0, "settings.txt is empty; its first line must hold" },
        { "empty first line", "\r\n3\r\n", false, 0, "settings.txt is empty; it must hold" },
        { "empty first line ended by a line feed", "\n3\r\n", false, 0, "settings.txt is empty; it must hold" },
        { "not a number", "COM3\r\n", false, 0, "is not a number: \"COM3\"" },
        { "number with trailing text", "3x", false, 0, "is not a number: \"3x\"" },
        { "above the 16-bit range", "70000", false, 70000, "70000 is outside the range -32768 to 32767" },
        { "below the 16-bit range", "-40000", false, -40000, "-40000 is outside the range" },
        { "16-bit range, top edge", "32767", false, 32767, "/dev/ttyS32766: no such device" },
        { "16-bit range, bottom edge", "-32768", false, -32768, "No such serial port: COM-32768" },
        { "largest whole number", "2147483647", false, 2147483647, "outside the range" },
        { "smallest whole number", "-2147483648", false, -2147483647 - 1, "outside the range" },
        { "too large for a whole number", "1e12", false, 0, "The port number 1e12 in the settings file is too large" },
        { "no port below 1", "0", false, 0, "No such serial port: COM0" },
        { "a port that cannot be opened", "7", false, 7, "com7: no such device" },
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.legend);
        Station s(false);
        s.pty.linkAs(s.folder.path(), 2);
        QFile::link(QStringLiteral("/nonexistent/ventholm-test-device"), s.folder.file(QStringLiteral("com7")));
        QFile::remove(s.folder.file(QStringLiteral("settings.txt")));
        if (c.settings)
            s.folder.writeFile(QStringLiteral("settings.txt"), *c.settings);
        EXPECT_FALSE(s.w->Timer1->isActive()) << "no tick before start-up";
        const QString error = s.w->Form_Load();
        EXPECT_EQ(error.isEmpty(), c.starts) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.says))) << error.toStdString();
        EXPECT_EQ(s.w->Timer1->isActive(), c.starts) << "the tick runs only after a good start-up";
        EXPECT_EQ(s.w->MSComm1->portOpen(), c.starts);
        if (c.port != 0) {
            EXPECT_EQ(s.w->PortNumber, c.port);
        }
    }
}

TEST(StartUp, UnreadableSettingsFileStopsStartUp)
{
    Station s(false);
    QFile::remove(s.folder.file(QStringLiteral("settings.txt")));
    ASSERT_TRUE(QDir().mkdir(s.folder.file(QStringLiteral("settings.txt"))));
    EXPECT_FALSE(s.w->Form_Load().isEmpty());
}

TEST(StartUp, StartStateAndNothingSent)
{
    Station s(false);
    s.pty.write("tail of an old sentence*00\r\n");  // waiting before start-up: discarded
    s.w->SuppressOptionCommands = true;
    s.w->optUnitsMetric->setChecked(true);
    s.w->SuppressOptionCommands = false;
    ASSERT_TRUE(s.w->Form_Load().isEmpty());
    s.w->Timer1->stop();  // the test reads the line itself

    EXPECT_EQ(s.w->DatumNodeId, QStringLiteral("-1"));
    EXPECT_FALSE(s.w->optUnitsMetric->isChecked());
    EXPECT_FALSE(s.w->optUnitsImperial->isChecked());
    EXPECT_TRUE(s.w->ReceiveBuffer.isEmpty());
    EXPECT_TRUE(s.sent(50).isEmpty()) << "clearing the units options runs no handler";

    s.send("A,1");
    quint8 got = 0;
    s.w->ReadSentence(5, got);
    EXPECT_EQ(got, 1) << "the old input was discarded, so the first line is the new sentence";
}

// The real end-of-program path runs in a child process: closing the window while the
// tick waits for a sentence must end the program there and then.
TEST(ShutdownDeathTest, ClosingWhileTheTickWaitsEndsTheProgramAtOnce)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    ProgramFolder folder;
    PtyPair pty;
    pty.linkAs(folder.path(), 3);
    folder.writeFile(QStringLiteral("settings.txt"), "3\r\n");
    EXPECT_EXIT(
        {
            auto clock = std::make_shared<FakeClock>();
            clock->autoAdvance = false;
            frmMain w(folder.path(), clock, [](const QString&) {});
            if (!w.Form_Load().isEmpty())
                std::_Exit(2);
            w.Timer1->stop();
            w.cboDatumNodeID->addItem(QStringLiteral("5"));
            QTimer::singleShot(0, &w, [&] {
                pty.write(sentence("12,3,R,0,1013.25,120.5"));
                w.close();
            });
            w.AcquisitionTick();
            std::fputs("the tick went on after the window closed\n", stderr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(pty.read(50).isEmpty()) << "no ping after the close";
    EXPECT_EQ(folder.readFile(QStringLiteral("log.txt")).count('\n'), 1)
        << "the sentence that had arrived is logged on the way out, once";
}

// Closing the window and the three termination signals end the station alike: the whole
// good lines already received are logged, the port is closed, and nothing else runs.
TEST(Shutdown, CloseAndSignalsLogWhatWasReceived)
{
    const std::pair<const char*, int> ends[] = { { "close", 0 }, { "SIGTERM", SIGTERM }, { "SIGINT", SIGINT },
                                                 { "SIGHUP", SIGHUP } };
    for (const auto& [name, signal] : ends) {
        SCOPED_TRACE(name);
        Station s;
        s.w->cboDatumNodeID->addItem(QStringLiteral("5"));
        ASSERT_TRUE(vt::CallOnTerminationSignals([&s] { s.w->Shutdown(); }));
        // A stray carriage return after the bad line must not end the taking.
        const QByteArray waiting = "tail*00\r\r\n" + sentence("12,3,R,0,1013.25,120.5") + sentence("12,3,R,0,1013.26,120.5");
        const QByteArray taken = sentence("12,3,B,0,1001.00,120.5");  // taken from the port, not yet split
        s.pty.write(taken);
        ASSERT_TRUE(s.waitForPort(int(taken.size())));
        // Still on the line when the end comes.
        s.pty.write(waiting + "12,3,R,0,10");
        if (signal == 0)
            s.w->close();
        else
            ::kill(::getpid(), signal);
        QElapsedTimer t;
        t.start();
        while (s.endCalls == 0 && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

        EXPECT_EQ(s.endCalls, 1);
        EXPECT_FALSE(s.w->MSComm1->portOpen());
        const QByteArray log = s.log();
        EXPECT_EQ(log.count('\n'), 3) << log.toStdString();
        EXPECT_TRUE(log.contains(",12,3,B,0,1001.00,120.5*"));
        EXPECT_TRUE(log.contains(",12,3,R,0,1013.26,120.5*"));
        EXPECT_FALSE(log.contains("tail")) << "a line with a bad check is not logged on the way out either";
        EXPECT_TRUE(s.pty.read(30).isEmpty()) << "no ping, no command: nothing is dispatched";
        vt::CallOnTerminationSignals({});
    }
}


// Two stations whose links lead to one device: as root nothing but the station's own
// lock keeps the second off, and sharing would split the sentences between the logs.
TEST(StartUp, SecondStationOnTheSameDeviceIsRefused)
{
    struct Row {
        const char* legend;
        bool throughFirstLink;  // com3 -> the first station's com3 -> the device
    };
    const Row rows[] = {
        { "another folder's com3 leads to the device", false },
        { "another folder's com3 leads to the first station's link", true },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.legend);
        SCOPED_TRACE(::geteuid() == 0 ? "as root" : "as a user");
        Station first;
        ASSERT_TRUE(first.startError.isEmpty()) << first.startError.toStdString();
        Station second(false);
        const QString link = second.folder.file(QStringLiteral("com3"));
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(r.throughFirstLink ? first.folder.file(QStringLiteral("com3")) : first.pty.slavePath(), link));

        const QString error = second.w->Form_Load();
        EXPECT_TRUE(error.contains(QLatin1String("in use by another station"))) << error.toStdString();
        EXPECT_TRUE(error.contains(first.pty.slavePath())) << error.toStdString();
        EXPECT_FALSE(second.w->MSComm1->portOpen());

        // The first keeps every sentence.
        deliver(first, "12,3,B,0,1013.25,120.5");
        EXPECT_TRUE(first.log().contains("12,3,B,0,1013.25,120.5"));

        // Its lock goes with it.
        first.w->MSComm1->setPortOpen(false);
        EXPECT_TRUE(second.w->Form_Load().isEmpty());
    }
}

// What a screen reader gets from the status line at each step of a lost line, and a
// command clicked meanwhile that must never reach the node.
TEST(StartUp, LineLostNoticesAndCommandsNotSent)
{
    Station s;
    ASSERT_TRUE(s.startError.isEmpty()) << s.startError.toStdString();
    s.w->MSComm1->setReopenInterval(5);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(s.w->lblStatus);
    ASSERT_NE(reader, nullptr);
    const auto pumpUntil = [](auto done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 2000) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        return done();
    };
    const auto heard = [&] { return reader->text(QAccessible::Name); };

    s.pty.closeMaster();
    ASSERT_TRUE(pumpUntil([&] { return !s.w->lblStatus->isHidden(); }));
    EXPECT_EQ(heard(), QStringLiteral("Serial line lost: adapter unplugged or line hung up; reopening"));
    EXPECT_EQ(s.w->lblStatus->text(), heard());

    s.w->cmdReset_Click();
    s.w->cmdReset_Click();
    s.w->cmdResume_Click();
    EXPECT_EQ(heard(), QStringLiteral("Serial line lost: adapter unplugged or line hung up; reopening. "
                                      "Not sent: reset (6!), resume (7!)"));
    EXPECT_TRUE(s.messages.isEmpty()) << "no dialog in the operator's way";

    PtyPair replugged;
    ASSERT_TRUE(replugged.linkAs(s.folder.path(), Station::kPort));
    ASSERT_TRUE(pumpUntil([&] { return s.w->MSComm1->portOpen(); }));
    EXPECT_TRUE(s.w->lblStatus->isHidden());
    EXPECT_TRUE(heard().isEmpty());
    EXPECT_TRUE(replugged.read(100).isEmpty()) << "nothing of the reset or resume goes out late";
    s.w->cmdReset_Click();
    EXPECT_EQ(replugged.read(), "6!");
}

} // namespace

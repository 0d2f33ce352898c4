// Start-up from settings.txt, and the end of the program when the window closes.
#include "support/Station.h"

#include "link/SerialPort.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

// A station whose settings.txt holds the given bytes (nothing when absent), with com3
// linked to a pseudo-terminal and com7 a link to nothing.
struct StartCase {
    const char* legend;
    std::optional<QByteArray> settings;
    bool starts;
    int port;
};

TEST(StartUp, SettingsFileTable)
{
    const StartCase cases[] = {
        { "plain number", "3", true, 3 },
        { "spaces around, further lines ignored", " 3 \r\nrubbish\r\n7\r\n", true, 3 },
        { "line feed only line end", "3\nx", true, 3 },
        { "half goes to even", "2.5", true, 2 },
        { "fraction to nearest", "3.4\r\n", true, 3 },
        { "missing file", std::nullopt, false, 0 },
        { "empty file", "", false, 0 },
        { "empty first line", "\r\n3\r\n", false, 0 },
        { "not a number", "COM3\r\n", false, 0 },
        { "number with trailing text", "3x", false, 0 },
        { "above the 16-bit range", "70000", false, 70000 },
        { "below the 16-bit range", "-40000", false, -40000 },
        { "too large for a whole number", "1e12", false, 0 },
        { "no port below 1", "0", false, 0 },
        { "a port that cannot be opened", "7", false, 7 },
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
    EXPECT_FALSE(QFile::exists(folder.file(QStringLiteral("log.txt"))));
}

} // namespace

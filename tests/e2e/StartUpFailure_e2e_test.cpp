// Start-up failures of the station executable on a real X server (Xvfb): the message box
// comes before any window, and answering it ends the program with a failure code.
#include "E2eProcesses.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct StartUpCase {
    const char* name;
    const char* settings;  // nullptr: no settings.txt at all
    bool danglingCom9 = false;
};

class StartUpUnderX : public ::testing::TestWithParam<StartUpCase> {
protected:
    static void SetUpTestSuite()
    {
        s_display.clear();
        s_xvfbError.clear();
        if (!toolsPresent())
            return;
        s_xvfb = new QProcess;
        // -displayfd makes the server pick a free display and print its number; -noreset
        // keeps it from resetting whenever its last client leaves, when a station just
        // starting could find no server to connect to.
        s_xvfb->start(QStringLiteral("Xvfb"), { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                                                QStringLiteral("-nolisten"),
                                                QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                                QStringLiteral("800x600x24") });
        QByteArray out;
        e2e::WaitUntil([&] {
            out += s_xvfb->readAllStandardOutput();
            return out.contains('\n') || s_xvfb->state() == QProcess::NotRunning;
        }, 10000);
        bool ok = false;
        const int display = out.trimmed().toInt(&ok);
        if (ok)
            s_display = QStringLiteral(":%1").arg(display);
        else
            s_xvfbError = QString::fromLocal8Bit(out + s_xvfb->readAllStandardError());
    }

    static void TearDownTestSuite()
    {
        if (s_xvfb)
            e2e::EndProcess(*s_xvfb, SIGTERM, 3000);
        delete s_xvfb;
        s_xvfb = nullptr;
    }

    void SetUp() override
    {
        if (!toolsPresent())
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        ASSERT_FALSE(s_display.isEmpty()) << "Xvfb did not come up: " << s_xvfbError.toStdString();
        QString why;
        ASSERT_TRUE(station.install(&why)) << why.toStdString();
    }

    static bool toolsPresent()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
            && !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
    }

    // Runs xdotool on the test display; its standard output, one entry a line.
    static QStringList xdotool(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), s_display);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(1000);
            return {};
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // Visible windows whose title matches the pattern exactly.
    static QStringList windowsTitled(const QString& pattern)
    {
        return xdotool({ QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                         QLatin1Char('^') + pattern + QLatin1Char('$') });
    }

    bool startStation()
    {
        QString why;
        const bool ok = station.start({ QStringLiteral("DISPLAY=") + s_display, QStringLiteral("QT_QPA_PLATFORM=xcb") }, &why);
        EXPECT_TRUE(ok) << why.toStdString();
        return ok;
    }

    // The station's own window with this title, once it shows; empty when it does not
    // within the time or the station ends first.
    QString waitForWindow(const QString& pattern)
    {
        QString found;
        e2e::WaitUntil([&] {
            for (const QString& id : windowsTitled(pattern))
                if (xdotool({ QStringLiteral("getwindowpid"), id }).value(0).toLongLong() == station.pid())
                    found = id;
            return !found.isEmpty() || !station.running();
        }, 10000, 50);
        return found;
    }

    static QProcess* s_xvfb;
    static QString s_display;
    static QString s_xvfbError;
    e2e::StationRun station;
};

QProcess* StartUpUnderX::s_xvfb = nullptr;
QString StartUpUnderX::s_display;
QString StartUpUnderX::s_xvfbError;

// The same display for the control case, in a suite of its own.
class StartUpUnderXControl : public StartUpUnderX {};

const QString kBoxTitle = QStringLiteral("Ventholm");
const QString kMainTitle = QStringLiteral("Ventholm v 1\\.5");

} // namespace

TEST_P(StartUpUnderX, ShowsTheErrorBeforeAnyWindowAndEndsWithAFailureCode)
{
    const StartUpCase& c = GetParam();
    if (c.settings) {
        ASSERT_TRUE(station.writeFile(QStringLiteral("settings.txt"), c.settings));
    }
    if (c.danglingCom9) {
        ASSERT_EQ(::symlink("/nonexistent/ventholm-adapter", QFile::encodeName(station.file(QStringLiteral("com9"))).constData()), 0);
    }
    ASSERT_TRUE(startStation());

    const QString box = waitForWindow(kBoxTitle);
    ASSERT_FALSE(box.isEmpty()) << "no message box; station " << (station.running() ? "running" : "ended")
                                << ", stderr: " << station.process().readAllStandardError().toStdString();
    EXPECT_TRUE(windowsTitled(kMainTitle).isEmpty()) << "the main window shows although start-up failed";
    EXPECT_TRUE(station.running()) << "the program ended without waiting for the box to be answered";

    // There is no window manager to give the box the focus, so give it ourselves and
    // press the key as a user would (a key sent to an unfocused window is not typed).
    xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), box });
    xdotool({ QStringLiteral("key"), QStringLiteral("Return") });
    ASSERT_TRUE(station.process().waitForFinished(5000)) << "answering the box did not end the program";
    EXPECT_EQ(station.process().exitStatus(), QProcess::NormalExit);
    EXPECT_NE(station.process().exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, StartUpUnderX,
    ::testing::Values(StartUpCase { "no_settings_file", nullptr }, StartUpCase { "empty_file", "" },
                      StartUpCase { "not_a_number", "abc\r\n" }, StartUpCase { "beyond_16_bits", "70000\r\n" },
                      StartUpCase { "port_0", "0\r\n" }, StartUpCase { "no_device_behind_com9", "9\r\n", true }),
    [](const ::testing::TestParamInfo<StartUpCase>& info) { return std::string(info.param.name); });

// The control for the cases above: with a working port the main window shows and no box
// does, so the window search really tells the two apart.
TEST_F(StartUpUnderXControl, ShowsTheMainWindowAndNoBoxWhenStartUpWorks)
{
    e2e::NodeSim sim;
    QString why;
    ASSERT_TRUE(sim.start(station.folder(), 3, { QStringLiteral("--rate"), QStringLiteral("0.05"), QStringLiteral("--seed"),
                                                 QStringLiteral("1") }, &why))
        << why.toStdString();
    ASSERT_TRUE(station.writeFile(QStringLiteral("settings.txt"), "3\r\n"));
    ASSERT_TRUE(startStation());
    EXPECT_FALSE(waitForWindow(kMainTitle).isEmpty()) << "the main window never showed";
    EXPECT_TRUE(windowsTitled(kBoxTitle).isEmpty());
    EXPECT_TRUE(station.running());
    station.stop();
}

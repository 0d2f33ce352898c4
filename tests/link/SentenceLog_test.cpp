// log.txt: one line per good sentence, and a failing log that stops nothing.
#include "support/Station.h"

#include "link/LogFile.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

constexpr char kStamp[] = "08/12/2026 17:52:19,";

QByteArray highBytes()
{
    QByteArray b;
    for (int c = 127; c <= 255; ++c)
        b.append(char(c));
    return b;
}

TEST(SentenceLog, LineFormat)
{
    struct Row {
        const char* legend;
        QByteArray handed;
        QByteArray written;
    };
    const Row rows[] = {
        { "sentence with its carriage return", "X,1,2*03\r", "X,1,2*03" },
        { "leading line feed left from the previous sentence", "\nX,1,2*03\r", "X,1,2*03" },
        { "space before the carriage return stays", "X,1,2*03 \r", "X,1,2*03 " },
        { "space after a leading line feed stays", "\n X,1,2*03\r", " X,1,2*03" },
        { "leading space at the very start is removed", " X,1,2*03\r", "X,1,2*03" },
        { "tab is dropped", "A\tB*03\r", "AB*03" },
        { "bytes 127 to 255 are written unchanged", highBytes() + "\r", highBytes() },
        { "empty text still gives a line", "", "" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.legend);
        Station s(false);
        s.w->LogSentence(row.handed);
        EXPECT_EQ(s.log(), kStamp + row.written + "\r\n");
        EXPECT_TRUE(s.w->LogFailure.isEmpty());
    }
}

TEST(SentenceLog, AppendsInOrderAndNeverChangesEarlierLines)
{
    Station s(false);
    s.folder.writeFile(QStringLiteral("log.txt"), "earlier line\r\n");
    s.w->LogSentence("A*00\r");
    s.clock->time = QStringLiteral("17:52:20");
    s.w->LogSentence("B*00\r");
    EXPECT_EQ(s.log(), QByteArray("earlier line\r\n") + kStamp + "A*00\r\n08/12/2026 17:52:20,B*00\r\n");
}

// CI runs as root, where permissions stop nothing: a folder in the file's place and a
// full device make the failures real.
TEST(SentenceLog, FailureIsShownOnceAndLoggingResumesByItself)
{
    Station s(false);
    const QString logPath = s.folder.file(QStringLiteral("log.txt"));
    ASSERT_TRUE(QDir().mkdir(logPath));

    ::testing::internal::CaptureStderr();
    s.w->LogSentence("A*00\r");
    s.w->LogSentence("B*00\r");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(s.w->LogFailure.isEmpty());
    EXPECT_FALSE(s.w->lblStatus->isHidden()) << "the operator sees the failure without a dialog";
    EXPECT_TRUE(s.w->lblStatus->text().contains(QStringLiteral("log.txt")));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line per failure episode: " << err;
    EXPECT_TRUE(s.messages.isEmpty());

    // A new reason within the same failure is shown, not announced again.
    ASSERT_TRUE(QDir().rmdir(logPath));
    ASSERT_TRUE(QFile::link(s.folder.file(QStringLiteral("gone/log.txt")), logPath));
    ::testing::internal::CaptureStderr();
    s.w->LogSentence("B*00\r");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(s.w->lblStatus->text().contains(QString::fromLocal8Bit(std::strerror(ENOENT))))
        << s.w->lblStatus->text().toStdString();

    EXPECT_TRUE(s.w->lblStatus->text().contains(QStringLiteral("3 lines wait"))) << s.w->lblStatus->text().toStdString();

    // The lines that waited go first, in order and with the times they came.
    ASSERT_TRUE(QFile::remove(logPath));
    s.clock->time = QStringLiteral("17:52:25");
    ::testing::internal::CaptureStderr();
    s.w->LogSentence("C*00\r");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ventholm: logging to log.txt works again\n");
    EXPECT_TRUE(s.w->LogFailure.isEmpty());
    EXPECT_TRUE(s.w->lblStatus->isHidden());
    EXPECT_EQ(s.log(), QByteArray(kStamp) + "A*00\r\n" + kStamp + "B*00\r\n" + kStamp + "B*00\r\n"
                           + "08/12/2026 17:52:25,C*00\r\n");
}

// A write the disk stops part-way leaves no torn line: the log is cut back to where the
// write started, and the line is written whole once there is room again. A size limit on
// the process stops the write the way a full disk does.
TEST(SentenceLog, AWriteStoppedPartWayLeavesNoTornLine)
{
    Station s(false);
    const QByteArray sentence(60, 'x');
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 40;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    ::testing::internal::CaptureStderr();
    s.w->LogSentence(sentence + "\r");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(s.w->LogFailure.startsWith(QStringLiteral("Cannot write"))) << s.w->LogFailure.toStdString();
    EXPECT_TRUE(s.log().isEmpty()) << "torn: " << s.log().toStdString();

    s.w->LogSentence("B*00\r");
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.log(), kStamp + sentence + "\r\n" + kStamp + "B*00\r\n");
}

// The close tries the waiting lines once more and names on standard error those it
// could not write, from the first one's time to the last one's.
TEST(SentenceLog, LinesThatCannotBeWrittenAreNamedOnTheWayOut)
{
    Station s(false);
    ASSERT_TRUE(QDir().mkdir(s.folder.file(QStringLiteral("log.txt"))));
    ::testing::internal::CaptureStderr();
    s.w->LogSentence("A*00\r");
    s.clock->time = QStringLiteral("17:53:02");
    s.w->LogSentence("B*00\r");
    s.w->Shutdown();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(s.endCalls, 1);
    EXPECT_NE(err.find("2 received lines could not be written to log.txt"), std::string::npos) << err;
    EXPECT_NE(err.find("from 08/12/2026 17:52:19 to 08/12/2026 17:53:02"), std::string::npos) << err;
}

// Lines come faster than a sync a second: the first is synced at once, the rest share
// one sync a second later, which also comes when the line has gone quiet. A failing sync
// is a log failure like a failing write.
TEST(SentenceLog, SyncedWithinASecondAtMostOnceASecond)
{
    Station s(false);
    int syncs = 0;
    bool syncWorks = true;
    s.w->logFile().setSync([&](int) {
        ++syncs;
        errno = EIO;
        return syncWorks;
    });
    const auto* timer = s.w->findChild<QTimer*>(QStringLiteral("logTimer"));
    ASSERT_NE(timer, nullptr);
    for (const char* line : { "A*00\r", "B*00\r", "C*00\r" })
        s.w->LogSentence(line);
    EXPECT_EQ(syncs, 1);
    EXPECT_EQ(s.log().count('\n'), 3) << "written at once, synced later";
    EXPECT_TRUE(timer->isActive()) << "a sync is due for the last two";
    s.clock->ms = 999;
    s.w->FlushLog();
    EXPECT_EQ(syncs, 1) << "not before a second has passed";
    s.clock->ms = 1000;
    s.w->FlushLog();
    EXPECT_EQ(syncs, 2);
    EXPECT_FALSE(timer->isActive()) << "nothing left to sync";
    s.clock->seconds += 5;
    s.w->FlushLog();
    EXPECT_EQ(syncs, 2) << "a quiet line costs no sync";

    syncWorks = false;
    ::testing::internal::CaptureStderr();
    s.w->LogSentence("D*00\r");
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(s.w->LogFailure.startsWith(QStringLiteral("Cannot sync"))) << s.w->LogFailure.toStdString();
    EXPECT_TRUE(timer->isActive()) << "the sync is tried again";
}

TEST(SentenceLog, FullDeviceIsAWriteFailure)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full here";
    Station s(false);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), s.folder.file(QStringLiteral("log.txt"))));
    ::testing::internal::CaptureStderr();
    s.w->LogSentence("A*00\r");
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(s.w->LogFailure.contains(QStringLiteral("write"))) << s.w->LogFailure.toStdString();
}

} // namespace

// The receiver against a real pseudo-terminal, opened through the com<N> link.
#include "support/Station.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

struct ReceiveCase {
    const char* legend;
    QByteArray before;             // already in ReceiveBuffer when the call starts
    QList<QByteArray> reads;       // what arrives, each piece a separate write
    bool timesOut;                 // the clock runs on by itself while waiting
    quint8 got;
    QList<QByteArray> fields;      // entries 0.. (the rest must be empty)
    QByteArray left;               // ReceiveBuffer afterwards
    QByteArray logged;             // log.txt lines after "date time,", joined by '\n': every good line that came
};

QByteArray repeat(char c, int n) { return QByteArray(n, c); }

QList<QByteArray> numbered(int n)
{
    QList<QByteArray> out;
    for (int i = 0; i < n; ++i)
        out << QByteArray::number(i);
    return out;
}

QByteArray joined(const QList<QByteArray>& parts) { return parts.join(','); }

const QList<ReceiveCase>& cases()
{
    static const QList<ReceiveCase> table {
        { "sentence and line feed in one read", {}, { "X,1,2*03\r\n" }, false, 1, { "X", "1", "2" }, "\n", "X,1,2*03" },
        { "kept line feed is skipped", "\n", { "X,1,2*03\r" }, false, 1, { "X", "1", "2" }, "", "X,1,2*03" },
        { "split across several reads", {}, { "X,1", ",2*0", "3\r" }, false, 1, { "X", "1", "2" }, "", "X,1,2*03" },
        { "two sentences in one read keeps the second", {}, { sentence("A,1") + sentence("B,2") }, false, 1,
          { "A", "1" }, "\n" + sentence("B,2"), "A,1*" + vt::ChecksumText("A,1") + "\nB,2*" + vt::ChecksumText("B,2") },
        { "bad check drops its own line and keeps the good sentence behind it", {}, { "X,1,2*04\rX,1,2*03\r" },
          false, 0, {}, "X,1,2*03\r", "X,1,2*03" },
        { "single hex digit is a bad check", {}, { "X,1,2*3\r\n" }, false, 0, {}, "\n", "" },
        { "whole line already waiting is taken without a new character (it was logged when it came)", sentence("W,1"),
          {}, false, 1, { "W", "1" }, "\n", "" },
        { "no star is a bad check", {}, { "X,1,2\r" }, false, 0, {}, "", "" },
        { "time-out keeps the partial sentence", {}, { "X,1,2*0" }, true, 0, {}, "X,1,2*0", "" },
        { "time-out with nothing at all", {}, {}, true, 0, {}, "", "" },
        { "NUL dropped, tab kept in its field", {}, { sentence(QByteArray("A\0B,C\tD", 7)) }, false, 1,
          { "AB", "C\tD" }, "\n", "AB,CD*" + vt::ChecksumText("AB,CD") },
        { "two commas give an empty field", {}, { sentence("A,,B") }, false, 1, { "A", "", "B" }, "\n",
          "A,,B*" + vt::ChecksumText("A,,B") },
        { "star first: all fields empty", {}, { "*2A\r" }, false, 1, {}, "", "*2A" },
        { "twenty fields fill every entry", {}, { sentence(joined(numbered(20))) }, false, 1, numbered(20), "\n",
          joined(numbered(20)) + '*' + vt::ChecksumText(joined(numbered(20))) },
        { "fields past the twentieth are ignored", {}, { sentence(joined(numbered(23))) }, false, 1, numbered(20),
          "\n", joined(numbered(23)) + '*' + vt::ChecksumText(joined(numbered(23))) },
        { "a long good line within the bound", {}, { sentence(repeat('x', 4000)) }, false, 1, { repeat('x', 4000) },
          "\n", repeat('x', 4000) + '*' + vt::ChecksumText(repeat('x', 4000)) },
        { "a good line whose carriage return stands exactly at the bound", {}, { sentence(repeat('y', 4093)) }, false,
          1, { repeat('y', 4093) }, "\n", repeat('y', 4093) + '*' + vt::ChecksumText(repeat('y', 4093)) },
        { "runaway line without carriage return is dropped", {}, { repeat('g', 5000) }, false, 0, {}, "", "" },
        { "runaway line ended late is dropped with what follows (the log keeps the good line)", {},
          { repeat('g', 5000) + "\r" + sentence("A,1") }, false, 0, {}, "", "A,1*" + vt::ChecksumText("A,1") },
    };
    return table;
}

class ReceiveTable : public ::testing::TestWithParam<int> {};

TEST_P(ReceiveTable, CutsChecksAndLogs)
{
    const ReceiveCase& c = cases()[GetParam()];
    SCOPED_TRACE(c.legend);
    Station s;
    ASSERT_TRUE(s.startError.isEmpty()) << s.startError.toStdString();
    s.clock->autoAdvance = c.timesOut;
    s.w->ReceiveBuffer = c.before;
    for (qsizetype i = 0; i < c.reads.size(); ++i) {
        if (i == 0)
            s.pty.write(c.reads[0]);
        else  // later pieces arrive while the receiver waits
            QTimer::singleShot(int(5 * i), s.w.get(), [&s, piece = c.reads[i]] { s.pty.write(piece); });
    }
    const int startSecond = s.clock->seconds;
    quint8 got = 7;
    s.w->ReadSentence(5, got);

    EXPECT_EQ(got, c.got);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(s.w->SentenceFields[size_t(i)], i < c.fields.size() ? c.fields[i] : QByteArray()) << "field " << i;
    EXPECT_EQ(s.w->ReceiveBuffer, c.left);
    QByteArray logged;
    for (const QByteArray& line : c.logged.isEmpty() ? QList<QByteArray>() : c.logged.split('\n'))
        logged += "08/12/2026 17:52:19," + line + "\r\n";
    EXPECT_EQ(s.log(), logged);
    if (c.timesOut) {
        EXPECT_EQ(s.clock->seconds - startSecond, 5) << "gives up after the fifth change of the seconds";
    }
}

INSTANTIATE_TEST_SUITE_P(Receiver, ReceiveTable, ::testing::Range(0, int(cases().size())),
                         [](const auto& info) { return std::to_string(info.param); });

// A node that sends faster than the station can work piles up lines; the backlog stays
// bounded by giving up the oldest whole lines, what is read next is still intact, and the
// loss is counted and shown, not silent.
TEST(Receiver, BacklogGivesUpItsOldestWholeLinesAndSaysSo)
{
    Station s;
    QByteArray backlog;
    for (int i = 0; backlog.size() <= frmMain::kMaxBacklog - 2000; ++i)
        backlog += sentence("R," + QByteArray::number(i) + ",1013.25");
    QByteArray more;
    for (int i = 0; more.size() <= 4000; ++i)
        more += sentence("M," + QByteArray::number(i) + ",1013.25");
    s.w->ReceiveBuffer = backlog;
    s.pty.write(more + sentence("N,1"));
    ASSERT_TRUE(s.waitForPort(int(more.size() + sentence("N,1").size())));
    quint8 got = 0;
    s.w->ReadSentence(5, got);

    ASSERT_EQ(got, 1);
    EXPECT_EQ(s.w->SentenceFields[0], "R");
    const QByteArray first = "R," + s.w->SentenceFields[1] + ",1013.25";
    EXPECT_GT(s.w->SentenceFields[1].toInt(), 0) << "the oldest lines give way";
    EXPECT_TRUE(backlog.contains(sentence(first))) << "the sentence read is one whole line";
    EXPECT_LE(s.w->ReceiveBuffer.size() + sentence(first).size() - 1, frmMain::kMaxBacklog);
    EXPECT_TRUE(s.w->ReceiveBuffer.endsWith(sentence("N,1"))) << "the newest line is kept";
    EXPECT_EQ(s.w->LinesGivenUp, s.w->SentenceFields[1].toInt()) << "every line given up is counted";
    EXPECT_TRUE(s.w->lblStatus->isVisibleTo(s.w.get()));
    EXPECT_TRUE(s.w->lblStatus->text().contains(QString::number(s.w->LinesGivenUp) + QStringLiteral(" received lines")))
        << s.w->lblStatus->text().toStdString();
}

// At the bound exactly: a backlog of exactly the bound is kept whole, and when the lines
// after a line end fill the bound to the byte, the cut is at that line end, so no more
// lines are given up than the bound needs.
TEST(Receiver, BacklogAtTheBoundGivesUpNoLineMoreThanItMust)
{
    const struct { const char* legend; int head; } cases[] = {
        { "exactly the bound: nothing given up", 0 },
        { "three lines over: those three given up", 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        Station s;
        QByteArray arriving;
        for (int i = 0; arriving.size() <= 4000; ++i)
            arriving += sentence("M," + QByteArray::number(i) + ",1013.25");
        arriving += sentence("N,1");
        QByteArray head;
        for (int i = 0; i < c.head; ++i)
            head += sentence("R," + QByteArray::number(i) + ",1013.25");
        QByteArray tail;
        for (int i = c.head + 1; tail.size() + arriving.size() <= frmMain::kMaxBacklog - 2000; ++i)
            tail += sentence("R," + QByteArray::number(i) + ",1013.25");
        // The line after the head, padded so that it and everything after it, with the
        // line feed before it when there is a head, make exactly the bound.
        const QByteArray number = QByteArray::number(c.head);
        const qsizetype pad = frmMain::kMaxBacklog - (c.head ? 1 : 0) - tail.size() - arriving.size()
            - sentence("R," + number + ",1013.25,").size();
        const QByteArray padded = sentence("R," + number + ",1013.25," + QByteArray(pad, 'x'));
        ASSERT_EQ(padded.size() + tail.size() + arriving.size() + (c.head ? 1 : 0), frmMain::kMaxBacklog);

        s.w->ReceiveBuffer = head + padded + tail;
        s.pty.write(arriving);
        ASSERT_TRUE(s.waitForPort(int(arriving.size())));
        quint8 got = 0;
        s.w->ReadSentence(5, got);

        ASSERT_EQ(got, 1);
        EXPECT_EQ(s.w->SentenceFields[1], number) << "the padded line is kept";
        EXPECT_EQ(s.w->LinesGivenUp, c.head);
    }
}

TEST(Receiver, MidnightCountsLikeAnyOtherChangeOfTheSeconds)
{
    Station s;
    s.clock->seconds = 86398;
    quint8 got = 1;
    s.w->ReadSentence(5, got);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(s.clock->seconds, 86398 + 5);
}

TEST(Receiver, BufferEmptiedByAHandlerDuringTheCharacterLoopEndsTheCall)
{
    Station s;
    s.clock->autoAdvance = false;
    s.w->ReceiveBuffer = "X,1,2*03";
    // Clears the displays (and so the buffer) at the first yield after the first field
    // has begun, that is, inside the character loop.
    QTimer clearer;
    QObject::connect(&clearer, &QTimer::timeout, [&] {
        if (!s.w->SentenceFields[0].isEmpty()) {
            s.w->ClearDisplays();
            clearer.stop();
        }
    });
    clearer.start(0);
    s.pty.write("\r\n");
    quint8 got = 1;
    s.w->ReadSentence(5, got);
    EXPECT_EQ(got, 0);
    for (const QByteArray& f : s.w->SentenceFields)
        EXPECT_TRUE(f.isEmpty());
    EXPECT_TRUE(s.log().isEmpty());
}

TEST(Receiver, KeepsReceivingWhenTheLogCannotBeWritten)
{
    Station s;
    ASSERT_TRUE(QDir(s.folder.path()).mkdir(QStringLiteral("log.txt")));
    s.send("12,3,R,0,1013.25,120.5");
    quint8 got = 0;
    s.w->ReadSentence(5, got);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(s.w->SentenceFields[4], "1013.25");
    EXPECT_FALSE(s.w->LogFailure.isEmpty());
}

// A line's stamp is the moment its carriage return arrived, however long it then waited
// to be shown.
TEST(Receiver, StampIsTheMomentTheLineArrived)
{
    const QByteArray a = sentence("12,3,R,0,1013.25,120.5");
    const QByteArray b = sentence("12,3,R,0,1013.5,120.5");
    const auto arrive = [&](Station& s) {
        s.pty.write(a + b);
        ASSERT_TRUE(s.waitForPort(int(a.size() + b.size())));
        s.clock->time = QStringLiteral("17:53:40");
    };
    const struct {
        const char* legend;
        std::function<void(Station&)> deliver;
    } rows[] = {
        { "two in one read: the second waits for the next tick", arrive },
        { "read while a message box stood open", [&](Station& s) {
              s.onMessage = [&](const QString&) { arrive(s); };
              s.w->txtNetID->setText(QStringLiteral("x"));
              s.w->cmdNetID_Click();
              ASSERT_EQ(s.messages.size(), 1);
          } },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.legend);
        Station s;
        row.deliver(s);
        s.tick();
        s.tick();
        EXPECT_EQ(s.w->SentenceFields[4], "1013.5");
        EXPECT_EQ(s.log(), "08/12/2026 17:52:19," + a.chopped(2) + "\r\n08/12/2026 17:52:19," + b.chopped(2) + "\r\n");
    }
}

TEST(Receiver, HandlersRunWhileItWaits)
{
    Station s;
    s.clock->autoAdvance = false;
    bool handled = false;
    QTimer::singleShot(0, s.w.get(), [&] {
        handled = true;
        s.send("A,1");
    });
    quint8 got = 0;
    s.w->ReadSentence(5, got);
    EXPECT_TRUE(handled);
    EXPECT_EQ(got, 1);
}

} // namespace

#pragma once
// A station window on a real pseudo-terminal, with a clock the test drives and a
// message box that records instead of blocking.
#include "app/frmMain.h"
#include "link/Checksum.h"
#include "link/Clock.h"
#include "support/Pty.h"

#include "link/SerialPort.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>
#include <memory>
#include <ostream>

class FakeClock : public vt::Clock {
public:
    int seconds = 12 * 3600;
    // Steady time runs with the seconds; ms adds to it within a second.
    qint64 ms = 0;
    // While set, every sleep moves the time on by one second at once, so a time-out of 5
    // takes 5 short sleeps instead of 5 real seconds, and a line written just before a
    // tick still reaches it in time.
    bool autoAdvance = true;
    QString date = QStringLiteral("08/12/2026");
    QString time = QStringLiteral("17:52:19");

    int secondsOfDay() const override { return seconds % 86400; }
    QString dateText() const override { return date; }
    QString timeText() const override { return time; }
    qint64 steadyMs() const override { return qint64(seconds) * 1000 + ms; }
    int msToSecondChange(int) const override { return autoAdvance ? 0 : 60000; }
    void sleptToSecondChange(int) override
    {
        if (autoAdvance)
            ++seconds;
    }
};

// A sentence as a node sends it: body, '*', check, carriage return, line feed.
inline QByteArray sentence(const QByteArray& body)
{
    return body + '*' + vt::ChecksumText(body) + "\r\n";
}

struct Station {
    static constexpr int kPort = 3;

    ProgramFolder folder;
    PtyPair pty;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    QStringList messages;
    int endCalls = 0;
    std::unique_ptr<frmMain> w;
    // Runs while a message box would be open, e.g. to check the focus at that moment.
    std::function<void(const QString&)> onMessage;

    // Builds the window; with openPort, settings.txt names a com3 link to the pty and
    // start-up runs.
    explicit Station(bool openPort = true)
    {
        pty.linkAs(folder.path(), kPort);
        folder.writeFile(QStringLiteral("settings.txt"), QByteArray::number(kPort) + "\r\n");
        w = std::make_unique<frmMain>(folder.path(), clock,
                                      [this](const QString& m) {
                                          messages << m;
                                          if (onMessage)
                                              onMessage(m);
                                      },
                                      [this] { ++endCalls; });
        if (openPort) {
            startError = w->Form_Load();
            w->Timer1->stop();  // the test runs the ticks itself
        }
    }

    QString startError;

    // One acquisition tick, with the real timer kept out of the test's way.
    void tick()
    {
        w->AcquisitionTick();
        w->Timer1->stop();
    }
    void send(const QByteArray& body) const { pty.write(sentence(body)); }
    // Lets n written bytes reach the station (the pty hands them on a little later);
    // false when fewer came within a few seconds.
    bool waitForPort(int n) const
    {
        const qint64 before = w->receivedTotal();
        QElapsedTimer t;
        t.start();
        while (w->receivedTotal() - before < n && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return w->receivedTotal() - before >= n;
    }
    // What the station put on the line so far. While the port is open a marker goes out
    // behind it and everything up to the marker is the answer, so nothing waits on a
    // silence window; with the port closed it listens for waitMs.
    QByteArray sent(int waitMs = 100) const
    {
        if (!w->MSComm1->portOpen())
            return pty.read(waitMs);
        static const QByteArray marker = "\x02sent-marker\x03";
        w->MSComm1->output(marker);
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (!got.endsWith(marker) && t.elapsed() < 5000)
            got += pty.read(50);
        EXPECT_TRUE(got.endsWith(marker)) << "the line did not carry the marker back";
        return got.endsWith(marker) ? got.chopped(marker.size()) : got;
    }
    QByteArray log() const { return folder.readFile(QStringLiteral("log.txt")); }
};

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) { *os << '"' << b.toStdString() << '"'; }

// Shows units as a node's report would: selected without a command going out.
inline void showUnits(frmMain& w, bool imperial)
{
    w.SuppressOptionCommands = true;
    (imperial ? w.optUnitsImperial : w.optUnitsMetric)->setChecked(true);
    w.SuppressOptionCommands = false;
}

// The operator picks a list entry.
inline void choose(frmMain& w, int index)
{
    w.cboDatumNodeID->setCurrentIndex(index);
    emit w.cboDatumNodeID->activated(index);
}

// The node sends one sentence and the station runs one tick for it.
inline void deliver(Station& s, const QByteArray& body)
{
    s.send(body);
    s.tick();
    ASSERT_FALSE(s.w->SentenceFields[0].isEmpty()) << "the tick did not receive " << body.toStdString();
}

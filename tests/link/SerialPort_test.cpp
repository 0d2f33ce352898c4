#include "link/SerialPort.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Runs the event loop until done() holds or maxMs pass; returns done().
template <typename Pred>
bool pumpUntil(Pred done, int maxMs = 2000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < maxMs) {
        QCoreApplication::processEvents();
        if (!done())
            QThread::msleep(1);
    }
    return done();
}

// Runs a real (blocking) event loop for ms, so any time spent is time the port's
// notifiers keep the process busy.
void idleLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double cpuSeconds()
{
    rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

QByteArray everyByte()
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    return all;
}

// A station port opened through a com<N> link to a fresh pty.
struct OpenLink {
    PtyPair pty;
    ProgramFolder folder;
    vt::SerialPort port { folder.path() };
    QString error;
    bool opened = false;

    explicit OpenLink(int n = 4)
    {
        if (!pty.ok() || !pty.linkAs(folder.path(), n))
            return;
        port.setCommPort(n);
        opened = port.setPortOpen(true, &error);
    }

    QByteArray receive(qsizetype expected)
    {
        QByteArray got;
        pumpUntil([&] {
            got += port.input();
            return got.size() >= expected;
        });
        return got;
    }
};

// An open link watched for failures, retried quickly once it fails.
struct WatchedLink : OpenLink {
    QSignalSpy failed { &port, &vt::SerialPort::lineFailed };
    QSignalSpy restored { &port, &vt::SerialPort::lineRestored };

    explicit WatchedLink(int n, int reopenMs) : OpenLink(n) { port.setReopenInterval(reopenMs); }

    // Pulls the adapter out and waits until the port has given up the line.
    bool hangUp()
    {
        pty.closeMaster();
        return pumpUntil([&] { return !failed.isEmpty(); }, 1000);
    }
};

TEST(SerialPortPath, DevicePath)
{
    ProgramFolder folder;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(pty.linkAs(folder.path(), 3));
    ASSERT_TRUE(QFile::link(folder.file("nowhere"), folder.file("com5")));  // dangling

    struct Row {
        const char* legend;
        int n;
        QString expected;
    };
    const Row rows[] = {
        { "zero is no port", 0, QString() },
        { "negative is no port", -2, QString() },
        { "link present", 3, folder.file("com3") },
        { "dangling link still chosen, so opening names it", 5, folder.file("com5") },
        { "no link: first port", 1, QStringLiteral("/dev/ttyS0") },
        { "no link: port 4", 4, QStringLiteral("/dev/ttyS3") },
    };
    for (const Row& r : rows)
        EXPECT_EQ(vt::SerialPort::DevicePath(r.n, folder.path()), r.expected) << r.legend;
}

TEST(SerialPortOpen, FailuresGiveFalseAndMessage)
{
    ProgramFolder folder;
    ASSERT_TRUE(QFile::link(folder.file("missing-device"), folder.file("com7")));

    struct Row {
        const char* legend;
        int n;
        QString mustMention;
    };
    const Row rows[] = {
        { "port zero", 0, QStringLiteral("0") },
        { "dangling link", 7, folder.file("com7") },
    };
    for (const Row& r : rows) {
        vt::SerialPort port(folder.path());
        port.setCommPort(r.n);
        QString error;
        EXPECT_FALSE(port.setPortOpen(true, &error)) << r.legend;
        EXPECT_FALSE(port.portOpen()) << r.legend;
        EXPECT_TRUE(error.contains(r.mustMention)) << r.legend << ": " << error.toStdString();
        // A closed port is inert.
        EXPECT_EQ(port.inBufferCount(), 0);
        EXPECT_TRUE(port.input().isEmpty());
        port.output("X");
        port.discardInput();
        EXPECT_TRUE(port.setPortOpen(false));
    }
}

TEST(SerialPortOpen, BytesBothWaysUnchanged)
{
    OpenLink link;
    ASSERT_TRUE(link.opened) << link.error.toStdString();
    EXPECT_TRUE(link.port.portOpen());
    QSignalSpy arrived(&link.port, &vt::SerialPort::dataArrived);

    const QByteArray all = everyByte();
    link.pty.write(all);
    ASSERT_TRUE(pumpUntil([&] { return link.port.inBufferCount() > 0; }));
    EXPECT_GE(arrived.count(), 1);
    EXPECT_EQ(link.receive(all.size()), all);

    link.port.output(all);
    QByteArray sent;
    for (int i = 0; i < 20 && sent.size() < all.size(); ++i)
        sent += link.pty.read(100);
    EXPECT_EQ(sent, all);

    // Order is kept across separate writes.
    link.port.output("12,3,B,1013.25*45\r");
    link.port.output(QByteArray("\0\n\x80", 3));
    sent.clear();
    for (int i = 0; i < 20 && sent.size() < 21; ++i)
        sent += link.pty.read(100);
    EXPECT_EQ(sent, QByteArray("12,3,B,1013.25*45\r\0\n\x80", 21));

    link.port.setPortOpen(false);
    EXPECT_FALSE(link.port.portOpen());
}

TEST(SerialPortOpen, DiscardInputDropsWaitingBytes)
{
    OpenLink link;
    ASSERT_TRUE(link.opened) << link.error.toStdString();

    link.pty.write("old data\r");
    ASSERT_TRUE(pumpUntil([&] { return link.port.inBufferCount() >= 9; }));
    link.port.discardInput();
    EXPECT_EQ(link.port.inBufferCount(), 0);
    EXPECT_TRUE(link.port.input().isEmpty());

    link.pty.write("new\r");
    EXPECT_EQ(link.receive(4), QByteArray("new\r"));
}

TEST(SerialPortOpen, FloodIsBoundedAndNothingIsLost)
{
    OpenLink link;
    ASSERT_TRUE(link.opened) << link.error.toStdString();

    // The node sends faster than the station reads: keep writing while the event loop
    // runs, until the pty itself pushes back.
    QByteArray sent;
    QElapsedTimer t;
    t.start();
    int refusedInARow = 0;
    while (t.elapsed() < 1000 && refusedInARow < 20) {
        QByteArray chunk(1024, '\0');
        for (qsizetype i = 0; i < chunk.size(); ++i)
            chunk[i] = char((sent.size() + i) % 251);
        const ssize_t n = ::write(link.pty.masterFd(), chunk.constData(), size_t(chunk.size()));
        if (n > 0) {
            sent += chunk.first(n);
            refusedInARow = 0;
        } else {
            ++refusedInARow;
            QThread::msleep(1);
        }
        QCoreApplication::processEvents();
    }
    ASSERT_GT(sent.size(), 16384);
    EXPECT_GT(link.port.inBufferCount(), 0);
    EXPECT_LE(link.port.inBufferCount(), 16384);

    // Reading drains the backlog in order, including what waited in the OS.
    EXPECT_EQ(link.receive(sent.size()), sent);
}

// Counts the line errors the wrapped QSerialPort reports.
struct ErrorCounter {
    int count = 0;
    explicit ErrorCounter(vt::SerialPort& port)
    {
        auto* inner = port.findChild<QSerialPort*>();
        if (inner)
            QObject::connect(inner, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
                if (e != QSerialPort::NoError)
                    ++count;
            });
    }
};

void expectClosedAndHarmless(vt::SerialPort& port)
{
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.inBufferCount(), 0);
    EXPECT_TRUE(port.input().isEmpty());
    port.output("after\r");
    port.discardInput();
    EXPECT_FALSE(port.portOpen());
}

TEST(SerialPortFailure, HangUpClosesOnceWithoutSpinning)
{
    OpenLink link;
    ASSERT_TRUE(link.opened) << link.error.toStdString();
    ASSERT_NE(link.port.findChild<QSerialPort*>(), nullptr);
    ErrorCounter errors(link.port);
    QSignalSpy failed(&link.port, &vt::SerialPort::lineFailed);

    link.pty.closeMaster();
    int rounds = 0;
    while (failed.isEmpty() && rounds < 100) {
        QCoreApplication::processEvents();
        ++rounds;
        if (failed.isEmpty())
            QThread::msleep(2);
    }
    ASSERT_EQ(failed.count(), 1);
    EXPECT_FALSE(link.port.portOpen());
    EXPECT_FALSE(link.port.lineFailure().isEmpty());
    EXPECT_EQ(failed.at(0).at(0).toString(), link.port.lineFailure());
    const int errorsAtClose = errors.count;

    // A hung-up pty left open reports errors back to back and pins a core; once
    // closed, an idle event loop must cost next to nothing.
    const double cpuBefore = cpuSeconds();
    idleLoop(200);
    const double cpuMs = (cpuSeconds() - cpuBefore) * 1000;
    std::printf("hang-up: closed after %d round(s), %d error(s) reported (%d at close), "
                "%.1f ms CPU over 200 ms idle\n",
                rounds, errors.count, errorsAtClose, cpuMs);

    EXPECT_EQ(failed.count(), 1);
    EXPECT_LE(errors.count, 10);
    EXPECT_LT(cpuMs, 50.0);
    expectClosedAndHarmless(link.port);
}

// An adapter pulled out mid-session must not take the sentences that had already
// arrived with it: they are read after the close, before anything from a new line.
TEST(SerialPortFailure, BytesReceivedBeforeAHangUpAreStillRead)
{
    WatchedLink link(4, 20);
    ASSERT_TRUE(link.opened) << link.error.toStdString();

    const QByteArray before = "A,1*31\r" + everyByte();
    link.pty.write(before);
    ASSERT_TRUE(pumpUntil([&] { return link.port.inBufferCount() == before.size(); }));
    ASSERT_TRUE(link.hangUp());
    EXPECT_FALSE(link.port.portOpen());
    EXPECT_EQ(link.port.inBufferCount(), before.size());

    // Still waiting when the line comes back; the old bytes come first.
    PtyPair again;
    ASSERT_TRUE(again.linkAs(link.folder.path(), 4));
    ASSERT_TRUE(pumpUntil([&] { return !link.restored.isEmpty(); }, 2000));
    again.write("B,2*32\r");
    EXPECT_EQ(link.receive(before.size() + 7), before + "B,2*32\r");
    EXPECT_EQ(link.port.inBufferCount(), 0);

    // A deliberate close drops what was waiting, as it does on an open port.
    again.write("C\r");
    ASSERT_TRUE(pumpUntil([&] { return link.port.inBufferCount() == 2; }));
    link.port.setPortOpen(false);
    EXPECT_EQ(link.port.inBufferCount(), 0);
    EXPECT_TRUE(link.port.input().isEmpty());
}

TEST(SerialPortFailure, WriteAfterHangUpClosesOnce)
{
    OpenLink link;
    ASSERT_TRUE(link.opened) << link.error.toStdString();
    ErrorCounter errors(link.port);
    QSignalSpy failed(&link.port, &vt::SerialPort::lineFailed);

    link.pty.closeMaster();
    // Written before the event loop notices the hang-up: the write itself fails.
    link.port.output("12,3,B,1013.25*45\r");
    link.port.output("more\r");
    EXPECT_FALSE(link.port.portOpen());  // refused at once, not only after the queued close
    ASSERT_TRUE(pumpUntil([&] { return !failed.isEmpty(); }, 500));
    idleLoop(50);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_LE(errors.count, 10);
    expectClosedAndHarmless(link.port);
}

TEST(SerialPortFailure, ExplicitCloseCancelsPendingFailureAndReopenWorks)
{
    OpenLink link;
    ASSERT_TRUE(link.opened) << link.error.toStdString();
    QSignalSpy failed(&link.port, &vt::SerialPort::lineFailed);

    link.pty.closeMaster();
    link.port.output("x");  // fails now; the close is queued
    link.port.setPortOpen(false);
    idleLoop(50);
    EXPECT_EQ(failed.count(), 0);
    EXPECT_FALSE(link.port.portOpen());

    // A fresh line on the same port number opens cleanly and clears the failure.
    PtyPair fresh;
    ASSERT_TRUE(fresh.linkAs(link.folder.path(), 4));
    QString error;
    ASSERT_TRUE(link.port.setPortOpen(true, &error)) << error.toStdString();
    EXPECT_TRUE(link.port.lineFailure().isEmpty());
    fresh.write("ok\r");
    EXPECT_EQ(link.receive(3), QByteArray("ok\r"));
    idleLoop(20);
    EXPECT_EQ(failed.count(), 0);
}

} // namespace

namespace {

// The simulator and a replugged adapter both come back under the same com<N> link.
TEST(SerialPortFailure, ReopensWhenTheLinkComesBack)
{
    WatchedLink link(4, 20);
    ASSERT_TRUE(link.opened) << link.error.toStdString();

    ASSERT_TRUE(link.hangUp());
    PtyPair again;
    ASSERT_TRUE(again.linkAs(link.folder.path(), 4));
    ASSERT_TRUE(pumpUntil([&] { return !link.restored.isEmpty(); }, 2000));
    EXPECT_TRUE(link.port.portOpen());
    EXPECT_TRUE(link.port.lineFailure().isEmpty());

    again.write("A,1*31\r");
    ASSERT_TRUE(pumpUntil([&] { return link.port.inBufferCount() > 0; }));
    EXPECT_EQ(link.port.input(), "A,1*31\r");
    link.port.output("6!");
    EXPECT_EQ(again.read(), "6!");
}

// While the link is being remade the fallback device name would point elsewhere
// (port 1 falls back to /dev/ttyS0, present on most PCs); the reopen must wait for
// the link instead of settling on whatever that is.
TEST(SerialPortFailure, ReopensTheSameDeviceNotTheFallback)
{
    WatchedLink link(1, 10);
    ASSERT_TRUE(link.opened) << link.error.toStdString();

    ASSERT_TRUE(link.hangUp());
    ASSERT_TRUE(QFile::remove(link.folder.file(QStringLiteral("com1"))));
    idleLoop(100);  // ten reopen attempts without the link
    EXPECT_TRUE(link.restored.isEmpty());
    EXPECT_FALSE(link.port.portOpen());

    PtyPair again;
    ASSERT_TRUE(again.linkAs(link.folder.path(), 1));
    ASSERT_TRUE(pumpUntil([&] { return !link.restored.isEmpty(); }, 2000));
    again.write("A,1*31\r");
    EXPECT_EQ(link.receive(7), "A,1*31\r");
}

} // namespace

namespace {

// Adapters cannot be made real without hardware: ptys play them, and the test says
// which identity the system reports for each.
struct FakeAdapters {
    std::map<QString, vt::DeviceIdentity> present;  // canonical device -> identity

    vt::PortLister lister()
    {
        return [this] {
            QList<vt::SeenPort> ports;
            for (const auto& [device, identity] : present)
                ports << vt::SeenPort { device, identity };
            return ports;
        };
    }
    void plug(const PtyPair& pty, const vt::DeviceIdentity& identity)
    {
        present[QFileInfo(pty.slavePath()).canonicalFilePath()] = identity;
    }
    void unplug(const PtyPair& pty) { present.erase(QFileInfo(pty.slavePath()).canonicalFilePath()); }
};

TEST(SerialPortReopen, UsbIdsAreWrittenAsTheSystemWritesThem)
{
    const struct { quint16 id; const char* text; } cases[] = {
        {0x0403, "0403"}, {0x10c4, "10c4"}, {0x1a86, "1a86"}, {0xffff, "ffff"}, {0, "0000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vt::UsbIdText(c.id), QLatin1String(c.text)) << c.text;
}

// An adapter is known by both its ids; a port with only one of them is not followed.
TEST(SerialPortReopen, IdentityNeedsBothUsbIds)
{
    const QString serial = QStringLiteral(" A9X2 ");
    const struct { std::optional<quint16> vendor, product; vt::DeviceIdentity identity; } cases[] = {
        { 0x0403, 0x6001, { "0403", "6001", "A9X2" } },
        { 0x0403, std::nullopt, {} },
        { std::nullopt, 0x6001, {} },
        { std::nullopt, std::nullopt, {} },
    };
    for (const auto& c : cases)
        EXPECT_EQ(vt::UsbIdentity(c.vendor, c.product, serial), c.identity) << c.identity.text().toStdString();
}

// Only a reason beyond "the line hung up" is worth showing the operator.
TEST(SerialPortReopen, LostNoticeNamesOnlyAReasonThatSaysSomething)
{
    const QString plain = QStringLiteral("Serial line lost: adapter unplugged or line hung up; reopening");
    const struct { QString why; QString notice; } cases[] = {
        { QString(), plain },
        { QStringLiteral("Unknown error"), plain },
        { QString::fromLocal8Bit(std::strerror(EIO)), plain },
        { QString::fromLocal8Bit(std::strerror(ENXIO)), plain },
        { QString::fromLocal8Bit(std::strerror(ENODEV)), plain },
        { QString::fromLocal8Bit(std::strerror(ENOSPC)),
          QStringLiteral("Serial line lost: adapter unplugged or line hung up (%1); reopening").arg(std::strerror(ENOSPC)) },
        { QStringLiteral("Unknown error 1"),
          QStringLiteral("Serial line lost: adapter unplugged or line hung up (Unknown error 1); reopening") },
    };
    for (const auto& c : cases)
        EXPECT_EQ(vt::LineLostNotice(c.why), c.notice) << c.why.toStdString();
}

TEST(SerialPortReopen, FollowsTheAdapterAndNoOther)
{
    const vt::DeviceIdentity ftdi { "0403", "6001", "A9X2" };
    const vt::DeviceIdentity ftdiOther { "0403", "6001", "B7Q1" };
    const vt::DeviceIdentity ch340 { "1a86", "7523", "" };
    const vt::DeviceIdentity gps { "1546", "01a7", "" };
    const vt::DeviceIdentity none;

    struct Row {
        const char* legend;
        vt::DeviceIdentity before;  // what was opened
        vt::DeviceIdentity after;   // what appears after the unplug
        bool linkedAtCom4;          // com4 now leads to it (else com4 dangles)
        bool reopens;
        const char* notice;         // start of the notice while waiting
    };
    const Row rows[] = {
        { "same adapter under another name, com4 still dangling: followed", ftdi, ftdi, false, true, "" },
        { "same adapter, com4 pointed at it: followed", ftdi, ftdi, true, true, "" },
        { "another adapter of the same model at com4: wait and say so", ftdi, ftdiOther, true, false,
          "A different device is at com4; waiting for the adapter (USB 0403:6001, serial A9X2)" },
        { "a GPS receiver at com4: wait and say so", ch340, gps, true, false, "A different device is at com4" },
        { "another adapter elsewhere, nothing at com4: just wait", ftdi, ftdiOther, false, false,
          "Serial line lost: adapter unplugged or line hung up; reopening" },
        { "no serial number: the same model elsewhere is not taken", ch340, ch340, false, false, "Serial line lost" },
        { "no serial number: the same model at com4 is taken", ch340, ch340, true, true, "" },
        { "no identity: reopened by path", none, gps, true, true, "" },
        { "no identity, com4 dangling: wait", none, none, false, false, "Serial line lost" },
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.legend);
        FakeAdapters adapters;
        ProgramFolder folder;
        PtyPair first;
        ASSERT_TRUE(first.linkAs(folder.path(), 4));
        adapters.plug(first, r.before);
        vt::SerialPort port(folder.path());
        port.setPortLister(adapters.lister());
        port.setReopenInterval(5);
        port.setCommPort(4);
        QString error;
        ASSERT_TRUE(port.setPortOpen(true, &error)) << error.toStdString();
        QSignalSpy restored(&port, &vt::SerialPort::lineRestored);

        adapters.unplug(first);
        first.closeMaster();
        ASSERT_TRUE(pumpUntil([&] { return !port.lineFailure().isEmpty(); }, 1000));
        PtyPair next;
        adapters.plug(next, r.after);
        if (r.linkedAtCom4) {
            ASSERT_TRUE(next.linkAs(folder.path(), 4));
        }

        if (r.reopens) {
            ASSERT_TRUE(pumpUntil([&] { return !restored.isEmpty(); }, 1000));
            EXPECT_EQ(port.device(), QFileInfo(next.slavePath()).canonicalFilePath());
            EXPECT_TRUE(port.lineFailure().isEmpty());
            next.write("A,1*31\r");
            ASSERT_TRUE(pumpUntil([&] { return port.inBufferCount() > 0; }));
            EXPECT_EQ(port.input(), "A,1*31\r");
        } else {
            idleLoop(100);  // twenty looks
            EXPECT_TRUE(restored.isEmpty());
            EXPECT_FALSE(port.portOpen());
            EXPECT_TRUE(port.lineFailure().startsWith(QLatin1String(r.notice))) << port.lineFailure().toStdString();
            port.output("9,5!");
            EXPECT_TRUE(next.read(20).isEmpty()) << "nothing goes to the stranger";
        }
    }
}

// While com4 still leads to a pty that had gone, another program's new pty takes the
// same name: that is not our line, however alike the names.
TEST(SerialPortReopen, NewPtyUnderTheOldNameIsAStranger)
{
    ProgramFolder folder;
    auto line = std::make_unique<PtyPair>();
    ASSERT_TRUE(line->linkAs(folder.path(), 4));
    const QString oldName = line->slavePath();
    vt::SerialPort port(folder.path());
    port.setReopenInterval(5);
    port.setCommPort(4);
    QString error;
    ASSERT_TRUE(port.setPortOpen(true, &error)) << error.toStdString();
    QSignalSpy restored(&port, &vt::SerialPort::lineRestored);
    QSignalSpy failed(&port, &vt::SerialPort::lineFailed);

    line.reset();  // both sides closed: the name is free once the station lets go
    ASSERT_TRUE(pumpUntil([&] { return !failed.isEmpty(); }, 1000));
    // The kernel frees the number a moment after the last close and hands out the
    // lowest free one: keep lower ones taken, give back higher ones, try again.
    const auto number = [](const QString& path) { return QFileInfo(path).fileName().toInt(); };
    std::vector<std::unique_ptr<PtyPair>> others;
    PtyPair* stranger = nullptr;
    QElapsedTimer searching;
    searching.start();
    while (!stranger && searching.elapsed() < 1000) {
        auto pty = std::make_unique<PtyPair>();
        if (pty->slavePath() == oldName)
            stranger = pty.get();
        if (stranger || number(pty->slavePath()) < number(oldName))
            others.push_back(std::move(pty));
        else
            QThread::msleep(5);
    }
    if (!stranger)
        GTEST_SKIP() << "another process holds the freed pty number " << oldName.toStdString();

    idleLoop(100);
    EXPECT_TRUE(restored.isEmpty());
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.lineFailure(),
              QStringLiteral("A different device is at com4; waiting for com4 to lead to the line again"));
    stranger->write("$GPGGA,123519,4807.038,N*47\r");
    idleLoop(20);
    EXPECT_EQ(port.inBufferCount(), 0);

    // com4 pointed at the real line again.
    PtyPair back;
    ASSERT_TRUE(back.linkAs(folder.path(), 4));
    ASSERT_TRUE(pumpUntil([&] { return !restored.isEmpty(); }, 1000));
    back.write("A,1*31\r");
    ASSERT_TRUE(pumpUntil([&] { return port.inBufferCount() > 0; }));
    EXPECT_EQ(port.input(), "A,1*31\r");
    EXPECT_TRUE(stranger->read(20).isEmpty());
}

// The same device through two names is one device: the second open is refused while
// the first holds it, and works once it let go.
TEST(SerialPortOpen, OneDeviceOnePort)
{
    PtyPair pty;
    ProgramFolder a;
    ProgramFolder b;
    ASSERT_TRUE(pty.linkAs(a.path(), 3));
    ASSERT_TRUE(QFile::link(a.file(QStringLiteral("com3")), b.file(QStringLiteral("com5"))));
    vt::SerialPort first(a.path());
    vt::SerialPort second(b.path());
    first.setCommPort(3);
    second.setCommPort(5);
    QString error;
    ASSERT_TRUE(first.setPortOpen(true, &error)) << error.toStdString();
    EXPECT_FALSE(second.setPortOpen(true, &error));
    EXPECT_TRUE(error.contains(QLatin1String("in use"))) << error.toStdString();
    EXPECT_TRUE(error.contains(pty.slavePath())) << "names the device: " << error.toStdString();
    first.setPortOpen(false);
    EXPECT_TRUE(second.setPortOpen(true, &error)) << error.toStdString();
    second.setPortOpen(false);

    // A program of another kind that locks the device keeps the station off it too.
    const int held = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(first.setPortOpen(true, &error));
    EXPECT_TRUE(error.contains(QLatin1String("in use"))) << error.toStdString();
    ::close(held);
    EXPECT_TRUE(first.setPortOpen(true, &error)) << error.toStdString();
}

} // namespace

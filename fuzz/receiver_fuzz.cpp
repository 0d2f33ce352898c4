// The receiver and everything a received sentence drives (tick, dispatch, charts),
// fed through a real pseudo-terminal as a node would send it. One station lives for
// the whole run, as it does all day at the serial line.
#include "app/frmMain.h"
#include "link/Clock.h"
#include "link/SerialPort.h"
#include "support/Pty.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Every sleep to a change of the seconds moves time on to it at once, so a tick that
// waits for a sentence in vain costs a few milliseconds, not five seconds.
class FastClock : public vt::Clock {
public:
    int seconds = 12 * 3600;
    int secondsOfDay() const override { return seconds % 86400; }
    QString dateText() const override { return QStringLiteral("08/12/2026"); }
    QString timeText() const override { return QStringLiteral("17:52:19"); }
    qint64 steadyMs() const override { return qint64(seconds) * 1000; }
    int msToSecondChange(int) const override { return 0; }
    void sleptToSecondChange(int n) override { seconds += n; }
};

struct Bench {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<ProgramFolder> folder;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<frmMain> w;
    long inputs = 0;
};
Bench* bench = nullptr;

constexpr qsizetype kChunk = 1024;  // well inside the pty's buffer, so a write never blocks

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    bench = new Bench;
    bench->app = std::make_unique<QApplication>(*argc, *argv);
    bench->folder = std::make_unique<ProgramFolder>();
    bench->pty = std::make_unique<PtyPair>();
    bench->pty->linkAs(bench->folder->path(), 3);
    bench->folder->writeFile(QStringLiteral("settings.txt"), "3\r\n");
    bench->w = std::make_unique<frmMain>(bench->folder->path(), std::make_shared<FastClock>(),
                                         [](const QString&) {}, [] {});
    const QString error = bench->w->Form_Load();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "station did not start: %s\n", error.toLocal8Bit().constData());
        std::abort();
    }
    bench->w->Timer1->stop();  // the ticks run here, one input at a time
    bench->w->show();
    // libFuzzer ends with exit(), which never reaches the bench: without this the port's
    // lock file in /run/lock (which keeps other users off that pty name) and the program
    // folder outlive every run.
    std::atexit([] {
        bench->w->MSComm1->setPortOpen(false);
        bench->folder.reset();
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    frmMain& w = *bench->w;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    // Each input starts on a fresh line, so a crash reproduces from its input alone.
    w.ReceiveBuffer.clear();
    if (w.MSComm1->inBufferCount() > 0)
        w.MSComm1->input();

    for (qsizetype at = 0; at < input.size(); at += kChunk) {
        const QByteArray chunk = input.mid(at, kChunk);
        bench->pty->write(chunk);
        // The bytes reach the station's side of the pty a moment later, and its port
        // sees them when the event loop runs.
        const qint64 before = w.receivedTotal();
        QElapsedTimer waited;
        waited.start();
        while (w.receivedTotal() - before < chunk.size() && waited.elapsed() < 200) {
            QCoreApplication::processEvents();
            if (w.receivedTotal() - before < chunk.size())
                QThread::usleep(50);
        }
        // One sentence per tick: as many ticks as there are line ends, and one more
        // for the tick that waits in vain.
        const qsizetype ticks = chunk.count('\r') + 1;
        for (qsizetype t = 0; t < ticks; ++t) {
            w.AcquisitionTick();
            w.Timer1->stop();
            if (!w.ReceiveBuffer.contains('\r'))
                break;
        }
        bench->pty->read(0);  // the pings the station sent
    }
    // The log only grows; keep the run's disk use bounded.
    if (++bench->inputs % 2000 == 0)
        QFile::remove(bench->folder->file(QStringLiteral("log.txt")));
    return 0;
}

// ventholm-nodesim: plays the node network on a pseudo-terminal so the station can be
// run and tested without hardware. The station opens <folder>/com<N>.
#include "Faults.h"
#include "NodeNetwork.h"
#include "Replay.h"
#include "app/TermSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <pty.h>
#include <random>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <type_traits>
#include <unistd.h>

using namespace nodesim;

namespace {

constexpr double kLineCharsPerSecond = 960.0;  // 9600 baud, 10 bits a character

struct Options {
    QString folder = QStringLiteral(".");
    int port = 1;
    double rate = 1.0;
    Role role = Role::Rover;
    quint32 seed = 0;
    bool imperial = false;
    QString replay;
    double speed = 1.0;
    bool loop = false;
    double badChecks = 0.0;
    bool split = false;
    bool stray = false;
    int garbageBurst = 0;
    double dropLink = 0.0;
    bool flood = false;
    double autoAdjust = 0.0;
    QString trace;
};

void printLine(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);  // a test reading our stdout must see each line at once
}

void warn(const QString& text)
{
    std::fprintf(stderr, "ventholm-nodesim: %s\n", qPrintable(text));
}

// Parses the command line; returns -1 to go on, else the exit code.
int parseOptions(const QStringList& args, Options* o)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Simulated barometric node network on a pseudo-terminal."));
    const QCommandLineOption help = p.addHelpOption();
    const auto opt = [&p](const char* name, const char* text, const char* value = nullptr) {
        QCommandLineOption o(QString::fromLatin1(name), QString::fromLatin1(text));
        if (value)
            o.setValueName(QString::fromLatin1(value));
        p.addOption(o);
        return o;
    };
    const auto folder = opt("folder", "Folder for the com<N> link (default .).", "DIR");
    const auto port = opt("port", "Port number N (default 1).", "N");
    const auto rate = opt("rate", "Seconds per sentence (default 1.0).", "SECONDS");
    const auto role = opt("role", "rover or base (default rover).", "ROLE");
    const auto seed = opt("seed", "Random seed.", "N");
    const auto units = opt("units", "metric or imperial (default metric).", "UNITS");
    const auto replay = opt("replay", "Play back a station log instead of simulating.", "LOGFILE");
    const auto speed = opt("speed", "Replay pace factor; 0 = as fast as the line allows.", "FACTOR");
    const auto loop = opt("loop", "Start the replay again at its end.");
    const auto badChecks = opt("bad-checks", "Share of sentences with a wrong check (0..1).", "FRACTION");
    const auto split = opt("split", "Write sentences in random pieces.");
    const auto stray = opt("stray", "Stray bytes between sentences.");
    const auto garbage = opt("garbage-burst", "Once, N bytes of garbage without CR.", "N");
    const auto drop = opt("drop-link", "Once, take the line away for this long.", "SECONDS");
    const auto flood = opt("flood", "Sentences back to back at 9600 baud.");
    const auto autoAdjust = opt("auto-adjust", "After a datum is set, start adjusting by itself this much later.",
                                "SECONDS");
    const auto trace = opt("trace", "Append each sentence written, with the wall-clock time its carriage return "
                                    "went out (seconds since 1970), to this file.", "FILE");

    const auto fail = [](const QString& why) {
        warn(why + QStringLiteral(" (see --help)"));
        return 2;
    };
    if (!p.parse(args))
        return fail(p.errorText());
    if (p.isSet(help)) {
        std::fputs(qPrintable(p.helpText()), stdout);
        return 0;
    }
    if (!p.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument '%1'").arg(p.positionalArguments().first()));

    // Reads a number option into *out when set; false (with a message) when out of range.
    bool ok = true;
    const auto number = [&](const QCommandLineOption& option, double lo, double hi, auto* out) {
        if (!ok || !p.isSet(option))
            return;
        bool good = false;
        const double v = p.value(option).toDouble(&good);
        using T = std::remove_pointer_t<decltype(out)>;
        if (!good || !std::isfinite(v) || v < lo || v > hi || (std::is_integral_v<T> && v != std::floor(v))) {
            fail(QStringLiteral("bad value '%1' for --%2").arg(p.value(option), option.names().first()));
            ok = false;
            return;
        }
        *out = T(v);
    };
    number(port, 1, 999, &o->port);
    number(rate, 0.001, 86400, &o->rate);
    number(speed, 0, 1e6, &o->speed);
    number(badChecks, 0, 1, &o->badChecks);
    number(garbage, 0, 1 << 20, &o->garbageBurst);
    number(drop, 0.001, 86400, &o->dropLink);
    number(autoAdjust, 0.001, 86400, &o->autoAdjust);
    o->seed = std::random_device {}();
    number(seed, 0, 4294967295.0, &o->seed);
    if (!ok)
        return 2;
    if (p.isSet(role)) {
        if (p.value(role) != QLatin1String("rover") && p.value(role) != QLatin1String("base"))
            return fail(QStringLiteral("--role must be rover or base"));
        o->role = p.value(role) == QLatin1String("base") ? Role::Base : Role::Rover;
    }
    if (p.isSet(units)) {
        if (p.value(units) != QLatin1String("metric") && p.value(units) != QLatin1String("imperial"))
            return fail(QStringLiteral("--units must be metric or imperial"));
        o->imperial = p.value(units) == QLatin1String("imperial");
    }
    if (p.isSet(folder))
        o->folder = p.value(folder);
    o->replay = p.value(replay);
    if ((p.isSet(speed) || p.isSet(loop)) && o->replay.isEmpty())
        return fail(QStringLiteral("--speed and --loop need --replay"));
    o->loop = p.isSet(loop);
    o->split = p.isSet(split);
    o->stray = p.isSet(stray);
    o->flood = p.isSet(flood);
    o->trace = p.value(trace);
    return -1;
}

// The pseudo-terminal and the com<N> link pointing at its slave side.
class PtyLink {
public:
    explicit PtyLink(QString linkPath) : m_link(std::move(linkPath)) {}
    ~PtyLink() { close(); }

    bool open(QString* error)
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            *error = QStringLiteral("cannot open a pseudo-terminal: %1").arg(qt_error_string(errno));
            return false;
        }
        termios tio {};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B9600);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
        ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        m_path = QFile::decodeName(name);
        return pointLink(error);
    }

    // Closes both sides; the link stays and dangles until the next open.
    void close()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
    }

    // Removes the link unless something else has taken it over meanwhile.
    void removeLink() const
    {
        const QByteArray link = QFile::encodeName(m_link);
        char target[256] = {};
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (!m_path.isEmpty() && n > 0 && QFile::decodeName(QByteArray(target, n)) == m_path)
            ::unlink(link.constData());
    }

    int master() const { return m_master; }
    int slave() const { return m_slave; }
    QString path() const { return m_path; }

private:
    bool pointLink(QString* error)
    {
        const QByteArray link = QFile::encodeName(m_link);
        struct stat st {};
        if (::lstat(link.constData(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a link; not replacing it").arg(m_link);
            return false;
        }
        // Made beside it and renamed over it, so the station never finds the link missing.
        const QByteArray tmp = link + ".new" + QByteArray::number(::getpid());
        ::unlink(tmp.constData());
        if (::symlink(QFile::encodeName(m_path).constData(), tmp.constData()) != 0
            || ::rename(tmp.constData(), link.constData()) != 0) {
            *error = QStringLiteral("cannot make the link %1: %2").arg(m_link, qt_error_string(errno));
            ::unlink(tmp.constData());
            return false;
        }
        return true;
    }

    QString m_link;
    QString m_path;
    int m_master = -1;
    int m_slave = -1;  // ours, so the pty lives on while the station closes and reopens
};

class Simulator {
public:
    explicit Simulator(const Options& o)
        : m_o(o)
        , m_link(QDir(o.folder).absoluteFilePath(QStringLiteral("com%1").arg(o.port)))
        , m_net(o.role, o.imperial, o.seed)
        , m_faults(o.seed ^ 0x9e3779b9u)
    {
        m_net.setAutoAdjust(o.autoAdjust);
        m_slotTimer.setSingleShot(true);
        m_slotTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_slotTimer, &QTimer::timeout, [this] { slot(); });
        m_writeTimer.setSingleShot(true);
        m_writeTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_writeTimer, &QTimer::timeout, [this] { writeHead(); });
    }

    ~Simulator() { m_link.removeLink(); }

    bool start(QString* error)
    {
        if (!m_o.replay.isEmpty()) {
            m_log = ReadLog(m_o.replay, error);
            if (!error->isEmpty())
                return false;
            if (m_log.isEmpty()) {
                *error = QStringLiteral("%1 holds no logged sentences").arg(m_o.replay);
                return false;
            }
        }
        if (!openLine(error))
            return false;
        m_clock.start();
        slot();
        return true;
    }

private:
    struct Out {
        QByteArray bytes;
        int delayMs = 0;
        bool dropLink = false;
        QByteArray ends;  // the sentence whose carriage return these bytes carry
    };

    bool openLine(QString* error)
    {
        if (!m_link.open(error))
            return false;
        m_reader = std::make_unique<QSocketNotifier>(m_link.master(), QSocketNotifier::Read);
        QObject::connect(m_reader.get(), &QSocketNotifier::activated, [this] { readCommands(); });
        printLine("ready " + QFile::encodeName(m_link.path()));
        return true;
    }

    // One sentence slot: the next sentence, then the wait until the following slot.
    void slot()
    {
        double interval = m_o.rate;
        QByteArray s;
        if (m_log.isEmpty()) {
            s = Frame(m_net.nextBody(m_simTime));
            if (m_o.flood)
                interval = s.size() / kLineCharsPerSecond;
        } else {
            if (m_next == m_log.size()) {
                finishReplay();
                return;
            }
            s = m_log[m_next].text + "\r\n";
            const bool last = ++m_next == m_log.size();
            if (last && m_o.loop)
                m_next = 0;
            const double gap = last ? (m_o.loop ? 1.0 : 0.0) : LogGap(m_log[m_next - 1].secondsOfDay, m_log[m_next].secondsOfDay);
            const double lineTime = s.size() / kLineCharsPerSecond;
            interval = (m_o.speed == 0.0 || m_o.flood) ? lineTime : std::max(gap / m_o.speed, lineTime);
        }
        m_simTime += interval;
        send(s);
        m_dueMs += interval * 1000.0;
        // After a stall (machine asleep) carry on from now instead of rushing to catch up.
        if (m_dueMs < m_clock.elapsed() - 1000.0)
            m_dueMs = double(m_clock.elapsed());
        m_slotTimer.start(int(std::clamp(m_dueMs - double(m_clock.elapsed()), 0.0, 2e9)));
    }

    void finishReplay()
    {
        // Let the station read the tail before the line goes away, but not forever.
        int waiting = 0;
        if (m_out.empty() && (m_link.slave() < 0 || ::ioctl(m_link.slave(), FIONREAD, &waiting) != 0 || waiting == 0
                              || ++m_drainChecks > 40)) {
            QCoreApplication::exit(0);
            return;
        }
        m_slotTimer.start(50);
    }

    void send(QByteArray s)
    {
        ++m_sentences;
        if (m_o.badChecks > 0.0 && m_faults.chance(m_o.badChecks))
            s = m_faults.wrongCheck(s);
        if (m_o.stray && m_faults.chance(0.3))
            queue({ m_faults.stray(), 0, false, {} });
        if (m_o.split) {
            const QList<QByteArray> pieces = m_faults.split(s);
            for (int i = 0; i < pieces.size(); ++i)
                queue({ pieces[i], i == 0 ? 0 : m_faults.between(2, 6), false, i == pieces.size() - 1 ? s : QByteArray() });
        } else {
            queue({ s, 0, false, s });
        }
        if (m_o.garbageBurst > 0 && m_sentences == 3)
            queue({ m_faults.garbage(m_o.garbageBurst), 0, false, {} });
        if (m_o.dropLink > 0.0 && m_sentences == 4)
            queue({ {}, 0, true, {} });
    }

    void queue(Out out)
    {
        m_out.push_back(std::move(out));
        if (m_out.size() == 1)
            m_writeTimer.start(m_out.front().delayMs);
    }

    void writeHead()
    {
        const Out out = std::move(m_out.front());
        m_out.pop_front();
        if (out.dropLink)
            dropLink();
        else if (write(out.bytes) && !out.ends.isEmpty())
            traceSentence(out.ends);
        if (!m_out.empty())
            m_writeTimer.start(m_out.front().delayMs);
    }

    void traceSentence(const QByteArray& s)
    {
        if (m_o.trace.isEmpty())
            return;
        if (!m_trace) {
            m_trace = std::fopen(QFile::encodeName(m_o.trace).constData(), "a");
            if (!m_trace) {
                warn(QStringLiteral("cannot write the trace %1").arg(m_o.trace));
                QCoreApplication::exit(1);
                return;
            }
        }
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        std::fprintf(m_trace, "%.6f %s\n", std::chrono::duration<double>(now).count(),
                     s.trimmed().constData());
        std::fflush(m_trace);
    }

    // True when every byte went out.
    bool write(const QByteArray& bytes)
    {
        if (m_link.master() < 0)
            return false;  // the line is down: what the node says now is lost
        qsizetype done = 0;
        bool flushed = false;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_link.master(), bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN && !flushed) {
                // Nobody reads the line. On a real cable those bytes would be gone; here
                // they would pile up and reach a station that opens later stale. The flush
                // takes this chunk's first bytes too, so it goes again whole.
                ::tcflush(m_link.slave(), TCIFLUSH);
                flushed = true;
                done = 0;
                if (!m_warnedFull)
                    warn(QStringLiteral("nobody is reading the line; unread output is discarded"));
                m_warnedFull = true;
                traceSentence("# unread output discarded");
            } else {
                return false;
            }
        }
        return true;
    }

    void dropLink()
    {
        warn(QStringLiteral("line dropped for %1 s").arg(m_o.dropLink));
        m_reader.reset();
        m_link.close();
        QTimer::singleShot(int(std::lround(m_o.dropLink * 1000.0)), [this] {
            QString error;
            if (!openLine(&error)) {
                warn(error);
                QCoreApplication::exit(1);
            }
        });
    }

    void readCommands()
    {
        char buf[512];
        for (;;) {
            const ssize_t n = ::read(m_link.master(), buf, sizeof buf);
            if (n > 0) {
                for (const QByteArray& c : m_splitter.feed(QByteArrayView(buf, n))) {
                    printLine(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1() + ' ' + c);
                    if (m_log.isEmpty())
                        m_net.applyCommand(c);
                }
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n == 0 || errno != EAGAIN) {
                    // Cannot happen while we hold the slave open; stop listening rather than spin.
                    warn(QStringLiteral("reading the line failed: %1").arg(qt_error_string(errno)));
                    m_reader->setEnabled(false);
                }
                return;
            }
        }
    }

    const Options m_o;
    PtyLink m_link;
    NodeNetwork m_net;
    LineFaults m_faults;
    CommandSplitter m_splitter;
    std::unique_ptr<QSocketNotifier> m_reader;
    QTimer m_slotTimer;
    QTimer m_writeTimer;
    std::deque<Out> m_out;
    QElapsedTimer m_clock;
    double m_dueMs = 0.0;
    double m_simTime = 0.0;
    int m_sentences = 0;
    bool m_warnedFull = false;
    QList<LogLine> m_log;
    qsizetype m_next = 0;
    int m_drainChecks = 0;
    std::FILE* m_trace = nullptr;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ventholm-nodesim"));
    Options o;
    if (const int rc = parseOptions(app.arguments(), &o); rc >= 0)
        return rc;

    // Signals end the event loop, so the link is removed on the way out.
    if (!vt::CallOnTerminationSignals([] { QCoreApplication::exit(0); })) {
        warn(QStringLiteral("cannot make the signal pipe"));
        return 1;
    }

    Simulator sim(o);
    QString error;
    if (!sim.start(&error)) {
        warn(error);
        return 1;
    }
    return app.exec();
}

#include "app/TermSignals.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <QMetaObject>
#include <qt_windows.h>
#else
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vt {

namespace {

std::function<void()> g_onSignal;

#ifdef Q_OS_WIN
BOOL WINAPI onConsoleEvent(DWORD)
{
    // This runs on a thread of the system's: the callback must run on the GUI thread.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {
        if (g_onSignal)
            g_onSignal();
    }, Qt::QueuedConnection);
    // Returning would let the system end the process before the log is written; the
    // callback ends it instead. Windows allows a closing console about 5 s.
    ::Sleep(10000);
    return TRUE;
}
#else
int g_pipe[2] = { -1, -1 };

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto r = ::write(g_pipe[1], &c, 1);
}
#endif

} // namespace

bool CallOnTerminationSignals(std::function<void()> callback)
{
    g_onSignal = std::move(callback);
#ifdef Q_OS_WIN
    static const bool routed = ::SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
    return routed;
#else
    if (g_pipe[0] >= 0)
        return true;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char buf[16];
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        if (g_onSignal)
            g_onSignal();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : { SIGINT, SIGTERM, SIGHUP })
        ::sigaction(sig, &sa, nullptr);
    return true;
#endif
}

} // namespace vt

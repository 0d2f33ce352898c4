#include "app/TermSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vt {

namespace {

int g_pipe[2] = { -1, -1 };
std::function<void()> g_onSignal;

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto r = ::write(g_pipe[1], &c, 1);
}

} // namespace

bool CallOnTerminationSignals(std::function<void()> callback)
{
    g_onSignal = std::move(callback);
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
}

} // namespace vt

#include "signalwatcher.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};

void onSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(g_fds[0], &b, 1);
}
} // namespace
#endif

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0)
        return;
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char b = 0;
        [[maybe_unused]] const auto n = ::read(g_fds[1], &b, 1);
        emit terminationRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
#endif
}

SignalWatcher::~SignalWatcher()
{
#ifdef Q_OS_UNIX
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
#endif
}

#include "signalwatcher.h"

#include "model/logcategories.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const char b = char(signalNumber);
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
        if (::read(g_fds[1], &b, 1) != 1)
            return;
        const int signalNumber = b;
        qCInfo(lcShell).noquote() << "stop requested by"
                                  << (signalNumber == SIGINT ? "SIGINT" : "SIGTERM");
        emit terminationRequested(signalNumber);
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

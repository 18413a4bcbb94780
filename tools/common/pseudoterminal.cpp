#include "pseudoterminal.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    termios raw = {};
    cfmakeraw(&raw);
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

void PseudoTerminal::close()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

void PseudoTerminal::hangUp()
{
#ifdef TIOCVHANGUP
    if (m_slave >= 0)
        ::ioctl(m_slave, TIOCVHANGUP, 0);
#endif
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    QElapsedTimer timer;
    timer.start();
    while (done < bytes.size() && m_master >= 0 && timer.elapsed() < 2000) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
    return done == bytes.size();
}

QByteArray PseudoTerminal::read(int timeoutMs)
{
    QByteArray out;
    if (m_master < 0)
        return out;
    pollfd p{m_master, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        out.append(buffer, n);
    }
    return out;
}

QByteArray PseudoTerminal::readAtLeast(int count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (out.size() < count && timer.elapsed() < timeoutMs)
        out += read(int(qMax<qint64>(1, timeoutMs - timer.elapsed())));
    return out;
}

#include "fileevents.h"

#include <sys/inotify.h>
#include <unistd.h>

FileEvents::FileEvents(const QString& folder)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd >= 0)
        m_watch = ::inotify_add_watch(m_fd, folder.toLocal8Bit().constData(),
                                      IN_OPEN | IN_CLOSE_WRITE | IN_MOVED_TO);
}

FileEvents::~FileEvents()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void FileEvents::collect()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const QString name = event->len > 0 ? QString::fromLocal8Bit(event->name) : QString();
            if (event->mask & IN_OPEN)
                ++m_opened[name];
            if (event->mask & IN_CLOSE_WRITE)
                ++m_closedWritten[name];
            if (event->mask & IN_MOVED_TO)
                ++m_movedIn[name];
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

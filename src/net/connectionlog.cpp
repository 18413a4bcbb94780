#include "connectionlog.h"

ConnectionLog::ConnectionLog(LogCategory category, QString service, QObject* parent)
    : QObject(parent), m_category(category), m_service(std::move(service))
{
    m_windowEnd.setSingleShot(true);
    connect(&m_windowEnd, &QTimer::timeout, this, &ConnectionLog::summarise);
}

ConnectionLog::~ConnectionLog()
{
    summarise();
}

void ConnectionLog::report(const QString& line, QtMsgType type)
{
    if (!take())
        return;
    if (type == QtWarningMsg)
        qCWarning(m_category).noquote() << line;
    else
        qCInfo(m_category).noquote() << line;
}

bool ConnectionLog::take()
{
    if (!m_window.isValid() || m_window.elapsed() >= kWindowMs) {
        summarise();
        m_window.start();
        m_lines = 0;
    }
    if (m_lines >= kLinesPerWindow) {
        // The count is said when the window closes, even if nothing follows.
        if (m_leftOut++ == 0)
            m_windowEnd.start(int(qMax<qint64>(0, kWindowMs - m_window.elapsed())));
        return false;
    }
    ++m_lines;
    return true;
}

void ConnectionLog::summarise()
{
    m_windowEnd.stop();
    if (m_leftOut == 0)
        return;
    qCInfo(m_category).noquote() << QStringLiteral("%1: %2 more lines about its clients left out")
                                        .arg(m_service)
                                        .arg(m_leftOut);
    m_leftOut = 0;
}

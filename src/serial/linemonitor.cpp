#include "linemonitor.h"

LineMonitor::LineMonitor(QObject* parent) : QObject(parent) {}

void LineMonitor::setEnabled(bool enabled)
{
    m_enabled = enabled;
}

QStringList LineMonitor::lines() const
{
    return QStringList(m_lines.begin(), m_lines.end());
}

QString LineMonitor::text() const
{
    return lines().join(u'\n');
}

void LineMonitor::appendLine(const QString& line)
{
    m_lines.push_back(line);
    if (m_lines.size() > size_t(kMaxLines))
        m_lines.pop_front();
    emit lineAppended(line);
}

void LineMonitor::btnClearReciveMemoClick()
{
    m_lines.clear();
    emit cleared();
}

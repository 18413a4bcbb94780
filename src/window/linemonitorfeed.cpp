#include "linemonitorfeed.h"

#include "serial/linemonitor.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

LineMonitorFeed::LineMonitorFeed(LineMonitor& monitor, QPlainTextEdit& view, QObject* parent)
    : QObject(parent), m_view(view)
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    connect(&m_flushTimer, &QTimer::timeout, this, &LineMonitorFeed::flush);
    m_pending = monitor.lines();
    flush();
    connect(&monitor, &LineMonitor::lineAppended, this, &LineMonitorFeed::gather);
    connect(&monitor, &LineMonitor::cleared, this, &LineMonitorFeed::clear);
}

void LineMonitorFeed::gather(const QString& line)
{
    m_pending.append(line);
    // A flood between two turns of the event loop keeps only what can be shown.
    if (m_pending.size() > 2 * LineMonitor::kMaxLines)
        m_pending.remove(0, m_pending.size() - LineMonitor::kMaxLines);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void LineMonitorFeed::clear()
{
    m_pending.clear();
    m_flushTimer.stop();
    m_view.clear();
}

int LineMonitorFeed::viewLineCount() const
{
    const QTextDocument* document = m_view.document();
    return document->isEmpty() ? 0 : document->blockCount();
}

void LineMonitorFeed::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    if (m_pending.size() > LineMonitor::kMaxLines)
        m_pending.remove(0, m_pending.size() - LineMonitor::kMaxLines);

    QScrollBar* scroll = m_view.verticalScrollBar();
    const bool atEnd = scroll->value() >= scroll->maximum();
    const int shown = viewLineCount();
    const int excess = shown + int(m_pending.size()) - LineMonitor::kMaxLines;

    // Two edits, not one block around both: the document layout relays out
    // the whole range of an edit, which for one block would be every line.
    QTextDocument* document = m_view.document();
    QTextCursor cursor(document);
    int kept = shown;
    if (excess >= shown) {
        cursor.select(QTextCursor::Document);
        cursor.removeSelectedText();
        kept = 0;
    } else if (excess > 0) {
        cursor.setPosition(document->findBlockByNumber(excess).position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        kept = shown - excess;
    }
    cursor.movePosition(QTextCursor::End);
    QString text = m_pending.join(u'\n');
    if (kept > 0)
        text.prepend(u'\n');
    cursor.insertText(text);
    m_pending.clear();

    if (atEnd)
        scroll->setValue(scroll->maximum());
    else if (excess > 0 && kept > 0) // the lines read stay in place
        scroll->setValue(scroll->value() - excess);
}

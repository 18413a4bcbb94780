#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

class LineMonitor;
class QPlainTextEdit;

// Carries the line monitor's lines into memoRSMonitor. The receiver appends a
// tick's lines one by one; they are gathered and written to the text box in one
// edit when the tick's handler has returned, and the oldest lines beyond
// LineMonitor::kMaxLines leave in one removal. Per-line appends to a full
// document each cost a removal, a relayout and a scroll-bar update, which kept
// a full monitor busy most of the second.
class LineMonitorFeed : public QObject {
    Q_OBJECT
public:
    LineMonitorFeed(LineMonitor& monitor, QPlainTextEdit& view, QObject* parent = nullptr);

    // Writes the gathered lines now.
    void flush();

private:
    void gather(const QString& line);
    void clear();
    int viewLineCount() const;

    QPlainTextEdit& m_view;
    QStringList m_pending;
    QTimer m_flushTimer; // zero interval: the next turn of the event loop
};

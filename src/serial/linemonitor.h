#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>

// The line monitor's text: lines the receiver appends while monitoring is on
// (chkReciveToMemo), shown in memoRSMonitor. Keeps the last kMaxLines lines so
// that days of monitoring cannot exhaust memory.
class LineMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 100000;

    explicit LineMonitor(QObject* parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isEmpty() const { return m_lines.empty(); }
    int lineCount() const { return int(m_lines.size()); }
    QStringList lines() const;
    QString text() const; // lines joined with '\n'

    void appendLine(const QString& line);
    void btnClearReciveMemoClick();

signals:
    void lineAppended(const QString& line);
    void cleared();

private:
    bool m_enabled = false;
    std::deque<QString> m_lines;
};

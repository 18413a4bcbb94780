#pragma once

#include "model/logcategories.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

// The log lines about one service's clients (coming and going, refused, bad
// requests): at most a few a minute for the whole service, so clients that
// reconnect in a loop or send garbage cannot flood the log; the lines left
// out are counted in one line when the minute is over.
class ConnectionLog : public QObject {
    Q_OBJECT
public:
    static constexpr int kLinesPerWindow = 10;
    static constexpr int kWindowMs = 60 * 1000;

    // service names it in the count line, e.g. "live service".
    ConnectionLog(LogCategory category, QString service, QObject* parent = nullptr);
    ~ConnectionLog() override;

    // Logs the line unless this window's lines are used up.
    void report(const QString& line, QtMsgType type = QtInfoMsg);
    // Whether one more line may be logged now; false counts it as left out.
    bool take();

private:
    void summarise();

    LogCategory m_category;
    QString m_service;
    QElapsedTimer m_window;
    QTimer m_windowEnd;
    int m_lines = 0;
    qint64 m_leftOut = 0;
};

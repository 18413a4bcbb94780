#pragma once

#include <QElapsedTimer>
#include <QString>

// The log lines about one live connection's bad input: at most a few a minute,
// so a client that sends garbage cannot flood the log; the lines left out are
// counted when the next window opens and when the connection closes.
class BadInputLog {
public:
    static constexpr int kLinesPerWindow = 5;
    static constexpr qint64 kWindowMs = 60 * 1000;

    explicit BadInputLog(QString peer) : m_peer(std::move(peer)) {}

    // Logs "live client <peer> <what>" unless this window's lines are used up.
    void report(const QString& what);
    // Says how many lines were left out, if any.
    void close();

private:
    void summarise();

    QString m_peer;
    QElapsedTimer m_window;
    int m_lines = 0;
    qint64 m_leftOut = 0;
};

#pragma once

#include "model/logcategories.h"
#include "net/connectionlog.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QString>

// The log lines about one connection's bad input: at most a few a minute, so a
// client that sends garbage cannot flood the log; the lines left out are
// counted when the next window opens and when the connection closes.
class BadInputLog {
public:
    static constexpr int kLinesPerWindow = 5;
    static constexpr qint64 kWindowMs = 60 * 1000;
    static constexpr qsizetype kQuotedBytes = 16;

    // client names the connection in every line, e.g. "live client 10.0.0.5:49152";
    // service, when given, caps the lines of all the service's connections together.
    BadInputLog(LogCategory category, QString client, ConnectionLog* service = nullptr)
        : m_category(category), m_client(std::move(client)), m_service(service)
    {
    }

    // Logs "<client> <what>" unless this window's lines are used up.
    void report(const QString& what);
    // Says how many lines were left out, if any.
    void close();

    // The start of a client's input for a log line: printable, never long.
    static QString quoted(QByteArrayView bytes);

private:
    void summarise();

    LogCategory m_category;
    QString m_client;
    ConnectionLog* m_service = nullptr;
    QElapsedTimer m_window;
    int m_lines = 0;
    qint64 m_leftOut = 0;
};

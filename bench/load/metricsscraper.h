#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// A Prometheus-like scraper of the station's GET /metrics: one kept-alive
// connection, one request every interval (never two at once), and the time
// from each request written to its whole reply read.
class MetricsScraper : public QObject {
    Q_OBJECT
public:
    MetricsScraper(quint16 port, int intervalMs, QObject* parent = nullptr);

    void start();
    void stop();
    // Microseconds per whole reply, in order.
    const QList<qint64>& latenciesUs() const { return m_latenciesUs; }
    qint64 lastBodyBytes() const { return m_lastBody.size(); }
    // Channel series in the last reply (one per poll-list row).
    int channelSeries() const;
    qint64 failures() const { return m_failures; }

private:
    void send();
    void onReadyRead();

    quint16 m_port;
    QTcpSocket m_socket;
    QTimer m_timer;
    QElapsedTimer m_sentAt;
    bool m_waiting = false;
    QByteArray m_buffer;
    QByteArray m_lastBody;
    QList<qint64> m_latenciesUs;
    qint64 m_failures = 0;
};

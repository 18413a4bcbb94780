#include "metricsscraper.h"

MetricsScraper::MetricsScraper(quint16 port, int intervalMs, QObject* parent)
    : QObject(parent), m_port(port)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &MetricsScraper::send);
    connect(&m_socket, &QTcpSocket::readyRead, this, &MetricsScraper::onReadyRead);
}

void MetricsScraper::start()
{
    m_socket.connectToHost(QHostAddress::LocalHost, m_port);
    m_timer.start();
}

void MetricsScraper::stop()
{
    m_timer.stop();
    m_socket.abort();
}

void MetricsScraper::send()
{
    if (m_waiting)
        return;
    if (m_socket.state() != QAbstractSocket::ConnectedState) {
        ++m_failures;
        m_socket.abort();
        m_socket.connectToHost(QHostAddress::LocalHost, m_port);
        return;
    }
    m_buffer.clear();
    m_waiting = true;
    m_sentAt.start();
    m_socket.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/plain\r\n\r\n");
}

void MetricsScraper::onReadyRead()
{
    m_buffer += m_socket.readAll();
    if (!m_waiting)
        return;
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const qsizetype at = m_buffer.indexOf("Content-Length: ");
    if (at < 0 || at > end) {
        ++m_failures;
        m_waiting = false;
        return;
    }
    const qsizetype length =
        m_buffer.mid(at + 16, m_buffer.indexOf('\r', at) - at - 16).toLongLong();
    if (m_buffer.size() < end + 4 + length)
        return;
    m_latenciesUs.append(m_sentAt.nsecsElapsed() / 1000);
    m_lastBody = m_buffer.mid(end + 4, length);
    if (!m_buffer.startsWith("HTTP/1.1 200"))
        ++m_failures;
    m_waiting = false;
}

int MetricsScraper::channelSeries() const
{
    return int(m_lastBody.count("\nkx7r_channel_requests_sent_total{"));
}

#include "acceptretry.h"

#include <QTcpServer>

AcceptRetry::AcceptRetry(QTcpServer& server, LogCategory category, QString service)
    : QObject(&server), m_server(server), m_category(category), m_service(std::move(service))
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &AcceptRetry::resume);
    connect(&server, &QTcpServer::acceptError, this, &AcceptRetry::acceptFailed);
    connect(&server, &QTcpServer::newConnection, this, &AcceptRetry::accepted);
}

void AcceptRetry::acceptFailed()
{
    if (!m_failing)
        qCWarning(m_category).noquote()
            << m_service << "cannot accept connections:" << m_server.errorString()
            << "- trying again every" << kRetryMs << "ms";
    m_failing = true;
    m_retry.start();
}

void AcceptRetry::accepted()
{
    if (!m_failing)
        return;
    m_failing = false;
    qCInfo(m_category).noquote() << m_service << "accepts connections again";
}

void AcceptRetry::resume()
{
    if (m_server.isListening())
        m_server.resumeAccepting();
}

#pragma once

#include "model/logcategories.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QTcpServer;

// Keeps a server accepting after an accept error. Qt stops accepting for good on
// any error but a temporary one, such as running out of descriptors; this
// resumes after a pause, with one log line when it starts failing and one when
// it accepts again.
class AcceptRetry : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 1000;

    // service names the server in the log, e.g. "live service".
    AcceptRetry(QTcpServer& server, LogCategory category, QString service);

private:
    void acceptFailed();
    void accepted();
    void resume();

    QTcpServer& m_server;
    LogCategory m_category;
    QString m_service;
    QTimer m_retry;
    bool m_failing = false;
};

#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// A local Mosquitto on a free loopback port for the load benchmark, with one
// subscriber that takes every message below kx7r/ at QoS 1 into a file.
class BrokerProcess {
public:
    BrokerProcess() = default;
    ~BrokerProcess();
    BrokerProcess(const BrokerProcess&) = delete;
    BrokerProcess& operator=(const BrokerProcess&) = delete;

    bool start(QString* error);
    quint16 port() const { return m_port; }
    // Channel messages the subscriber has received so far.
    qint64 delivered();

private:
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    QProcess m_broker;
    QProcess m_subscriber;
    QFile m_received;
    QByteArray m_tail; // the last line, until it is whole
    qint64 m_delivered = 0;
};

#include "brokerprocess.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <pwd.h>
#include <unistd.h>

namespace {
QString executable(const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin")})
                           : found;
}

void end(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000))
        process.kill();
    process.waitForFinished(1000);
}
} // namespace

BrokerProcess::~BrokerProcess()
{
    end(m_subscriber);
    end(m_broker);
}

bool BrokerProcess::start(QString* error)
{
    const QString broker = executable(QStringLiteral("mosquitto"));
    const QString sub = executable(QStringLiteral("mosquitto_sub"));
    if (broker.isEmpty() || sub.isEmpty()) {
        *error = QStringLiteral("--broker needs mosquitto and mosquitto_sub");
        return false;
    }
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
    }
    QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "listener " + QByteArray::number(m_port) +
                      " 127.0.0.1\nallow_anonymous true\nlog_dest none\n";
    if (const passwd* me = getpwuid(getuid())) // as root it would change user
        text += QByteArray("user ") + me->pw_name + '\n';
    config.write(text);
    config.close();
    m_broker.setStandardOutputFile(QProcess::nullDevice());
    m_broker.setStandardErrorFile(QProcess::nullDevice());
    m_broker.start(broker, {QStringLiteral("-c"), config.fileName()});
    for (int i = 0; i < 100; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(100)) {
            m_subscriber.setStandardOutputFile(m_dir.filePath(QStringLiteral("received")));
            m_subscriber.start(
                sub, {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                      QString::number(m_port), QStringLiteral("-t"), QStringLiteral("kx7r/#"),
                      QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-v")});
            return m_subscriber.waitForStarted(3000);
        }
        QThread::msleep(50);
    }
    *error = QStringLiteral("mosquitto did not start on port ") + QString::number(m_port);
    return false;
}

qint64 BrokerProcess::delivered()
{
    if (!m_received.isOpen()) {
        m_received.setFileName(m_dir.filePath(QStringLiteral("received")));
        if (!m_received.open(QIODevice::ReadOnly))
            return 0;
    }
    // Only what came since the last call; a line still being written waits.
    m_tail += m_received.readAll();
    qsizetype start = 0;
    for (qsizetype end; (end = m_tail.indexOf('\n', start)) >= 0; start = end + 1)
        if (QByteArrayView(m_tail).sliced(start, end - start).contains("/channel/"))
            ++m_delivered;
    m_tail.remove(0, start);
    return m_delivered;
}

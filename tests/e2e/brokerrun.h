#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <memory>
#include <pwd.h>
#include <unistd.h>

// A real Mosquitto broker on a free loopback port, with its configuration and
// persistence in the given folder, so a restart keeps the subscribers'
// sessions. With a user, it admits only that user and password.
class BrokerRun {
public:
    BrokerRun(const QString& folder, quint16 port) : m_folder(folder), m_port(port) {}
    ~BrokerRun() { stop(); }
    BrokerRun(const BrokerRun&) = delete;
    BrokerRun& operator=(const BrokerRun&) = delete;

    static QString executable(const QString& name)
    {
        const QString found = QStandardPaths::findExecutable(name);
        return found.isEmpty()
                   ? QStandardPaths::findExecutable(
                         name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")})
                   : found;
    }

    quint16 port() const { return m_port; }

    // The station's options for publishing to a broker on this machine's
    // port; without a client id the station's own.
    static QStringList stationArguments(quint16 port,
                                        const QString& clientId = QStringLiteral("st1"))
    {
        QStringList arguments{QStringLiteral("--mqtt-host"), QStringLiteral("127.0.0.1"),
                              QStringLiteral("--mqtt-port"), QString::number(port)};
        if (!clientId.isEmpty())
            arguments << QStringLiteral("--mqtt-client-id") << clientId;
        return arguments;
    }
    // Sessions opened for a client id, as the broker's log tells.
    qsizetype sessionsOf(const QByteArray& clientId)
    {
        return log().count(QByteArray(QByteArray(" as ") + clientId + ' '));
    }

    bool requirePassword(const QString& user, const QString& password)
    {
        m_passwordFile = QDir(m_folder).filePath(QStringLiteral("passwords"));
        return QProcess::execute(executable(QStringLiteral("mosquitto_passwd")),
                                 {QStringLiteral("-b"), QStringLiteral("-c"), m_passwordFile, user,
                                  password}) == 0;
    }

    // The listener speaks TLS with this certificate and key.
    void useTls(const QString& certificate, const QString& key)
    {
        m_certificate = certificate;
        m_key = key;
    }

    // The broker tells clients to keep alive within this many seconds.
    void setMaxKeepAlive(int seconds) { m_maxKeepAlive = seconds; }

    // Starts the broker and waits until it accepts connections.
    bool start()
    {
        const QString config = QDir(m_folder).filePath(QStringLiteral("mosquitto.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        QByteArray text = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n";
        if (!m_certificate.isEmpty())
            text += "certfile " + QFile::encodeName(m_certificate) + "\nkeyfile " +
                    QFile::encodeName(m_key) + '\n';
        text += QByteArray() + "persistence true\npersistence_location " +
                QFile::encodeName(m_folder) + "/\nlog_dest stderr\n";
        // As root, the broker would otherwise change to a user that cannot
        // write the temporary folder.
        if (const passwd* me = getpwuid(getuid()))
            text += QByteArray("user ") + me->pw_name + '\n';
        if (m_maxKeepAlive > 0)
            text += "max_keepalive " + QByteArray::number(m_maxKeepAlive) + '\n';
        if (m_passwordFile.isEmpty())
            text += "allow_anonymous true\n";
        else
            text +=
                "allow_anonymous false\npassword_file " + QFile::encodeName(m_passwordFile) + '\n';
        file.write(text);
        file.close();

        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        m_process->start(executable(QStringLiteral("mosquitto")), {QStringLiteral("-c"), config});
        if (!m_process->waitForStarted(5000))
            return false;
        for (int i = 0; i < 100; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
            if (probe.waitForConnected(100))
                return true;
            if (m_process->state() != QProcess::Running)
                return false;
            QTest::qWait(50);
        }
        return false;
    }

    void stop()
    {
        if (!m_process)
            return;
        m_process->terminate();
        if (!m_process->waitForFinished(5000))
            m_process->kill();
        m_process->waitForFinished(1000);
        m_log += m_process->readAll();
        m_process.reset();
    }

    QByteArray log()
    {
        if (m_process)
            m_log += m_process->readAll();
        return m_log;
    }

private:
    QString m_folder;
    quint16 m_port;
    QString m_passwordFile;
    QString m_certificate;
    QString m_key;
    int m_maxKeepAlive = 0;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_log;
};

// mosquitto_sub with a persistent session (clean session off, QoS 1): it
// reconnects by itself and the broker keeps what arrives meanwhile. Retained
// copies (sent again on every subscription) are left out.
class Subscriber {
public:
    Subscriber(quint16 port, const QString& topic)
    {
        m_process.start(BrokerRun::executable(QStringLiteral("mosquitto_sub")),
                        {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                         QString::number(port), QStringLiteral("-t"), topic, QStringLiteral("-q"),
                         QStringLiteral("1"), QStringLiteral("-c"), QStringLiteral("-i"),
                         QString::fromLatin1(clientId()), QStringLiteral("-R"),
                         QStringLiteral("-v")});
    }
    ~Subscriber()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    static QByteArray clientId() { return "kx7r-test-subscriber"; }
    // The payloads received, in order.
    QList<QByteArray> payloads(const QByteArray& topicStart)
    {
        collect();
        QList<QByteArray> out;
        for (const QByteArray& line : m_output.split('\n'))
            if (line.startsWith(topicStart))
                out.append(line.mid(line.indexOf(' ') + 1));
        return out;
    }
    QByteArray output()
    {
        collect();
        return m_output;
    }

private:
    void collect() { m_output += m_process.readAllStandardOutput(); }

    QProcess m_process;
    QByteArray m_output;
};

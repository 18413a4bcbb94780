#include "brokersettings.h"

#include "model/integertext.h"
#include "model/settingsgroup.h"
#include "model/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>

QList<std::pair<QString, QString BrokerSettings::*>> BrokerSettings::fields()
{
    return {
        {QStringLiteral("Host"), &BrokerSettings::host},
        {QStringLiteral("Port"), &BrokerSettings::port},
        {QStringLiteral("ClientId"), &BrokerSettings::clientId},
        {QStringLiteral("TopicPrefix"), &BrokerSettings::topicPrefix},
        {QStringLiteral("Username"), &BrokerSettings::username},
        {QStringLiteral("Password"), &BrokerSettings::password},
        {QStringLiteral("TLS"), &BrokerSettings::tlsCaFile},
        {QStringLiteral("QoS"), &BrokerSettings::qos},
        {QStringLiteral("SpoolMiB"), &BrokerSettings::spoolMiB},
        {QStringLiteral("PasswordFile"), &BrokerSettings::passwordFile},
    };
}

std::optional<quint16> BrokerSettings::portNumber() const
{
    if (port.trimmed().isEmpty())
        return kDefaultPort;
    const auto value = parseInteger(port.trimmed());
    if (!value || *value < 1 || *value > 65535)
        return std::nullopt;
    return quint16(*value);
}

std::optional<int> BrokerSettings::qosLevel() const
{
    const QString text = qos.trimmed();
    if (text.isEmpty() || text == u'1')
        return 1;
    if (text == u'2')
        return 2;
    return std::nullopt;
}

std::optional<qint64> BrokerSettings::spoolBytes() const
{
    if (spoolMiB.trimmed().isEmpty())
        return qint64(kDefaultSpoolMiB) * 1024 * 1024;
    const auto value = parseInteger(spoolMiB.trimmed());
    if (!value || *value < 1 || *value > 65536)
        return std::nullopt;
    return qint64(*value) * 1024 * 1024;
}

bool BrokerSettings::isTopicLevel(const QString& level)
{
    return !level.isEmpty() && !level.contains(u'+') && !level.contains(u'#') &&
           !level.contains(u'/') && !level.contains(QChar(0));
}

QString BrokerSettings::invalidity() const
{
    if (!portNumber())
        return portRangeMessage(port);
    if (!qosLevel())
        return QStringLiteral("QoS '%1' недопустим: допустимы 1 и 2").arg(qos);
    if (!spoolBytes())
        return QStringLiteral("Размер очереди '%1' недопустим: от 1 до 65536 МиБ").arg(spoolMiB);
    QString prefix = topicPrefix.trimmed();
    while (prefix.endsWith(u'/'))
        prefix.chop(1);
    if (!prefix.isEmpty())
        for (const QString& level : prefix.split(u'/'))
            if (!isTopicLevel(level))
                return QStringLiteral("Префикс тем '%1' недопустим: уровни не пустые, без '+', "
                                      "'#' и нулевого символа")
                    .arg(topicPrefix);
    if (!clientId.trimmed().isEmpty() && !isTopicLevel(clientId.trimmed()))
        return QStringLiteral("Идентификатор клиента '%1' недопустим: не пустой, без '+', '#', "
                              "'/' и нулевого символа")
            .arg(clientId);
    return {};
}

QString BrokerSettings::tlsProblem() const
{
    const QString path = tlsCaFile.trimmed();
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("the CA file ") + path + QStringLiteral(" cannot be read: ") +
               file.errorString();
    const QByteArray text = file.read(1024 * 1024);
    if (!text.contains("-----BEGIN CERTIFICATE-----"))
        return QStringLiteral("the CA file ") + path +
               QStringLiteral(" holds no certificate (PEM)");
    return {};
}

QString BrokerSettings::effectivePassword(QString* error) const
{
    const QString path = passwordFile.trimmed();
    if (path.isEmpty())
        return password;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("the password file ") + path +
                     QStringLiteral(" cannot be read: ") + file.errorString();
        return {};
    }
    QByteArray line = file.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

QString BrokerSettings::effectiveClientId() const
{
    const QString id = clientId.trimmed();
    if (!id.isEmpty())
        return id;
    return defaultClientId.isEmpty() ? QStringLiteral("kx7r-") + QSysInfo::machineHostName()
                                     : defaultClientId;
}

QString BrokerSettings::effectivePrefix() const
{
    QString prefix = topicPrefix.trimmed();
    while (prefix.endsWith(u'/'))
        prefix.chop(1);
    return prefix.isEmpty() ? QStringLiteral("kx7r") : prefix;
}

QString BrokerSettings::topicRoot() const
{
    return effectivePrefix() + u'/' + effectiveClientId() + u'/';
}

QString BrokerSettings::address() const
{
    return host.trimmed() + u':' + QString::number(portNumber().value_or(kDefaultPort));
}

BrokerSettings BrokerSettings::read(const SettingsStore& store)
{
    return readSettingsGroup<BrokerSettings>(store);
}

Outcome BrokerSettings::write(SettingsStore& store) const
{
    return writeSettingsGroup(*this, store);
}

QString BrokerSettings::spoolPath(const SettingsStore& store)
{
    const QFileInfo settingsFile(store.fileName());
    QString folder = settingsFile.absolutePath();
    if (!settingsFile.isFile() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("kx7r-mqtt.spool"));
}

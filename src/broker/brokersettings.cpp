#include "brokersettings.h"

#include "model/integertext.h"
#include "model/settingsstore.h"

#include <QDir>
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

QString BrokerSettings::effectiveClientId() const
{
    const QString id = clientId.trimmed();
    return id.isEmpty() ? QStringLiteral("kx7r-") + QSysInfo::machineHostName() : id;
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
    BrokerSettings settings;
    for (const auto& [name, field] : fields())
        settings.*field = store.readSetting(key(), name);
    return settings;
}

Outcome BrokerSettings::write(SettingsStore& store) const
{
    if (!portNumber())
        return Outcome::failure(portRangeMessage(port));
    store.beginBatch();
    for (const auto& [name, field] : fields())
        store.writeSetting(key(), name, this->*field);
    return store.endBatch();
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

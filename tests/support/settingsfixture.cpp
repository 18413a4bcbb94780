#include "settingsfixture.h"

#include "model/settingsschema.h"
#include "web/httpsettings.h"

// Stations of parallel tests would all reach for the web status service's
// default port: it is off unless a test turns it on.
SettingsFixture::SettingsFixture() : m_store(std::make_unique<SettingsStore>(path()))
{
    m_store->writeSetting(HttpSettings::key(), HttpSettings::portName(), QString());
}

void SettingsFixture::setChannel(int row, const QString& name, const QString& terminal,
                                 const QString& mode, const QString& address,
                                 const QString& channel, const QString& timeout)
{
    const QString key = SettingsStore::channelKey(row);
    m_store->beginBatch();
    m_store->writeSetting(key, SettingsSchema::channelName, name);
    m_store->writeSetting(key, SettingsSchema::channelTerminal, terminal);
    m_store->writeSetting(key, SettingsSchema::channelMode, mode);
    m_store->writeSetting(key, SettingsSchema::channelAddress, address);
    m_store->writeSetting(key, SettingsSchema::channelNumber, channel);
    m_store->writeSetting(key, SettingsSchema::channelTimeout, timeout);
    m_store->endBatch();
}

void SettingsFixture::setTerminal(int number, const QString& comName, const QString& baud)
{
    const QString key = SettingsStore::terminalKey(number);
    m_store->beginBatch();
    m_store->writeSetting(key, SettingsSchema::comName, comName);
    m_store->writeSetting(key, SettingsSchema::baudRate, baud);
    m_store->writeSetting(key, SettingsSchema::dataBits, QStringLiteral("8"));
    m_store->writeSetting(key, SettingsSchema::stopBits, QStringLiteral("1"));
    m_store->writeSetting(key, SettingsSchema::parity, QStringLiteral("Нет"));
    m_store->endBatch();
}

void SettingsFixture::mapPort(const QString& comName, const QString& device)
{
    m_store->writeSetting(SettingsStore::portsKey(), comName, device);
}

void SettingsFixture::setRoot(const QString& value, const QString& text)
{
    m_store->writeSetting(SettingsStore::rootKey(), value, text);
}

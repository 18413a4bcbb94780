#include "settingsfixture.h"

SettingsFixture::SettingsFixture() : m_store(std::make_unique<SettingsStore>(path())) {}

void SettingsFixture::setChannel(int row, const QString& name, const QString& terminal,
                                 const QString& mode, const QString& address,
                                 const QString& channel, const QString& timeout)
{
    const QString key = SettingsStore::channelKey(row);
    m_store->beginBatch();
    m_store->writeSetting(key, QStringLiteral("ChannelName"), name);
    m_store->writeSetting(key, QStringLiteral("Terminal"), terminal);
    m_store->writeSetting(key, QStringLiteral("Regime"), mode);
    m_store->writeSetting(key, QStringLiteral("AddresBO"), address);
    m_store->writeSetting(key, QStringLiteral("ChannelBONumber"), channel);
    m_store->writeSetting(key, QStringLiteral("Timeout"), timeout);
    m_store->endBatch();
}

void SettingsFixture::setTerminal(int number, const QString& comName, const QString& baud)
{
    const QString key = SettingsStore::terminalKey(number);
    m_store->beginBatch();
    m_store->writeSetting(key, QStringLiteral("COMName"), comName);
    m_store->writeSetting(key, QStringLiteral("BaudRate"), baud);
    m_store->writeSetting(key, QStringLiteral("DataBits"), QStringLiteral("8"));
    m_store->writeSetting(key, QStringLiteral("StopBits"), QStringLiteral("1"));
    m_store->writeSetting(key, QStringLiteral("Parity"), QStringLiteral("Нет"));
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

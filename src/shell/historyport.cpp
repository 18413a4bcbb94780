#include "historyport.h"

#include "model/integertext.h"
#include "model/settingsschema.h"
#include "model/settingsstore.h"

QString HistoryPort::storedText(const SettingsStore& settings)
{
    return settings.readSetting(SettingsStore::rootKey(), SettingsSchema::historyPort).trimmed();
}

std::optional<quint16> HistoryPort::stored(const SettingsStore& settings)
{
    const QString text = storedText(settings);
    if (text.isEmpty())
        return kDefault;
    const auto port = parseInteger(text);
    if (!port || *port < 1 || *port > 65535)
        return std::nullopt;
    return quint16(*port);
}

quint16 HistoryPort::effective(const SettingsStore& settings, std::optional<quint16> override)
{
    if (override)
        return *override;
    return stored(settings).value_or(kDefault);
}

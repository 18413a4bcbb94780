#include "httpsettings.h"

#include "model/integertext.h"
#include "model/settingsstore.h"
#include "net/listenaddress.h"

std::optional<QHostAddress> HttpSettings::hostAddress() const
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return QHostAddress(QHostAddress::LocalHost);
    return ListenAddress::parse(text);
}

std::optional<quint16> HttpSettings::portNumber() const
{
    const auto value = parseInteger(port.trimmed());
    if (!value || *value < 1 || *value > 65535)
        return std::nullopt;
    return quint16(*value);
}

QString HttpSettings::invalidity() const
{
    if (!hostAddress())
        return ListenAddress::rejection(address.trimmed());
    if (enabled() && !portNumber())
        return portRangeMessage(port.trimmed());
    return {};
}

HttpSettings HttpSettings::read(const SettingsStore& store)
{
    HttpSettings settings;
    settings.address = store.readSetting(key(), addressName());
    settings.port = store.hasSetting(key(), portName()) ? store.readSetting(key(), portName())
                                                        : QString::number(kDefaultPort);
    return settings;
}

#include "modbussettings.h"

#include "model/integertext.h"
#include "model/settingsgroup.h"
#include "model/settingsstore.h"

QList<std::pair<QString, QString ModbusSettings::*>> ModbusSettings::fields()
{
    return {
        {QStringLiteral("Address"), &ModbusSettings::address},
        {QStringLiteral("Port"), &ModbusSettings::port},
        {QStringLiteral("UnitId"), &ModbusSettings::unitId},
        {QStringLiteral("WordOrder"), &ModbusSettings::wordOrder},
    };
}

std::optional<QHostAddress> ModbusSettings::hostAddress() const
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress host;
    if (!host.setAddress(text))
        return std::nullopt;
    return host;
}

std::optional<quint16> ModbusSettings::portNumber() const
{
    const auto value = parseInteger(port.trimmed());
    if (!value || *value < 1 || *value > 65535)
        return std::nullopt;
    return quint16(*value);
}

std::optional<quint8> ModbusSettings::unitIdNumber() const
{
    if (unitId.trimmed().isEmpty())
        return kDefaultUnitId;
    const auto value = parseInteger(unitId.trimmed());
    if (!value || *value < 0 || *value > 255)
        return std::nullopt;
    return quint8(*value);
}

std::optional<ModbusSettings::WordOrder> ModbusSettings::wordOrderValue() const
{
    const QString text = wordOrder.trimmed().toUpper();
    if (text.isEmpty() || text == u"ABCD")
        return WordOrder::ABCD;
    if (text == u"CDAB")
        return WordOrder::CDAB;
    return std::nullopt;
}

QString ModbusSettings::invalidity() const
{
    if (!hostAddress())
        return QStringLiteral("Адрес '%1' недопустим: нужен IP-адрес, например 127.0.0.1 или "
                              "0.0.0.0")
            .arg(address.trimmed());
    if (enabled() && !portNumber())
        return portRangeMessage(port.trimmed());
    if (!unitIdNumber())
        return QStringLiteral("Номер устройства '%1' недопустим: он должен быть от 0 до 255")
            .arg(unitId.trimmed());
    if (!wordOrderValue())
        return QStringLiteral("Порядок слов '%1' недопустим: ABCD или CDAB")
            .arg(wordOrder.trimmed());
    return {};
}

ModbusSettings ModbusSettings::read(const SettingsStore& store)
{
    return readSettingsGroup<ModbusSettings>(store);
}

Outcome ModbusSettings::write(SettingsStore& store) const
{
    return writeSettingsGroup(*this, store);
}

#pragma once

#include "model/outcome.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

class SettingsStore;

// Where and how the Modbus TCP server listens: the values under
// KX7R_QUERRY\MODBUS, all text in the store like every other value. The server
// is off while the port is empty.
struct ModbusSettings {
    enum class WordOrder {
        ABCD, // high word first (big-endian float32)
        CDAB, // low word first
    };
    static constexpr quint8 kDefaultUnitId = 1;

    QString address;   // empty: 127.0.0.1
    QString port;      // empty: off
    QString unitId;    // empty: 1
    QString wordOrder; // empty: ABCD

    bool enabled() const { return !port.trimmed().isEmpty(); }
    std::optional<QHostAddress> hostAddress() const;
    std::optional<quint16> portNumber() const;
    std::optional<quint8> unitIdNumber() const;
    std::optional<WordOrder> wordOrderValue() const;
    // The first value that cannot be used, as the operator is told; empty when all can.
    QString invalidity() const;

    static QString key() { return QStringLiteral("KX7R_QUERRY\\MODBUS\\"); }
    static ModbusSettings read(const SettingsStore& store);
    // Values that cannot be used are refused with the store untouched.
    Outcome write(SettingsStore& store) const;

    // Value name -> field, in the order the store and the page show them.
    static QList<std::pair<QString, QString ModbusSettings::*>> fields();
};

#pragma once

#include "model/outcome.h"

#include <QList>
#include <QString>
#include <optional>
#include <utility>

class SettingsStore;

// Where and how answers are published: the values under KX7R_QUERRY\MQTT, all
// text in the store like every other value. Publishing is off while the host is
// empty.
struct BrokerSettings {
    static constexpr quint16 kDefaultPort = 1883;

    QString host;
    QString port; // as stored; empty means 1883
    QString clientId;
    QString topicPrefix;
    QString username;
    QString password;
    QString tlsCaFile;

    bool enabled() const { return !host.trimmed().isEmpty(); }
    // The port to connect to, or nothing when the text is not a port.
    std::optional<quint16> portNumber() const;
    // Defaults for empty values: "kx7r-<machine name>" and "kx7r".
    QString effectiveClientId() const;
    QString effectivePrefix() const;
    // "<prefix>/<client id>/"
    QString topicRoot() const;
    QString address() const;

    static QString key() { return QStringLiteral("KX7R_QUERRY\\MQTT\\"); }
    static BrokerSettings read(const SettingsStore& store);
    // A port that is not 1..65535 is refused with the store untouched.
    Outcome write(SettingsStore& store) const;

    // Value name -> field, in the order the store and the page show them.
    static QList<std::pair<QString, QString BrokerSettings::*>> fields();
    // The spool file beside the settings file (or in the per-user data folder
    // when the store is not a file).
    static QString spoolPath(const SettingsStore& store);
};

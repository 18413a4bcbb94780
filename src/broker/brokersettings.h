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
    static constexpr int kDefaultSpoolMiB = 128; // over 500 000 answers

    QString host;
    QString port; // as stored; empty means 1883
    QString clientId;
    QString topicPrefix;
    QString username;
    QString password;
    QString tlsCaFile;
    QString qos;          // empty means 1
    QString spoolMiB;     // empty means kDefaultSpoolMiB
    QString passwordFile; // the password's first line, instead of Password

    bool enabled() const { return !host.trimmed().isEmpty(); }
    // The port to connect to, or nothing when the text is not a port.
    std::optional<quint16> portNumber() const;
    // 1 or 2, or nothing when the text is neither.
    std::optional<int> qosLevel() const;
    // The spool's bound, or nothing when the text is not 1..65536 MiB.
    std::optional<qint64> spoolBytes() const;
    // Why these settings cannot be used (port, QoS, spool size, topic levels),
    // or an empty text. The CA file is checked when publishing starts.
    QString invalidity() const;
    // Empty, or why the CA file cannot be used.
    QString tlsProblem() const;
    // The password from PasswordFile when one is named; error says why it cannot be read.
    QString effectivePassword(QString* error = nullptr) const;
    // A topic level as MQTT allows it in a topic name: not empty, no '+', '#', '/' or NUL.
    static bool isTopicLevel(const QString& level);
    // Defaults for empty values: the installation's own stored id (see
    // MqttPublisher) or "kx7r-<machine name>", and "kx7r".
    QString effectiveClientId() const;
    QString effectivePrefix() const;
    // "<prefix>/<client id>/"
    QString topicRoot() const;
    QString address() const;
    QString defaultClientId; // made once per installation, used while ClientId is empty

    static QString key() { return QStringLiteral("KX7R_QUERRY\\MQTT\\"); }
    static BrokerSettings read(const SettingsStore& store);
    // Values invalidity() names are refused with the store untouched.
    Outcome write(SettingsStore& store) const;

    // Value name -> field, in the order the store and the page show them.
    static QList<std::pair<QString, QString BrokerSettings::*>> fields();
    // The spool file beside the settings file (or in the per-user data folder
    // when the store is not a file).
    static QString spoolPath(const SettingsStore& store);
};

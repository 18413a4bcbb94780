#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>

class SettingsStore;

// Where the web status service listens: the values under KX7R_QUERRY\HTTP.
// A missing Port means the default one; a Port stored empty turns the
// service off. An empty Address means loopback only.
struct HttpSettings {
    static constexpr quint16 kDefaultPort = 5080;

    QString address; // empty: 127.0.0.1; "*": every interface
    QString port;    // empty: off

    bool enabled() const { return !port.trimmed().isEmpty(); }
    std::optional<QHostAddress> hostAddress() const;
    std::optional<quint16> portNumber() const;
    // The first value that cannot be used, for the log; empty when all can.
    QString invalidity() const;

    static QString key() { return QStringLiteral("KX7R_QUERRY\\HTTP\\"); }
    static QString addressName() { return QStringLiteral("Address"); }
    static QString portName() { return QStringLiteral("Port"); }
    static HttpSettings read(const SettingsStore& store);
};
